// Starting the server on POSIX: the switch string as its arguments, in a
// session of its own (it outlives the program), started through a child that
// ends at once, so the server is never this program's child to reap; then a
// wait of at most 60 s until it writes to the readiness pipe named by
// LUMOVIEW_READY_FD (or closes it by dying).  What the server writes there
// before "ready" is for the user and appears on the program's standard error.
//
// The child shares the program's memory and the program waits while it
// runs (as posix_spawn's own child does): copying the program's page tables
// for two forks, and the program's copy-on-write faults after them, were
// about 2 ms of every cold start.  Where the C library cannot close a range
// of descriptors in a spawned child, the two forks remain.
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
#include <sched.h>
#include <signal.h>
#include <spawn.h>
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

// The server's descriptors 0 to 3; the rest are closed (in a child about
// to exec).
void arrange_descriptors(int input, int output, int log, int ready) {
  if (input >= 0) dup2(input, 0);
  if (output >= 0) dup2(output, 1);
  if (log >= 0) dup2(log, 2);
  dup2(ready, kServerReadyFd);
  close_from(kServerReadyFd + 1);
}

#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
#define LUMO_SPAWN_IN_SHARED_MEMORY 1

// What the intermediate child needs, in the program's memory it shares.
struct SpawnPlan {
  const char* path;
  char** argv;
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
};

alignas(64) char g_intermediate_stack[64 * 1024];

// The intermediate child: a session of its own, the server started in it,
// gone at once.  It runs on its own stack in the program's memory while
// the program waits, with every signal blocked.  Not instrumented by the
// address sanitizer: on a stack it does not know, its check before _exit
// warned on the program's standard error at every start.
__attribute__((no_sanitize_address)) int start_in_session(void* data) {
  SpawnPlan* plan = static_cast<SpawnPlan*>(data);
  setsid();
  pid_t server = 0;
  const int r = posix_spawn(&server, plan->path, &plan->actions, &plan->attributes, plan->argv, environ);
  _exit(r == 0 ? 0 : 1);
}
#endif

// Starts the server through a child that ends at once; that child's id, or
// -1.  The program's signal mask is the server's as it was before.
pid_t start_detached(const char* path, char** argv, int input, int output, int log, int ready) {
#ifdef LUMO_SPAWN_IN_SHARED_MEMORY
  SpawnPlan plan;
  plan.path = path;
  plan.argv = argv;
  bool ok = posix_spawn_file_actions_init(&plan.actions) == 0;
  if (ok && posix_spawnattr_init(&plan.attributes) != 0) {
    posix_spawn_file_actions_destroy(&plan.actions);
    ok = false;
  }
  if (ok) {
    sigset_t all, previous;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &previous);
    if (input >= 0) posix_spawn_file_actions_adddup2(&plan.actions, input, 0);
    if (output >= 0) posix_spawn_file_actions_adddup2(&plan.actions, output, 1);
    if (log >= 0) posix_spawn_file_actions_adddup2(&plan.actions, log, 2);
    posix_spawn_file_actions_adddup2(&plan.actions, ready, kServerReadyFd);
    posix_spawn_file_actions_addclosefrom_np(&plan.actions, kServerReadyFd + 1);
    posix_spawnattr_setsigmask(&plan.attributes, &previous);
    posix_spawnattr_setflags(&plan.attributes, POSIX_SPAWN_SETSIGMASK);
    const pid_t child = clone(start_in_session, g_intermediate_stack + sizeof g_intermediate_stack,
                              CLONE_VM | CLONE_VFORK | SIGCHLD, &plan);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    posix_spawnattr_destroy(&plan.attributes);
    posix_spawn_file_actions_destroy(&plan.actions);
    if (child > 0) return child;
  }
#endif
  const pid_t child = fork();
  if (child == 0) {
    setsid();
    const pid_t server = fork();
    if (server == 0) {
      arrange_descriptors(input, output, log, ready);
      execve(path, argv, environ);
      _exit(127);
    }
    _exit(server < 0 ? 1 : 0);
  }
  return child;
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
  const pid_t child = start_detached(path, argv, input, output, log, ready);
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
