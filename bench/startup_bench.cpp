// Start-up: how long after a program starts (and after its first call)
// its window is mapped on the screen, with no server running (cold: the program starts one) and with
// one waiting (warm), beside a bare cairo-xlib program; and a small job
// (2,000 anti-aliased lines written as PNG, headless, the server started by
// the program) against bare cairo.  On a private Xvfb display (the first
// free one from :150); the window counts as mapped when the root window
// reports its MapNotify.  Programs alternate round by round; every round is
// printed with the CPU time of the program and its server (adopted by this
// process as a subreaper), then medians with their ranges.
//
// With --baseline FOLDER the cold start and the job are run a second time
// in each round with the lumoview found in FOLDER (another build's bin
// folder, say the one before a change), and with that build's programs when
// its bench folder beside FOLDER has them (the library's side of a start
// changes too): before and after in one sitting.
//
//   startup_bench [rounds] [--baseline FOLDER]
#include <X11/Xlib.h>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

double now() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) + t.tv_nsec / 1e9;
}

double cpu_of(const rusage& u) {
  return u.ru_utime.tv_sec + u.ru_utime.tv_usec / 1e6 + u.ru_stime.tv_sec + u.ru_stime.tv_usec / 1e6;
}

// Starts a program; its standard input is a pipe (*in), its output quiet.
pid_t spawn(const std::vector<std::string>& args, int* in) {
  int p[2];
  if (pipe(p) != 0) return -1;
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(p[0], 0);
    close(p[0]);
    close(p[1]);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(p[0]);
  *in = p[1];
  return pid;
}

// Waits for pid (at most `seconds`, then ends it) and adds its CPU time.
bool reap(pid_t pid, double* cpu, double seconds = 30) {
  const double end = now() + seconds;
  int status = 0;
  rusage u{};
  for (;;) {
    const pid_t r = wait4(pid, &status, WNOHANG, &u);
    if (r == pid) break;
    if (r < 0) return false;
    if (now() > end) {
      kill(pid, SIGTERM);
      wait4(pid, &status, 0, &u);
      break;
    }
    usleep(1000);
  }
  *cpu += cpu_of(u);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The warm server, kept for the whole run: never counted or ended with a
// cold program's server.
pid_t g_warm_server = -1;

// The servers this process adopted (started by its programs, whose
// intermediate processes ended), the warm one aside.
std::vector<pid_t> adopted_servers() {
  std::vector<pid_t> found;
  DIR* d = opendir("/proc");
  if (!d) return found;
  while (dirent* e = readdir(d)) {
    const pid_t pid = std::atoi(e->d_name);
    if (pid <= 0) continue;
    char path[64], text[512] = "";
    std::snprintf(path, sizeof path, "/proc/%d/stat", pid);
    FILE* f = std::fopen(path, "r");
    if (!f) continue;
    const size_t n = std::fread(text, 1, sizeof text - 1, f);
    std::fclose(f);
    text[n] = '\0';
    const char* close = std::strrchr(text, ')');
    int ppid = 0;
    char state;
    if (close && std::strstr(text, "(lumoview)") && std::sscanf(close + 2, "%c %d", &state, &ppid) == 2 &&
        ppid == getpid() && pid != g_warm_server) {
      found.push_back(pid);
    }
  }
  closedir(d);
  return found;
}

double cpu_now(pid_t pid) {  // seconds of a process still running
  char path[64], text[1024] = "";
  std::snprintf(path, sizeof path, "/proc/%d/stat", pid);
  FILE* f = std::fopen(path, "r");
  if (!f) return 0;
  const size_t n = std::fread(text, 1, sizeof text - 1, f);
  std::fclose(f);
  text[n] = '\0';
  const char* p = std::strrchr(text, ')');
  unsigned long long utime = 0, stime = 0;
  if (!p || std::sscanf(p + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &utime, &stime) != 2) return 0;
  return static_cast<double>(utime + stime) / sysconf(_SC_CLK_TCK);
}

// Waits for a window of the display to be mapped; the time it was seen.
double wait_mapped(Display* d, double seconds) {
  const double end = now() + seconds;
  while (now() < end) {
    while (XPending(d)) {
      XEvent e;
      XNextEvent(d, &e);
      if (e.type == MapNotify) return now();
    }
    pollfd p{ConnectionNumber(d), POLLIN, 0};
    poll(&p, 1, 5);
  }
  return -1;
}

struct Sample {
  double wall = -1, cpu = 0;
  double from_call = -1;  // from the program's first call to the mapped window
};

// The file the programs write the moment of their first call into
// (STARTUP_FIRST_CALL, bench/startup/).
std::string g_first_call_file;

double first_call_time() {
  FILE* f = std::fopen(g_first_call_file.c_str(), "r");
  double t = -1;
  if (f) {
    if (std::fscanf(f, "%lf", &t) != 1) t = -1;
    std::fclose(f);
  }
  return t;
}

// One program that shows a window: started, its window mapped, told to end.
Sample show(Display* d, const std::string& program, pid_t warm_server, bool cold) {
  Sample s;
  XSync(d, False);
  while (XPending(d)) {
    XEvent e;
    XNextEvent(d, &e);
  }
  const double server_before = warm_server > 0 ? cpu_now(warm_server) : 0;
  int in = -1;
  unlink(g_first_call_file.c_str());
  const double t = now();
  const pid_t pid = spawn({program}, &in);
  const double mapped = wait_mapped(d, 30);
  if (mapped > 0) s.wall = mapped - t;
  const double called = first_call_time();
  if (mapped > 0 && called > 0) s.from_call = mapped - called;
  if (write(in, "\n", 1) != 1) s.wall = -1;
  close(in);
  if (!reap(pid, &s.cpu)) s.wall = -1;
  if (warm_server > 0) s.cpu += cpu_now(warm_server) - server_before;
  if (cold) {
    for (pid_t server : adopted_servers()) reap(server, &s.cpu, 10);
  }
  return s;
}

// A job writing a PNG; with a server of its own (cold, headless), which is
// waited for.
Sample job(const std::string& program, const std::string& png, bool kit) {
  Sample s;
  unlink(png.c_str());
  int in = -1;
  const double t = now();
  const pid_t pid = kit ? spawn({program}, &in) : spawn({program, png}, &in);
  close(in);
  const bool ok = reap(pid, &s.cpu);
  struct stat st;
  if (ok && stat(png.c_str(), &st) == 0 && st.st_size > 0) s.wall = now() - t;
  if (kit) {
    for (pid_t server : adopted_servers()) reap(server, &s.cpu, 10);
  }
  return s;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

std::string summary(const std::vector<double>& v, double scale, const char* unit) {
  if (v.empty()) return "no run";
  char text[128];
  std::snprintf(text, sizeof text, "%.2f %s (%.2f-%.2f)", median(v) * scale, unit,
                *std::min_element(v.begin(), v.end()) * scale, *std::max_element(v.begin(), v.end()) * scale);
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = 7;
  std::string baseline;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--baseline") == 0 && i + 1 < argc) {
      baseline = argv[++i];
    } else {
      rounds = std::max(1, std::atoi(argv[i]));
    }
  }
  char self[4096];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return 2;
  self[n] = '\0';
  const std::string here = std::string(self).substr(0, std::string(self).rfind('/'));
  prctl(PR_SET_CHILD_SUBREAPER, 1);
  // A private display.
  int number = 150;
  for (; number < 200; ++number) {
    struct stat st;
    if (stat(("/tmp/.X11-unix/X" + std::to_string(number)).c_str(), &st) != 0 &&
        stat(("/tmp/.X" + std::to_string(number) + "-lock").c_str(), &st) != 0) {
      break;
    }
  }
  const std::string display = ":" + std::to_string(number);
  int xin = -1;
  const pid_t xvfb = spawn({"/usr/bin/Xvfb", display, "-screen", "0", "1024x768x24", "-nolisten", "tcp"}, &xin);
  Display* d = nullptr;
  for (int i = 0; i < 500 && !d; ++i) {
    usleep(10000);
    d = XOpenDisplay(display.c_str());
  }
  if (!d) {
    std::fprintf(stderr, "startup_bench: no Xvfb display\n");
    kill(xvfb, SIGTERM);
    return 2;
  }
  XSelectInput(d, DefaultRootWindow(d), SubstructureNotifyMask);
  char pictures[] = "/tmp/startup_bench_XXXXXX";
  if (!mkdtemp(pictures)) return 2;
  const std::string bin = here + "/../bin";
  setenv("LUMODIR", bin.c_str(), 1);
  setenv("LUMOVIEW_PNG_DIR", pictures, 1);
  setenv("LUMOVIEW_LOG", "/dev/null", 1);
  g_first_call_file = std::string(pictures) + "/first-call";
  setenv("STARTUP_FIRST_CALL", g_first_call_file.c_str(), 1);

  // The warm server: started by a first program, kept waiting.
  setenv("DISPLAY", display.c_str(), 1);
  const std::string warm_session = "startupwarm" + std::to_string(getpid());
  setenv("LUMO_SESSION", warm_session.c_str(), 1);
  setenv("LUMOVIEW_GRACE_MS", "600000", 1);
  show(d, here + "/start_lumo", 0, false);
  const std::vector<pid_t> warm = adopted_servers();
  const pid_t warm_server = warm.empty() ? -1 : warm[0];
  g_warm_server = warm_server;

  std::map<std::string, std::vector<double>> wall, cpu;
  std::vector<double> job_ratio, baseline_ratio;
  const int kinds = baseline.empty() ? 5 : 7;
  std::string base_programs = here;
  struct stat found;
  if (!baseline.empty() && stat((baseline + "/../bench/start_lumo").c_str(), &found) == 0 &&
      stat((baseline + "/../bench/job_lumo_2k").c_str(), &found) == 0) {
    base_programs = baseline + "/../bench";
  }
  std::printf("Start-up to a mapped window on Xvfb %s, and a 2,000-line job (headless, PNG) against bare cairo;\n"
              "%ld cores, %d rounds, programs alternated; ms wall (CPU of program and server)\n\n",
              display.c_str(), sysconf(_SC_NPROCESSORS_ONLN), rounds);
  for (int r = 0; r < rounds; ++r) {
    std::printf("  round %d:", r + 1);
    for (int k = 0; k < kinds; ++k) {
      const int which = (k + r) % kinds;
      Sample s;
      std::string name;
      setenv("DISPLAY", display.c_str(), 1);
      setenv("LUMODIR", bin.c_str(), 1);
      if (which == 5) {
        name = "kit, cold (baseline)";
        setenv("LUMODIR", baseline.c_str(), 1);
        setenv("LUMO_SESSION", ("startupbase" + std::to_string(getpid()) + "-" + std::to_string(r)).c_str(), 1);
        setenv("LUMOVIEW_GRACE_MS", "0", 1);
        s = show(d, base_programs + "/start_lumo", 0, true);
      } else if (which == 6) {
        name = "2,000 lines, kit (baseline)";
        setenv("LUMODIR", baseline.c_str(), 1);
        unsetenv("DISPLAY");
        setenv("LUMO_SESSION", ("startupjobb" + std::to_string(getpid()) + "-" + std::to_string(r)).c_str(), 1);
        setenv("LUMOVIEW_GRACE_MS", "0", 1);
        s = job(base_programs + "/job_lumo_2k", std::string(pictures) + "/job_lumo_2k-1.png", true);
      } else if (which == 0) {
        name = "kit, cold";
        setenv("LUMO_SESSION", ("startupcold" + std::to_string(getpid()) + "-" + std::to_string(r)).c_str(), 1);
        setenv("LUMOVIEW_GRACE_MS", "0", 1);
        s = show(d, here + "/start_lumo", 0, true);
      } else if (which == 1) {
        name = "kit, warm";
        setenv("LUMO_SESSION", warm_session.c_str(), 1);
        setenv("LUMOVIEW_GRACE_MS", "600000", 1);
        s = show(d, here + "/start_lumo", warm_server, false);
      } else if (which == 2) {
        name = "cairo-xlib";
        s = show(d, here + "/start_cairo", 0, false);
      } else {
        unsetenv("DISPLAY");
        setenv("LUMO_SESSION", ("startupjob" + std::to_string(getpid()) + "-" + std::to_string(r)).c_str(), 1);
        setenv("LUMOVIEW_GRACE_MS", "0", 1);
        const bool kit = which == 3;
        name = kit ? "2,000 lines, kit" : "2,000 lines, cairo";
        s = job(here + (kit ? "/job_lumo_2k" : "/job_cairo_2k"),
                std::string(pictures) + (kit ? "/job_lumo_2k-1.png" : "/job_cairo_2k.png"), kit);
      }
      std::printf("  %s %.1f (%.1f)", name.c_str(), s.wall * 1e3, s.cpu * 1e3);
      std::fflush(stdout);
      if (s.wall > 0) {
        wall[name].push_back(s.wall);
        cpu[name].push_back(s.cpu);
      }
      if (s.wall > 0 && s.from_call > 0) wall[name + ", from the first call"].push_back(s.from_call);
    }
    const auto& kit = wall["2,000 lines, kit"];
    const auto& bare = wall["2,000 lines, cairo"];
    if (kit.size() == bare.size() && !kit.empty() && static_cast<int>(kit.size()) == r + 1) {
      job_ratio.push_back(kit.back() / bare.back());
    }
    const auto& before = wall["2,000 lines, kit (baseline)"];
    if (before.size() == bare.size() && !before.empty() && static_cast<int>(before.size()) == r + 1) {
      baseline_ratio.push_back(before.back() / bare.back());
    }
    std::printf("\n");
  }
  std::printf("\n| program | wall, median (range) | CPU, median |\n|---|---|---|\n");
  for (const char* name : {"kit, cold", "kit, cold (baseline)", "kit, warm", "cairo-xlib", "2,000 lines, kit",
                           "2,000 lines, kit (baseline)", "2,000 lines, cairo"}) {
    if (wall[name].empty() && std::strstr(name, "baseline")) continue;
    std::printf("| %s | %s | %s |\n", name, summary(wall[name], 1e3, "ms").c_str(),
                summary(cpu[name], 1e3, "ms").c_str());
  }
  // The same windows timed from the program's first call (its own start,
  // the loader and libraries, left out).
  for (const char* name : {"kit, cold", "kit, cold (baseline)", "kit, warm", "cairo-xlib"}) {
    const std::string key = std::string(name) + ", from the first call";
    if (wall[key].empty()) continue;
    std::printf("| %s | %s | |\n", key.c_str(), summary(wall[key], 1e3, "ms").c_str());
  }
  std::printf("\n2,000-line job, kit / bare cairo in the same round: %s\n", summary(job_ratio, 1, "").c_str());
  if (!baseline_ratio.empty()) {
    std::printf("the same with the baseline's server: %s\n", summary(baseline_ratio, 1, "").c_str());
  }
  std::printf("Goals: cold start-up %.1f ms from the program's start, %.1f ms from its first call (goal <= 15), "
              "job ratio %.2f (goal <= 1.0)\n",
              median(wall["kit, cold"]) * 1e3, median(wall["kit, cold, from the first call"]) * 1e3,
              median(job_ratio));

  g_warm_server = -1;
  if (warm_server > 0) {
    kill(warm_server, SIGTERM);
    double ignored = 0;
    reap(warm_server, &ignored, 10);
  }
  for (pid_t server : adopted_servers()) {
    kill(server, SIGTERM);
    double ignored = 0;
    reap(server, &ignored, 10);
  }
  XCloseDisplay(d);
  close(xin);
  kill(xvfb, SIGTERM);
  double ignored = 0;
  reap(xvfb, &ignored, 10);
  if (DIR* dir = opendir(pictures)) {
    while (dirent* e = readdir(dir)) {
      if (e->d_name[0] != '.') unlink((std::string(pictures) + "/" + e->d_name).c_str());
    }
    closedir(dir);
  }
  rmdir(pictures);
  return 0;
}
