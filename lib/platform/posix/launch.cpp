// Starting the server on POSIX: posix_spawn with the switch string as its
// arguments, in a session of its own (it outlives the program), and a wait of
// at most 60 s until it writes to the readiness pipe named by
// LUMOVIEW_READY_FD (or closes it by dying).
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <time.h>
#include <unistd.h>

#include "lib/platform/platform.h"

extern char** environ;

namespace lumo::platform {
namespace {

constexpr char kReadyVariable[] = "LUMOVIEW_READY_FD";
constexpr int kReadyWaitMs = 60000;
constexpr int kMaxArguments = 32;

long long now_ms() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1000LL + ts.tv_nsec / 1000000;
}

void wait_until_ready(int fd) {
  const long long end = now_ms() + kReadyWaitMs;
  for (;;) {
    const long long left = end - now_ms();
    if (left <= 0) return;
    pollfd p{fd, POLLIN, 0};
    const int r = poll(&p, 1, static_cast<int>(left));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return;
    char byte;
    const ssize_t n = read(fd, &byte, 1);
    if (n < 0 && errno == EINTR) continue;
    return;  // a byte: ready; end of file: the server is gone
  }
}

}  // namespace

void launch_server(LocateFn locate, const char* switches) {
  const char* path = locate(kServerFile);

  // The switch string, split at blanks, becomes the argument list.
  static char words[256];
  std::snprintf(words, sizeof words, "%s", switches ? switches : "");
  char* argv[kMaxArguments + 2];
  int argc = 0;
  argv[argc++] = const_cast<char*>(path);
  for (char* t = std::strtok(words, " "); t && argc <= kMaxArguments; t = std::strtok(nullptr, " ")) {
    argv[argc++] = t;
  }
  argv[argc] = nullptr;

  int fds[2];
  if (pipe(fds) != 0) return;
  fcntl(fds[0], F_SETFD, FD_CLOEXEC);

  char fd_text[16];
  std::snprintf(fd_text, sizeof fd_text, "%d", fds[1]);
  const char* previous = std::getenv(kReadyVariable);
  char saved[16] = "";
  if (previous) std::snprintf(saved, sizeof saved, "%s", previous);
  setenv(kReadyVariable, fd_text, 1);

  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
  // The server outlives the program: it must not hold the program's input
  // or output open (a pipe reading the program would never end).  Its
  // messages still go where the program's do.
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&files, 1, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  const int r = posix_spawn(&pid, path, &files, &attr, argv, environ);
  posix_spawn_file_actions_destroy(&files);
  posix_spawnattr_destroy(&attr);

  if (previous) {
    setenv(kReadyVariable, saved, 1);
  } else {
    unsetenv(kReadyVariable);
  }
  close(fds[1]);
  if (r == 0) wait_until_ready(fds[0]);
  close(fds[0]);
}

}  // namespace lumo::platform
