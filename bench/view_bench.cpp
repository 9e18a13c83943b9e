// The cost of showing a window at a screen's scale or zoomed: the job's
// scene (bench/job/scene.h: 100,000 lines, 10,000 rectangles, 10,000
// labels) drawn once into a window's picture, against the same window
// drawn again whole from its display list at scale 2 (1280 x 960) and at
// zoom 8 about its centre (640 x 480 screen pixels), and a kept view
// brought up to date with nothing new.  In one process, the kinds
// alternated in every round, every round printed, wall and processor time
// (the processor time includes the line drawing's helper thread).
//
//   view_bench [ROUNDS]
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "server/canvas/cairo_canvas.h"
#include "server/canvas/scaled_view.h"
#include "server/core/display_list.h"

extern "C" {
#include "bench/job/scene.h"
}

using namespace lumo::server;

namespace {

double now(clockid_t clock) {
  timespec ts;
  clock_gettime(clock, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

int whole(double v) { return static_cast<int>(v < 0 ? v - 0.5 : v + 0.5); }

// The job as the kit's server draws it (the world-to-device rounding of the
// library: half a pixel added, then whole pixels).
std::unique_ptr<RecordingCanvas> draw_job() {
  auto list = std::make_unique<RecordingCanvas>(std::make_unique<CairoCanvas>(JOB_WIDTH, JOB_HEIGHT, Rgb{255, 255, 255}),
                                                Rgb{255, 255, 255});
  JobRandom r = {12345};
  Pen pen;
  pen.colour = Rgb{job_line_colour[0], job_line_colour[1], job_line_colour[2]};
  for (int i = 0; i < JOB_LINES; ++i) {
    double x1, y1, x2, y2;
    job_line(&r, &x1, &y1, &x2, &y2);
    list->line(pen, {whole(x1), whole(y1)}, {whole(x2), whole(y2)});
  }
  Pen none;
  none.style = kInvisible;
  for (int i = 0; i < JOB_RECTS; ++i) {
    int x, y, w, h;
    job_rect(&r, &x, &y, &w, &h);
    Brush brush;
    brush.style = kBrushSolid;
    brush.colour = Rgb{job_colours[i % 8][0], job_colours[i % 8][1], job_colours[i % 8][2]};
    list->rect(none, brush, {x, y}, {x + w, y + h});
  }
  Font font;
  font.height = JOB_FONT_PIXELS;
  for (int i = 0; i < JOB_LABELS; ++i) {
    int x, y;
    char text[32];
    job_label(&r, i, &x, &y, text, sizeof text);
    list->text(font, {x, y}, text);
  }
  static_cast<CairoCanvas&>(list->picture()).finish();
  return list;
}

struct Times {
  std::vector<double> wall, cpu;
};

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const char* names[] = {"draw once (640 x 480)", "again at scale 2 (1280 x 960)", "again at zoom 8 (640 x 480)",
                         "kept view, nothing new"};
  Times times[4];
  std::printf("view_bench: the job's scene (%d lines, %d rectangles, %d labels); a busy 2-core machine\n", JOB_LINES,
              JOB_RECTS, JOB_LABELS);
  std::unique_ptr<RecordingCanvas> list = draw_job();
  ScaledView kept;
  kept.update(*list, 2 * JOB_WIDTH, 2 * JOB_HEIGHT, 2, 0, 0);
  for (int round = 1; round <= rounds; ++round) {
    for (int kind = 0; kind < 4; ++kind) {
      const double wall0 = now(CLOCK_MONOTONIC), cpu0 = now(CLOCK_PROCESS_CPUTIME_ID);
      if (kind == 0) {
        list = draw_job();
      } else if (kind == 1) {
        ScaledView view;
        view.update(*list, 2 * JOB_WIDTH, 2 * JOB_HEIGHT, 2, 0, 0);
      } else if (kind == 2) {
        ScaledView view;
        view.update(*list, JOB_WIDTH, JOB_HEIGHT, 8, JOB_WIDTH * 7 / 16.0, JOB_HEIGHT * 7 / 16.0);
      } else {
        kept.update(*list, 2 * JOB_WIDTH, 2 * JOB_HEIGHT, 2, 0, 0);
      }
      const double wall = now(CLOCK_MONOTONIC) - wall0, cpu = now(CLOCK_PROCESS_CPUTIME_ID) - cpu0;
      if (kind == 0) {
        // A new list: the kept view follows it (untimed).
        kept.invalidate();
        kept.update(*list, 2 * JOB_WIDTH, 2 * JOB_HEIGHT, 2, 0, 0);
      }
      times[kind].wall.push_back(wall);
      times[kind].cpu.push_back(cpu);
      std::printf("round %d  %-32s wall %8.1f ms  cpu %8.1f ms\n", round, names[kind], wall, cpu);
    }
  }
  const double base = median(times[0].wall), base_cpu = median(times[0].cpu);
  std::printf("\nmedians (ratio to drawing once, wall / cpu):\n");
  for (int kind = 0; kind < 4; ++kind) {
    std::printf("  %-32s wall %8.1f ms  cpu %8.1f ms  x%.2f / x%.2f\n", names[kind], median(times[kind].wall),
                median(times[kind].cpu), median(times[kind].wall) / base, median(times[kind].cpu) / base_cpu);
  }
  return 0;
}
