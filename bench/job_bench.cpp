// One whole plotting job (bench/job/scene.h) drawn by bare cairo (the
// floor), by a program through the kit and a real headless lumoview, and by
// the peer libraries when they were built: wall and CPU time of each run,
// on a quiet machine and beside a busy neighbour process (a spinning loop),
// the programs alternated round by round and every round printed.
//
//   job_bench [rounds]
//
// JOB_BASELINE_SERVER=PATH adds the kit's job drawn by another lumoview (an
// earlier build), alternated with the rest: a change to the server measured
// against what it was, in one sitting.
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
#include <cstring>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "common/posix_channel.h"

extern char** environ;

namespace {

using lumo::posix_channel::monotonic_ns;

struct Run {
  double wall = 0, cpu = 0;  // seconds
  bool ok = false;
};

double cpu_of(const rusage& u) {
  return u.ru_utime.tv_sec + u.ru_utime.tv_usec / 1e6 + u.ru_stime.tv_sec + u.ru_stime.tv_usec / 1e6;
}

// quiet: the program's standard error goes to /dev/null (the server's
// notes on the pictures it wrote).
pid_t spawn(const std::vector<std::string>& args, bool quiet = false) {
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

// Waits for pid and adds its CPU time; false unless it ended with 0.
bool reap(pid_t pid, double* cpu) {
  int status = 0;
  rusage u{};
  if (pid < 0 || wait4(pid, &status, 0, &u) != pid) return false;
  *cpu += cpu_of(u);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

long long file_size(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

// A program that writes the PNG named by its argument.
Run run_alone(const std::string& program, const std::string& png) {
  unlink(png.c_str());
  Run r;
  const long long t = monotonic_ns();
  const pid_t pid = spawn({program, png});
  r.ok = reap(pid, &r.cpu) && file_size(png) > 0;
  r.wall = (monotonic_ns() - t) / 1e9;
  return r;
}

// The kit: a headless server of its own (started here, as the program
// would start it), the program, and the server's end once it has written
// the window's PNG.  Wall time runs from the server's start to its end;
// CPU time is the program's and the server's.
Run run_kit(const std::string& server, const std::string& program, const std::string& dir,
            int round) {
  const std::string png = dir + "/job_lumo-1.png";
  unlink(png.c_str());
  const std::string session = "jobbench" + std::to_string(getpid()) + "-" + std::to_string(round);
  setenv("LUMO_SESSION", session.c_str(), 1);
  setenv("LUMOVIEW_PNG_DIR", dir.c_str(), 1);
  setenv("LUMOVIEW_GRACE_MS", "0", 1);
  int ready[2];
  Run r;
  if (pipe(ready) != 0) return r;
  setenv("LUMOVIEW_READY_FD", std::to_string(ready[1]).c_str(), 1);
  const long long t = monotonic_ns();
  const pid_t server_pid = spawn({server, "--headless"}, true);
  unsetenv("LUMOVIEW_READY_FD");
  close(ready[1]);
  char byte;
  const bool up = server_pid > 0 && read(ready[0], &byte, 1) == 1;
  close(ready[0]);
  bool ok = false;
  if (up) ok = reap(spawn({program}), &r.cpu);
  if (!ok && server_pid > 0) kill(server_pid, SIGTERM);
  reap(server_pid, &r.cpu);
  r.wall = (monotonic_ns() - t) / 1e9;
  r.ok = ok && file_size(png) > 0;
  unsetenv("LUMO_SESSION");
  return r;
}

double median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

struct Entry {
  std::string name, program, server;
  bool kit = false;
  std::vector<double> wall[2], cpu[2], ratio[2];  // [quiet, busy]
  int failures = 0;
  bool last_ok = false;
};

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const std::string dir = lumo::bench::own_dir();
  const std::string server = dir + "/../bin/lumoview";
  char out_template[] = "/tmp/lumo-job-XXXXXX";
  if (!mkdtemp(out_template)) return 1;
  const std::string out = out_template;

  std::vector<Entry> entries;
  auto add = [&](const char* name, const char* file, bool kit, const std::string& with) {
    const std::string path = dir + "/" + file;
    if (access(path.c_str(), X_OK) == 0) {
      Entry e;
      e.name = name;
      e.program = path;
      e.kit = kit;
      e.server = with;
      entries.push_back(e);
    }
  };
  add("bare cairo (floor)", "job_cairo", false, server);
  add("this kit (program + headless lumoview)", "job_lumo", true, server);
  add("giza, PNG device", "job_giza", false, server);
  add("PLplot, pngcairo", "job_plplot", false, server);
  if (const char* baseline = std::getenv("JOB_BASELINE_SERVER")) {
    add("baseline lumoview (JOB_BASELINE_SERVER)", "job_lumo", true, baseline);
  }
  if (entries.size() < 2 || entries[0].program.find("job_cairo") == std::string::npos) {
    std::fprintf(stderr, "job_bench: the floor and the kit's job must be built beside it\n");
    return 1;
  }

  std::printf("The plotting job: 100,000 anti-aliased lines, 10,000 filled rectangles, 10,000\n"
              "labels on 640 x 480, written as PNG; %ld cores, %d rounds, programs alternated\n\n",
              sysconf(_SC_NPROCESSORS_ONLN), rounds);
  for (int busy = 0; busy < 2; ++busy) {
    std::printf("%s, wall s (CPU s) per program and round:\n",
                busy ? "Beside one busy neighbour process" : "Quiet machine");
    for (int round = 0; round < rounds; ++round) {
      const pid_t neighbour = busy ? lumo::bench::start_busy_neighbour() : -1;
      if (busy) usleep(100000);  // let it settle on a core
      std::printf("  round %d:", round + 1);
      double floor_wall = 0;
      // Alternate the order from round to round.
      for (size_t k = 0; k < entries.size(); ++k) {
        Entry& e = entries[(round % 2) ? entries.size() - 1 - k : k];
        const Run r = e.kit ? run_kit(e.server, e.program, out, round)
                            : run_alone(e.program, out + "/" + e.name.substr(0, 4) + ".png");
        e.last_ok = r.ok;
        if (!r.ok) {
          ++e.failures;
          continue;
        }
        e.wall[busy].push_back(r.wall);
        e.cpu[busy].push_back(r.cpu);
      }
      floor_wall = entries[0].last_ok ? entries[0].wall[busy].back() : 0;
      for (Entry& e : entries) {
        if (!e.last_ok || floor_wall <= 0) {
          std::printf("  %s failed", e.name.substr(0, e.name.find_first_of(" ,")).c_str());
          continue;
        }
        e.ratio[busy].push_back(e.wall[busy].back() / floor_wall);
        std::printf("  %s %.3f (%.3f)", e.name.substr(0, e.name.find_first_of(" ,")).c_str(),
                    e.wall[busy].back(), e.cpu[busy].back());
      }
      std::printf("\n");
      if (neighbour > 0) {
        kill(neighbour, SIGKILL);
        waitpid(neighbour, nullptr, 0);
      }
    }
    std::printf("\n");
  }

  std::printf("| program | quiet machine | one busy neighbour | CPU time / floor's |\n");
  std::printf("|---|---|---|---|\n");
  const double floor_cpu = median(entries[0].cpu[0]);
  for (const Entry& e : entries) {
    if (e.ratio[0].empty() || e.ratio[1].empty()) {
      std::printf("| %s | failed | failed | |\n", e.name.c_str());
      continue;
    }
    const auto lo = [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); };
    const auto hi = [](const std::vector<double>& v) { return *std::max_element(v.begin(), v.end()); };
    std::printf("| %s | %.2f (%.2f-%.2f) | %.2f (%.2f-%.2f) | %.2f |%s\n", e.name.c_str(),
                median(e.ratio[0]), lo(e.ratio[0]), hi(e.ratio[0]), median(e.ratio[1]),
                lo(e.ratio[1]), hi(e.ratio[1]), median(e.cpu[0]) / floor_cpu,
                e.failures ? " (some runs failed)" : "");
  }
  std::printf("\nRatios: wall time against the floor's in the same round (median, range).\n");
  const Entry& kit = entries[1];
  if (kit.ratio[0].empty() || kit.ratio[1].empty() || entries[0].cpu[0].empty()) return 1;
  const double quiet = median(kit.ratio[0]), busy = median(kit.ratio[1]);
  const double cpu = median(kit.cpu[0]) / floor_cpu;
  std::printf("\nGoals\n");
  std::printf("  kit / floor, quiet        = %5.2f  (goal <= 0.8)  %s\n", quiet, quiet <= 0.8 ? "met" : "MISSED");
  std::printf("  kit / floor, busy         = %5.2f  (goal <= 1.3)  %s\n", busy, busy <= 1.3 ? "met" : "MISSED");
  std::printf("  kit CPU / floor's CPU     = %5.2f  (goal <= 1.2)  %s\n", cpu, cpu <= 1.2 ? "met" : "MISSED");
  std::printf("\nPictures: %s\n", out.c_str());
  return kit.failures ? 1 : 0;
}
