// One whole plotting job (bench/job/scene.h) drawn by bare cairo (the
// floor), by a program through the kit and a real headless lumoview, and by
// the peer libraries when they were built, in alternated rounds
// (bench/rounds.h).
//
//   job_bench [rounds]
//
// JOB_BASELINE_SERVER=PATH adds the kit's job drawn by another lumoview (an
// earlier build), alternated with the rest: a change to the server measured
// against what it was, in one sitting.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/rounds.h"

using namespace lumo::bench;

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const std::string dir = own_dir();
  const std::string server = dir + "/../bin/lumoview";
  char out_template[] = "/tmp/lumo-job-XXXXXX";
  if (!mkdtemp(out_template)) return 1;
  const std::string out = out_template;

  std::vector<Entry> entries;
  auto add = [&](const char* name, const char* file, bool kit, const std::string& with) {
    const std::string path = dir + "/" + file;
    if (access(path.c_str(), X_OK) != 0) return;
    Entry e;
    e.name = name;
    e.label = e.name.substr(0, e.name.find_first_of(" ,"));
    if (kit) {
      e.run = [=](int round) { return run_kit(with, {path}, out, out + "/job_lumo-1.png", round); };
    } else {
      const std::string png = out + "/" + e.label + ".png";
      e.run = [=](int) { return run_program({path, png}, png); };
    }
    entries.push_back(e);
  };
  add("bare cairo (floor)", "job_cairo", false, server);
  add("this kit (program + headless lumoview)", "job_lumo", true, server);
  add("giza, PNG device", "job_giza", false, server);
  add("PLplot, pngcairo", "job_plplot", false, server);
  if (const char* baseline = std::getenv("JOB_BASELINE_SERVER")) {
    add("baseline lumoview (JOB_BASELINE_SERVER)", "job_lumo", true, baseline);
  }
  if (entries.size() < 2 || entries[0].label != "bare") {
    std::fprintf(stderr, "job_bench: the floor and the kit's job must be built beside it\n");
    return 1;
  }

  std::printf("The plotting job: 100,000 anti-aliased lines, 10,000 filled rectangles, 10,000\n"
              "labels on 640 x 480, written as PNG; %ld cores, %d rounds, programs alternated\n\n",
              sysconf(_SC_NPROCESSORS_ONLN), rounds);
  run_rounds(entries, rounds);
  print_table(entries);
  const Entry& kit = entries[1];
  if (!kit.measured()) return 1;
  std::printf("\nGoals\n");
  std::printf("  kit / floor, quiet        = %5.2f  (goal <= 0.8)  %s\n", kit.quiet(), kit.quiet() <= 0.8 ? "met" : "MISSED");
  std::printf("  kit / floor, busy         = %5.2f  (goal <= 1.3)  %s\n", kit.busy(), kit.busy() <= 1.3 ? "met" : "MISSED");
  std::printf("  kit CPU / floor's CPU     = %5.2f  (goal <= 1.2)  %s\n", kit.cpu_share(), kit.cpu_share() <= 1.2 ? "met" : "MISSED");
  std::printf("\nPictures: %s\n", out.c_str());
  return kit.failures ? 1 : 0;
}
