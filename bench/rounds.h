// Alternated rounds of whole programs: the benchmarks' one way of timing.
//
// Every entry of a comparison runs once a round, in an order that turns
// round by round, first on a quiet machine and then beside a busy
// neighbour process (a spinning loop); each run's wall time and CPU time
// (the program's, and the server's for the kit) are printed, and the
// summary gives, per entry, the median and range of its wall time over
// the floor's (entry 0) in the same round, and its median CPU time over
// the floor's.  A new comparison is a list of entries, each a way to run
// one program (run_program, run_kit or a function of its own).
#ifndef LUMO_BENCH_ROUNDS_H
#define LUMO_BENCH_ROUNDS_H

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "common/posix_channel.h"

extern char** environ;

namespace lumo::bench {

struct Run {
  double wall = 0, cpu = 0;  // seconds
  bool ok = false;
  bool left_out = false;     // the program cannot draw this (status 2)
};

inline double cpu_of(const rusage& u) {
  return u.ru_utime.tv_sec + u.ru_utime.tv_usec / 1e6 + u.ru_stime.tv_sec + u.ru_stime.tv_usec / 1e6;
}

// quiet: the program's standard error goes to /dev/null.
inline pid_t spawn(const std::vector<std::string>& args, bool quiet = false) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (quiet) posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  const int r = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return r == 0 ? pid : -1;
}

// Waits for pid and adds its CPU time; its exit status (-1: it did not end
// normally).
inline int reap(pid_t pid, double* cpu) {
  int status = 0;
  rusage u{};
  if (pid < 0 || wait4(pid, &status, 0, &u) != pid) return -1;
  *cpu += cpu_of(u);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline long long file_size(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

// A program that writes the picture `png` (named among its arguments).
inline Run run_program(const std::vector<std::string>& argv, const std::string& png) {
  unlink(png.c_str());
  Run r;
  const long long t = posix_channel::monotonic_ns();
  const int status = reap(spawn(argv), &r.cpu);
  r.wall = (posix_channel::monotonic_ns() - t) / 1e9;
  r.left_out = status == 2;
  r.ok = status == 0 && file_size(png) > 0;
  return r;
}

// The kit: a headless server of its own (started here, as the program
// would start it), the program, and the server's end once it has written
// the window's picture `png` (in `dir`, LUMOVIEW_PNG_DIR).  Wall time runs
// from the server's start until the program has ended and the picture is
// there (the job done; the server's own end comes a closing drain of
// 300 ms later, idle); CPU time is the program's and the server's, to the
// server's end.
//
// running: the server is started and ready before the clock starts (a
// program that finds a server running); its CPU time before the program
// (from /proc/PID/schedstat) is not counted.
inline double cpu_so_far(pid_t pid) {
  char path[64];
  std::snprintf(path, sizeof path, "/proc/%d/schedstat", static_cast<int>(pid));
  FILE* f = std::fopen(path, "r");
  unsigned long long ns = 0;
  if (f) {
    if (std::fscanf(f, "%llu", &ns) != 1) ns = 0;
    std::fclose(f);
  }
  return ns / 1e9;
}

inline Run run_kit(const std::string& server, const std::vector<std::string>& argv, const std::string& dir,
                   const std::string& png, int round, bool running = false) {
  unlink(png.c_str());
  static int runs = 0;
  const std::string session = "bench" + std::to_string(getpid()) + "-" + std::to_string(round) + "-" +
                              std::to_string(++runs);
  setenv("LUMO_SESSION", session.c_str(), 1);
  setenv("LUMOVIEW_PNG_DIR", dir.c_str(), 1);
  // The sessions' runtime folders (each server leaves its own, empty) go
  // into the benchmark's folder, not /tmp.
  const std::string runtime = dir + "/run";
  mkdir(runtime.c_str(), 0700);
  setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  setenv("LUMOVIEW_GRACE_MS", running ? "20000" : "0", 1);
  int ready[2];
  Run r;
  if (pipe(ready) != 0) return r;
  setenv("LUMOVIEW_READY_FD", std::to_string(ready[1]).c_str(), 1);
  long long t = posix_channel::monotonic_ns();
  const pid_t server_pid = spawn({server, "--headless"}, true);
  unsetenv("LUMOVIEW_READY_FD");
  close(ready[1]);
  char byte;
  const bool up = server_pid > 0 && read(ready[0], &byte, 1) == 1;
  close(ready[0]);
  double before = 0;
  if (running && up) {
    usleep(20000);  // the server settles into waiting
    before = cpu_so_far(server_pid);
    t = posix_channel::monotonic_ns();
  }
  int status = -1;
  if (up) status = reap(spawn(argv, true), &r.cpu);  // quiet: the server's notes on its pictures
  if (status != 0 && server_pid > 0) kill(server_pid, SIGTERM);
  // The picture is written under another name and renamed: there, it is whole.
  for (int waited = 0; status == 0 && file_size(png) <= 0 && waited < 20000; ++waited) usleep(500);
  r.wall = (posix_channel::monotonic_ns() - t) / 1e9;
  if (running) {
    r.cpu += cpu_so_far(server_pid) - before;
    if (server_pid > 0) kill(server_pid, SIGTERM);
    double ignored = 0;
    reap(server_pid, &ignored);
  } else {
    reap(server_pid, &r.cpu);
  }
  r.left_out = status == 2;
  r.ok = status == 0 && file_size(png) > 0;
  unsetenv("LUMO_SESSION");
  return r;
}

inline double median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}
inline double lowest(const std::vector<double>& v) { return v.empty() ? 0 : *std::min_element(v.begin(), v.end()); }
inline double highest(const std::vector<double>& v) { return v.empty() ? 0 : *std::max_element(v.begin(), v.end()); }

struct Entry {
  std::string name;   // in the table
  std::string label;  // in the round lines (one word)
  std::function<Run(int round)> run;
  std::vector<double> wall[2], cpu[2], ratio[2], cpu_ratio[2];  // [quiet, busy]
  int failures = 0;
  bool left_out = false;
  Run last;
  // The median of the rounds' wall-time ratios to the floor, CPU likewise.
  double quiet() const { return median(ratio[0]); }
  double busy() const { return median(ratio[1]); }
  double cpu_share() const { return median(cpu_ratio[0]); }
  bool measured() const { return !ratio[0].empty() && !ratio[1].empty(); }
};

// Runs the entries (entries[0] is the floor) `rounds` times quiet and then
// beside a busy neighbour, alternated, printing every round.
inline void run_rounds(std::vector<Entry>& entries, int rounds) {
  for (int busy = 0; busy < 2; ++busy) {
    std::printf("%s, wall s (CPU s) per program and round:\n",
                busy ? "Beside one busy neighbour process" : "Quiet machine");
    for (int round = 0; round < rounds; ++round) {
      const pid_t neighbour = busy ? start_busy_neighbour() : -1;
      if (busy) usleep(100000);  // let it settle on a core
      std::printf("  round %d:", round + 1);
      for (size_t k = 0; k < entries.size(); ++k) {
        Entry& e = entries[(round % 2) ? entries.size() - 1 - k : k];
        if (e.left_out) continue;
        e.last = e.run(round);
        if (e.last.left_out) {
          e.left_out = true;
          continue;
        }
        if (!e.last.ok) {
          ++e.failures;
          continue;
        }
        e.wall[busy].push_back(e.last.wall);
        e.cpu[busy].push_back(e.last.cpu);
      }
      const Run& floor = entries[0].last;
      for (Entry& e : entries) {
        if (e.left_out) continue;
        if (!e.last.ok || !floor.ok || floor.wall <= 0) {
          std::printf("  %s failed", e.label.c_str());
          continue;
        }
        e.ratio[busy].push_back(e.last.wall / floor.wall);
        if (floor.cpu > 0) e.cpu_ratio[busy].push_back(e.last.cpu / floor.cpu);
        std::printf("  %s %.3f (%.3f)", e.label.c_str(), e.last.wall, e.last.cpu);
      }
      std::printf("\n");
      std::fflush(stdout);
      if (neighbour > 0) {
        kill(neighbour, SIGKILL);
        waitpid(neighbour, nullptr, 0);
      }
    }
    std::printf("\n");
  }
}

// | program | quiet | busy | CPU / floor's |, with the ratios' medians and
// ranges.
inline void print_table(const std::vector<Entry>& entries) {
  std::printf("| program | quiet machine | one busy neighbour | CPU time / floor's |\n");
  std::printf("|---|---|---|---|\n");
  for (const Entry& e : entries) {
    if (e.left_out) continue;
    if (!e.measured()) {
      std::printf("| %s | failed | failed | |\n", e.name.c_str());
      continue;
    }
    std::printf("| %s | %.2f (%.2f-%.2f) | %.2f (%.2f-%.2f) | %.2f (%.2f-%.2f) |%s\n", e.name.c_str(),
                e.quiet(), lowest(e.ratio[0]), highest(e.ratio[0]), e.busy(), lowest(e.ratio[1]),
                highest(e.ratio[1]), e.cpu_share(), lowest(e.cpu_ratio[0]), highest(e.cpu_ratio[0]),
                e.failures ? " (some runs failed)" : "");
  }
  std::printf("\nRatios: against the floor's in the same round (median, range over the rounds); CPU\n"
              "time on the quiet machine, the program's and the server's.\n");
}

}  // namespace lumo::bench

#endif
