// What the POSIX benchmarks share: where they run from, and the busy
// neighbour process they measure beside.
#ifndef LUMO_BENCH_BENCH_SUPPORT_H
#define LUMO_BENCH_BENCH_SUPPORT_H

#include <sys/types.h>
#include <unistd.h>

#include <string>

namespace lumo::bench {

// The folder of the running program (the server is in ../bin beside it).
inline std::string own_dir() {
  char self[4096];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  self[n > 0 ? n : 0] = '\0';
  const std::string path(self);
  return path.substr(0, path.rfind('/'));
}

// A process that spins until it is killed (by the caller, by process id).
inline pid_t start_busy_neighbour() {
  const pid_t pid = fork();
  if (pid == 0) {
    volatile unsigned long spin = 0;
    for (;;) spin = spin + 1;
  }
  return pid;
}

}  // namespace lumo::bench

#endif
