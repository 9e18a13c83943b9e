// Whether one program's long drawing holds up another: a program draws a
// random polyline of 10^5 or 10^6 points with a 3-pixel pen while a program
// that joined its window reads a pixel again and again.  Each round prints
// how long the drawing call took, how many reads were answered meanwhile,
// the reader's worst and median wait, and the CPU time of the two programs
// and the server (which this process adopts as a subreaper to count it).
//
//   freeze_bench [rounds] [points...]
//
// FREEZE_BASELINE_DIR=DIR adds rounds with the lumoview in DIR (an earlier
// build), alternated with this build's.
#include <dirent.h>
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

namespace {

struct Child {
  pid_t pid = -1;
  FILE* in = nullptr;   // its standard input
  FILE* out = nullptr;  // its standard output
};

Child start(const std::vector<std::string>& args) {
  int to[2], from[2];
  Child c;
  if (pipe(to) != 0 || pipe(from) != 0) return c;
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
  double drawing = 0, worst_ms = 0, median_us = 0, cpu = 0;
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
  Child painter = start({programs + "/freeze_lumo", "paint", std::to_string(points)});
  Child reader;
  if (line_of(painter) == "ready") {
    reader = start({programs + "/freeze_lumo", "read"});
    if (line_of(reader) == "joined") {
      say(painter, "go\n");
      if (line_of(painter) == "drawing") {
        usleep(100 * 1000);  // the points are sent and the drawing begun
        say(reader, "go\n");
        const std::string drawn = line_of(painter);
        say(reader, "stop\n");
        const std::string result = line_of(reader);
        r.ok = std::sscanf(drawn.c_str(), "drawn %lf", &r.drawing) == 1 &&
               std::sscanf(result.c_str(), "answers=%ld worst_ms=%lf median_us=%lf", &r.answers, &r.worst_ms,
                           &r.median_us) == 3;
      }
    }
  }
  for (Child* c : {&painter, &reader}) {
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
  char pictures[] = "/tmp/freeze_bench_XXXXXX";
  if (!mkdtemp(pictures)) return 2;
  long online = sysconf(_SC_NPROCESSORS_ONLN);
  std::printf("A program draws a random polyline with a 3-pixel pen (one command) while a program that\n"
              "joined its window reads a pixel without pause; %ld cores, %d rounds, servers alternated\n\n",
              online, rounds);
  int number = 0;
  for (int points : sizes) {
    for (const Server& s : servers) {
      std::vector<double> worst, drawing, cpu;
      std::printf("%d points, %s server: drawing s, reads answered, reader's worst ms / median us, CPU s\n", points,
                  s.name.c_str());
      for (int k = 0; k < rounds; ++k) {
        const Round r = run(programs, s.dir, points, pictures, ++number);
        std::printf("  round %d: %s drawing %.2f  answers %ld  worst %.1f ms / median %.1f us  CPU %.2f\n", k + 1,
                    r.ok ? "" : "(failed)", r.drawing, r.answers, r.worst_ms, r.median_us, r.cpu);
        std::fflush(stdout);
        if (!r.ok) continue;
        worst.push_back(r.worst_ms);
        drawing.push_back(r.drawing);
        cpu.push_back(r.cpu);
      }
      if (!worst.empty()) {
        std::printf("  median: worst answer %.1f ms (%.1f-%.1f), drawing %.2f s (%.2f-%.2f), CPU %.2f s\n\n",
                    median(worst), *std::min_element(worst.begin(), worst.end()),
                    *std::max_element(worst.begin(), worst.end()), median(drawing),
                    *std::min_element(drawing.begin(), drawing.end()),
                    *std::max_element(drawing.begin(), drawing.end()), median(cpu));
      }
    }
  }
  rmdir(pictures);
  return 0;
}
