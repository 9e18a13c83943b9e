// Starting the server on POSIX: the switch string as its arguments, in a
// session of its own (it outlives the program), started through a child that
// ends at once, so the server is never this program's child to reap; then a
// wait of at most 60 s until it writes to the readiness pipe named by
// LUMOVIEW_READY_FD (or closes it by dying).  What the server writes there
// before "ready" is for the user and appears on the program's standard error.
//
// The server holds none of the program's input and output: `prog | cat`
// ends when the program does.  Its messages go to lumoview.log in the
// private runtime directory, to the file LUMOVIEW_LOG names, or, with
// LUMOVIEW_LOG=stderr, to the program's standard error.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "common/posix_names.h"
#include "lib/platform/platform.h"

extern char** environ;

namespace lumo::platform {
namespace {

constexpr char kReadyVariable[] = "LUMOVIEW_READY_FD";
constexpr int kReadyWaitMs = 60000;
constexpr int kMaxArguments = 32;
constexpr int kServerReadyFd = 3;

// Closes every descriptor from `first` on (in a child about to exec).
void close_from(int first) {
#ifdef SYS_close_range
  if (syscall(SYS_close_range, static_cast<unsigned>(first), ~0u, 0u) == 0) return;
#endif
  for (int fd = first; fd < 4096; ++fd) close(fd);
}

long long now_ms() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1000LL + ts.tv_nsec / 1000000;
}

// Waits for the server's "ready" line.  Lines before it are for the user
// (the web view's address): they are passed to this program's standard
// error unless the server writes there itself.
void wait_until_ready(int fd, bool pass_lines) {
  const long long end = now_ms() + kReadyWaitMs;
  char line[512];
  size_t used = 0;
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
    if (n <= 0) return;  // end of file: the server is gone
    if (byte != '\n') {
      if (used < sizeof line - 1) line[used++] = byte;
      continue;
    }
    if (used == 5 && std::memcmp(line, "ready", 5) == 0) return;
    line[used++] = '\n';
    if (pass_lines && write(2, line, used) < 0) {
      // Nowhere to say it: the server's log has it too.
    }
    used = 0;
  }
}

// Where the server's messages go: a descriptor opened for writing, or -1
// for the program's own standard error.
int open_server_log() {
  const char* chosen = std::getenv("LUMOVIEW_LOG");
  if (chosen && std::strcmp(chosen, "stderr") == 0) return -1;
  char path[200];
  if (chosen && *chosen) {
    std::snprintf(path, sizeof path, "%s", chosen);
  } else {
    char dir[160];
    if (!posix_names::runtime_dir(dir, sizeof dir) || !posix_names::ensure_private_dir(dir) ||
        std::snprintf(path, sizeof path, "%s/lumoview.log", dir) >= static_cast<int>(sizeof path)) {
      return open("/dev/null", O_WRONLY | O_CLOEXEC);
    }
  }
  const int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0600);
  return fd >= 0 ? fd : open("/dev/null", O_WRONLY | O_CLOEXEC);
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

  // The readiness pipe's write end becomes the server's descriptor 3;
  // every other descriptor of the program is closed in the server.
  int fds[2];
  if (pipe(fds) != 0) return;
  fcntl(fds[0], F_SETFD, FD_CLOEXEC);
  const int ready = fcntl(fds[1], F_DUPFD_CLOEXEC, kServerReadyFd + 1);
  close(fds[1]);
  if (ready < 0) {
    close(fds[0]);
    return;
  }

  char fd_text[16];
  std::snprintf(fd_text, sizeof fd_text, "%d", kServerReadyFd);
  const char* previous = std::getenv(kReadyVariable);
  char saved[16] = "";
  if (previous) std::snprintf(saved, sizeof saved, "%s", previous);
  setenv(kReadyVariable, fd_text, 1);

  // Descriptors for the server, opened before forking: the children only
  // call what is safe in a child of a program that may have threads.
  const int input = open("/dev/null", O_RDONLY | O_CLOEXEC);
  const int output = open("/dev/null", O_WRONLY | O_CLOEXEC);
  const int log = open_server_log();
  const pid_t child = fork();
  if (child == 0) {
    setsid();
    const pid_t server = fork();
    if (server == 0) {
      if (input >= 0) dup2(input, 0);
      if (output >= 0) dup2(output, 1);
      if (log >= 0) dup2(log, 2);
      dup2(ready, kServerReadyFd);
      close_from(kServerReadyFd + 1);
      execve(path, argv, environ);
      _exit(127);
    }
    _exit(server < 0 ? 1 : 0);
  }
  const int used[] = {input, output, log, ready};
  for (int fd : used) {
    if (fd >= 0) close(fd);
  }
  int status = 0;
  const int r = child > 0 ? 0 : -1;
  while (child > 0 && waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (previous) {
    setenv(kReadyVariable, saved, 1);
  } else {
    unsetenv(kReadyVariable);
  }
  if (r == 0) wait_until_ready(fds[0], log >= 0);
  close(fds[0]);
}

}  // namespace lumo::platform
