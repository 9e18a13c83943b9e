// Pictures that do not fill up (bench/scenes/scenes.h), each drawn by bare
// cairo (the floor), through the kit (a program and a real headless
// lumoview) and by giza and PLplot where they were built and can draw it,
// in alternated rounds (bench/rounds.h); then every picture compared pixel
// by pixel with bare cairo's, which draws at the user's own coordinates.
//
//   scene_bench [rounds [scene...]]
//
// SCENE_BASELINE_SERVER=PATH adds the kit's program drawn by another
// lumoview (an earlier build), alternated with the rest;
// SCENE_BASELINE_PROGRAM=PATH gives that entry another program (the scenes
// linked with an earlier library), with this lumoview unless both are set.
#include <cairo.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/rounds.h"

using namespace lumo::bench;

namespace {

// The rows: a scene and, where the kit has one, its goal against the floor
// (wall time, quiet and busy; 0: none).
struct Row {
  const char* scene;
  const char* what;
  double quiet_goal, busy_goal;
};
const Row kRows[] = {
    {"lines-2k", "2,000 anti-aliased lines", 0, 0},
    {"lines-20k", "20,000 anti-aliased lines", 0, 0},
    {"scatter-100k", "100,000 single points", 0, 0},
    {"text-page", "a page of 480 labels", 1.0, 0},
    {"polygons-2k", "2,000 small filled hexagons", 1.0, 1.3},
    {"wide-1", "a 2,000-point curve, pen width 1", 0, 0},
    {"wide-3", "the same, pen width 3", 0, 0},
    {"wide-25", "the same, pen width 25", 0, 0},
};

struct Difference {
  bool ok = false;
  double share = 0;  // of the pixels, differing by more than 32 in a channel
  double mean = 0;   // mean absolute difference per channel (0..255)
};

Difference compare(const std::string& a, const std::string& b) {
  Difference d;
  cairo_surface_t* s1 = cairo_image_surface_create_from_png(a.c_str());
  cairo_surface_t* s2 = cairo_image_surface_create_from_png(b.c_str());
  if (cairo_surface_status(s1) == CAIRO_STATUS_SUCCESS && cairo_surface_status(s2) == CAIRO_STATUS_SUCCESS &&
      cairo_image_surface_get_width(s1) == cairo_image_surface_get_width(s2) &&
      cairo_image_surface_get_height(s1) == cairo_image_surface_get_height(s2)) {
    const int w = cairo_image_surface_get_width(s1), h = cairo_image_surface_get_height(s1);
    long long differing = 0;
    double sum = 0;
    for (int y = 0; y < h; ++y) {
      const auto* r1 = reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(s1) +
                                                         static_cast<size_t>(y) * cairo_image_surface_get_stride(s1));
      const auto* r2 = reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(s2) +
                                                         static_cast<size_t>(y) * cairo_image_surface_get_stride(s2));
      for (int x = 0; x < w; ++x) {
        int most = 0;
        for (int shift = 0; shift < 24; shift += 8) {
          const int c = std::abs(static_cast<int>((r1[x] >> shift) & 255) - static_cast<int>((r2[x] >> shift) & 255));
          sum += c;
          most = std::max(most, c);
        }
        differing += most > 32;
      }
    }
    d.ok = true;
    d.share = static_cast<double>(differing) / (static_cast<double>(w) * h);
    d.mean = sum / (3.0 * w * h);
  }
  cairo_surface_destroy(s1);
  cairo_surface_destroy(s2);
  return d;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  std::vector<Row> rows;
  for (int i = 2; i < argc; ++i) {
    for (const Row& r : kRows) {
      if (std::string(argv[i]) == r.scene) rows.push_back(r);
    }
  }
  if (rows.empty()) rows.assign(std::begin(kRows), std::end(kRows));
  const std::string dir = own_dir();
  const std::string server = dir + "/../bin/lumoview";
  char out_template[] = "/tmp/lumo-scenes-XXXXXX";
  if (!mkdtemp(out_template)) return 1;
  const std::string out = out_template;
  const char* baseline = std::getenv("SCENE_BASELINE_SERVER");
  const char* baseline_program = std::getenv("SCENE_BASELINE_PROGRAM");
  double load[3] = {0, 0, 0};
  if (getloadavg(load, 3) < 0) load[0] = -1;

  std::printf("Scenes that do not fill up, 640 x 480, written as PNG; %ld cores, %d rounds,\n"
              "programs alternated; load average before: %.2f %.2f %.2f\n\n",
              sysconf(_SC_NPROCESSORS_ONLN), rounds, load[0], load[1], load[2]);
  struct Summary {
    Row row;
    std::vector<Entry> entries;
    std::vector<Difference> differences;
  };
  std::vector<Summary> summaries;
  bool failed = false;
  for (const Row& row : rows) {
    std::vector<Entry> entries;
    auto add = [&](const char* name, const char* file, const char* kit_server, bool running = false) {
      const std::string path = file[0] == '/' ? file : dir + "/" + file;
      if (access(path.c_str(), X_OK) != 0) return;
      Entry e;
      e.name = name;
      e.label = running ? "running" : e.name.substr(0, e.name.find_first_of(" ,"));
      const std::string scene = row.scene;
      if (kit_server) {
        const std::string with = kit_server;
        e.run = [=](int round) {
          return run_kit(with, {path, scene}, out, out + "/scene_lumo-1.png", round, running);
        };
      } else {
        const std::string png = out + "/" + e.label + "-" + scene + ".png";
        e.run = [=](int) { return run_program({path, scene, png}, png); };
      }
      entries.push_back(e);
    };
    add("bare cairo (floor)", "scene_cairo", nullptr);
    add("this kit (program + headless lumoview)", "scene_lumo", server.c_str());
    add("this kit, its server already running", "scene_lumo", server.c_str(), true);
    add("giza, PNG device", "scene_giza", nullptr);
    add("PLplot, pngcairo", "scene_plplot", nullptr);
    if (baseline || baseline_program) {
      add("baseline (SCENE_BASELINE_SERVER, _PROGRAM)", baseline_program ? baseline_program : "scene_lumo",
          baseline ? baseline : server.c_str());
    }
    if (entries.size() < 2 || entries[0].label != "bare") {
      std::fprintf(stderr, "scene_bench: the floor and the kit's program must be built beside it\n");
      return 1;
    }
    std::printf("## %s (%s)\n\n", row.scene, row.what);
    Summary s{row, {}, {}};
    // The kit's picture of each run has one name: kept after each run of it.
    for (Entry& e : entries) {
      if (e.label != "this" && e.label != "running" && e.label != "baseline") continue;
      const std::string keep = out + "/" + e.label + "-" + row.scene + ".png";
      auto run = e.run;
      e.run = [=](int round) {
        const Run r = run(round);
        if (r.ok) std::rename((out + "/scene_lumo-1.png").c_str(), keep.c_str());
        return r;
      };
    }
    run_rounds(entries, rounds);
    print_table(entries);
    std::printf("\nPixels against bare cairo's picture (share differing by more than 32 in a channel;\n"
                "mean difference per channel, 0-255); the kit's also against cairo drawing the same\n"
                "numbers at pixel middles, as the kit takes them (scene_cairo ... centres):\n");
    const std::string floor_png = out + "/bare-" + row.scene + ".png";
    const std::string centres_png = out + "/centres-" + row.scene + ".png";
    const bool centres = run_program({dir + "/scene_cairo", row.scene, centres_png, "centres"}, centres_png).ok;
    for (const Entry& e : entries) {
      Difference d;
      if (!e.left_out && &e != &entries[0]) {
        const std::string picture = out + "/" + e.label + "-" + row.scene + ".png";
        d = compare(floor_png, picture);
        if (d.ok) std::printf("  %-40s %6.2f %%   %5.2f", e.name.c_str(), 100 * d.share, d.mean);
        const bool kit = e.label == "this" || e.label == "running" || e.label == "baseline";
        if (kit && centres) {
          d = compare(centres_png, picture);
          if (d.ok) std::printf("   at pixel middles: %6.2f %%   %5.2f", 100 * d.share, d.mean);
        }
        std::printf("\n");
      }
      s.differences.push_back(d);
    }
    std::printf("\n");
    failed |= entries[1].failures > 0 || !entries[1].measured();
    s.entries = entries;
    summaries.push_back(s);
  }

  std::printf("## All scenes: the kit against bare cairo (median, range)\n\n");
  std::printf("| scene | quiet | busy | CPU / floor's | server running: quiet, CPU | pixels differing (cairo at pixel middles) | giza quiet | PLplot quiet | goal |\n");
  std::printf("|---|---|---|---|---|---|---|---|---|\n");
  for (const Summary& s : summaries) {
    const Entry& kit = s.entries[1];
    auto peer = [&](const char* label, bool cpu = false) {
      for (const Entry& e : s.entries) {
        if (e.label == label && e.measured()) {
          char text[32];
          if (cpu) {
            std::snprintf(text, sizeof text, "%.2f, %.2f", e.quiet(), e.cpu_share());
          } else {
            std::snprintf(text, sizeof text, "%.2f", e.quiet());
          }
          return std::string(text);
        }
      }
      return std::string("-");
    };
    std::string goal = "-";
    if (s.row.quiet_goal > 0 && kit.measured()) {
      const bool met = kit.quiet() <= s.row.quiet_goal && (s.row.busy_goal <= 0 || kit.busy() <= s.row.busy_goal);
      char text[64];
      if (s.row.busy_goal > 0) {
        std::snprintf(text, sizeof text, "<= %.1f quiet, %.1f busy: %s", s.row.quiet_goal, s.row.busy_goal, met ? "met" : "MISSED");
      } else {
        std::snprintf(text, sizeof text, "<= %.1f quiet: %s", s.row.quiet_goal, met ? "met" : "MISSED");
      }
      goal = text;
    }
    if (!kit.measured()) {
      std::printf("| %s | failed | failed | | | | | | %s |\n", s.row.scene, goal.c_str());
      continue;
    }
    std::printf("| %s | %.2f (%.2f-%.2f) | %.2f (%.2f-%.2f) | %.2f | %s | %.2f %% | %s | %s | %s |\n", s.row.scene,
                kit.quiet(), lowest(kit.ratio[0]), highest(kit.ratio[0]), kit.busy(), lowest(kit.ratio[1]),
                highest(kit.ratio[1]), kit.cpu_share(), peer("running", true).c_str(),
                s.differences[1].ok ? 100 * s.differences[1].share : -1.0, peer("giza").c_str(),
                peer("PLplot").c_str(), goal.c_str());
  }
  if (getloadavg(load, 3) >= 0) std::printf("\nLoad average after: %.2f %.2f %.2f\n", load[0], load[1], load[2]);
  std::printf("Pictures: %s\n", out.c_str());
  return failed ? 1 : 0;
}
