// Whether one program's long drawing holds up another: a program draws a
// random polyline of 10^5 or 10^6 points with a 3-pixel pen while a program
// that joined its window reads a pixel again and again (from a little
// before the points are sent).  Each round prints how long the drawing took
// until done (and the drawing call itself: the points are posted), how many
// reads were answered meanwhile, the reader's worst and median wait, and the
// CPU time of the two programs and the server (which this process adopts as
// a subreaper to count it).
//
//   freeze_bench [rounds] [points...]
//
// FREEZE_BASELINE_DIR=DIR adds rounds with the lumoview in DIR (an earlier
// build), alternated round by round with this build's.  FREEZE_FIGURE=polygon
// or bezier draws a crisp filled polygon or Bezier curves through the points
// instead; FREEZE_FIGURE=svg writes an SVG file of a window holding a polyline
// of that many points, png loads a picture of that many pixels a side, and
// picture writes the PNG of a window that many pixels wide (drawnover: while
// a third program that joined the window draws into it), and end has the
// program that drew into such a window quit (its picture written at its end),
// and open opens a second window that many pixels wide (enlarge: makes the
// window that wide).  FREEZE_REST=S rests S seconds before each round.
#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/striped_png.h"

namespace {

struct Child {
  pid_t pid = -1;
  FILE* in = nullptr;   // its standard input
  FILE* out = nullptr;  // its standard output
};

Child start(const std::vector<std::string>& args) {
  int to[2], from[2];
  Child c;
  if (pipe2(to, O_CLOEXEC) != 0 || pipe2(from, O_CLOEXEC) != 0) return c;
  c.pid = fork();
  if (c.pid == 0) {
    dup2(to[0], 0);
    dup2(from[1], 1);
    close(to[0]), close(to[1]), close(from[0]), close(from[1]);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(to[0]);
  close(from[1]);
  c.in = fdopen(to[1], "w");
  c.out = fdopen(from[0], "r");
  return c;
}

std::string line_of(Child& c) {
  char buffer[256];
  if (!c.out || !std::fgets(buffer, sizeof buffer, c.out)) return "";
  std::string s = buffer;
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
  return s;
}

void say(Child& c, const char* text) {
  std::fputs(text, c.in);
  std::fflush(c.in);
}

double cpu_of(const rusage& u) {
  return u.ru_utime.tv_sec + u.ru_utime.tv_usec / 1e6 + u.ru_stime.tv_sec + u.ru_stime.tv_usec / 1e6;
}

// Reaps every child (the programs and the adopted server); their CPU time.
double reap_all() {
  double cpu = 0;
  int status;
  rusage u{};
  pid_t p;
  while ((p = wait4(-1, &status, 0, &u)) > 0) cpu += cpu_of(u);
  return cpu;
}

struct Round {
  double drawing = 0, call = 0, worst_ms = 0, median_us = 0, cpu = 0;
  long answers = 0;
  bool ok = false;
};

Round run(const std::string& programs, const std::string& server_dir, int points, const std::string& pictures,
          int number) {
  const std::string session = "freeze" + std::to_string(getpid()) + "-" + std::to_string(number);
  setenv("LUMO_SESSION", session.c_str(), 1);
  setenv("LUMODIR", server_dir.c_str(), 1);
  setenv("LUMOVIEW_PNG_DIR", pictures.c_str(), 1);
  setenv("LUMOVIEW_GRACE_MS", "0", 1);
  unsetenv("DISPLAY");
  Round r;
  const char* figure = std::getenv("FREEZE_FIGURE");
  Child painter = start({programs + "/freeze_lumo", "paint", std::to_string(points), figure ? figure : "polyline"});
  Child reader, scribbler;
  const bool drawn_over = figure && std::strcmp(figure, "drawnover") == 0;
  if (line_of(painter) == "ready") {
    if (drawn_over) scribbler = start({programs + "/freeze_lumo", "scribble"});
    reader = start({programs + "/freeze_lumo", "read"});
    if (line_of(reader) == "joined" && (!drawn_over || line_of(scribbler) == "joined")) {
      say(reader, "go\n");
      usleep(50 * 1000);  // the reader is asking before the points come
      say(painter, "go\n");
      if (line_of(painter) == "drawing") {
        if (drawn_over) {
          usleep(20 * 1000);  // the file begun
          say(scribbler, "go\n");
        }
        const std::string drawn = line_of(painter);
        say(reader, "stop\n");
        const std::string result = line_of(reader);
        r.ok = std::sscanf(drawn.c_str(), "drawn %lf %lf", &r.drawing, &r.call) == 2 &&
               std::sscanf(result.c_str(), "answers=%ld worst_ms=%lf median_us=%lf", &r.answers, &r.worst_ms,
                           &r.median_us) == 3;
      }
    }
  }
  for (Child* c : {&painter, &reader, &scribbler}) {
    if (c->in) std::fclose(c->in);
    if (c->out) std::fclose(c->out);
  }
  r.cpu = reap_all();
  if (DIR* d = opendir(pictures.c_str())) {
    while (dirent* e = readdir(d)) {
      if (e->d_name[0] != '.') unlink((pictures + "/" + e->d_name).c_str());
    }
    closedir(d);
  }
  return r;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  std::vector<int> sizes;
  for (int i = 2; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
  if (sizes.empty()) sizes = {100000, 1000000};
  char self[4096];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return 2;
  self[n] = '\0';
  const std::string programs = std::string(self).substr(0, std::string(self).rfind('/'));
  struct Server {
    std::string name, dir;
  };
  std::vector<Server> servers = {{"this", programs + "/../bin"}};
  if (const char* base = std::getenv("FREEZE_BASELINE_DIR")) servers.push_back({"before", base});
  prctl(PR_SET_CHILD_SUBREAPER, 1);  // the server, started by the painter, comes to us
  // The pictures and the servers' private folders (their logs) go into a
  // folder of this run, removed at its end.
  char base[] = "/tmp/freeze_bench_XXXXXX";
  if (!mkdtemp(base)) return 2;
  const std::string pictures = std::string(base) + "/pictures", runtime = std::string(base) + "/run";
  if (mkdir(pictures.c_str(), 0700) != 0 || mkdir(runtime.c_str(), 0700) != 0) return 2;
  setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  const char* figure = std::getenv("FREEZE_FIGURE");
  const std::string what = figure ? figure : "polyline";
  if (what == "svg") setenv("FREEZE_FILE", (std::string(base) + "/long.svg").c_str(), 1);
  if (what == "picture" || what == "drawnover") setenv("FREEZE_FILE", (std::string(base) + "/large.png").c_str(), 1);
  // Seconds to rest before each round: the memory the last one let go
  // goes back to the virtual machine's host, as between a user's runs.
  const char* rest_text = std::getenv("FREEZE_REST");
  const int rest = rest_text ? std::atoi(rest_text) : 0;
  long online = sysconf(_SC_NPROCESSORS_ONLN);
  std::printf("A program draws a random polyline with a 3-pixel pen (one command) while a program that\n"
              "joined its window reads a pixel without pause; %ld cores, %d rounds, servers alternated\n\n",
              online, rounds);
  int number = 0;
  for (int points : sizes) {
    struct Rounds {
      std::vector<double> worst, drawing, cpu;
    };
    std::vector<Rounds> kept(servers.size());
    if (what == "png") {
      const std::string picture = std::string(base) + "/big.png";
      if (!testing_support::write_striped_png(picture, static_cast<uint32_t>(points))) return 2;
      setenv("FREEZE_FILE", picture.c_str(), 1);
    }
    std::printf("%d points: drawing done s (the call s), reads answered, reader's worst ms / median us, CPU s\n",
                points);
    for (int k = 0; k < rounds; ++k) {
      for (size_t i = 0; i < servers.size(); ++i) {
        if (rest > 0) sleep(static_cast<unsigned>(rest));
        const Round r = run(programs, servers[i].dir, points, pictures, ++number);
        std::printf("  round %d, %-6s server: %s drawing %.2f (call %.2f)  answers %ld  worst %.1f ms / median "
                    "%.1f us  CPU %.2f\n",
                    k + 1, servers[i].name.c_str(), r.ok ? "" : "(failed)", r.drawing, r.call, r.answers,
                    r.worst_ms, r.median_us, r.cpu);
        std::fflush(stdout);
        if (!r.ok) continue;
        kept[i].worst.push_back(r.worst_ms);
        kept[i].drawing.push_back(r.drawing);
        kept[i].cpu.push_back(r.cpu);
      }
    }
    for (size_t i = 0; i < servers.size(); ++i) {
      const Rounds& m = kept[i];
      if (m.worst.empty()) continue;
      std::printf("  median, %-6s server: worst answer %.1f ms (%.1f-%.1f), drawing %.2f s (%.2f-%.2f), CPU %.2f s "
                  "(%.2f-%.2f)\n",
                  servers[i].name.c_str(), median(m.worst), *std::min_element(m.worst.begin(), m.worst.end()),
                  *std::max_element(m.worst.begin(), m.worst.end()), median(m.drawing),
                  *std::min_element(m.drawing.begin(), m.drawing.end()),
                  *std::max_element(m.drawing.begin(), m.drawing.end()), median(m.cpu),
                  *std::min_element(m.cpu.begin(), m.cpu.end()), *std::max_element(m.cpu.begin(), m.cpu.end()));
    }
    std::printf("\n");
    std::fflush(stdout);
  }
  nftw(base, [](const char* path, const struct stat*, int, FTW*) { return remove(path); }, 8, FTW_DEPTH | FTW_PHYS);
  return 0;
}
