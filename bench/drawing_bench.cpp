// How long the server takes to draw very long point arrays: the cost of one
// command, which no other program can interrupt.  Each case is drawn by the
// server's own canvas in-process, timed in wall and CPU time, several rounds.
//
//   drawing_bench [rounds]
#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include <cairo.h>

#include "server/canvas/cairo_canvas.h"

using namespace lumo::server;

namespace {

double seconds(clockid_t clock) {
  timespec ts;
  clock_gettime(clock, &ts);
  return static_cast<double>(ts.tv_sec) + ts.tv_nsec / 1e9;
}

struct Case {
  std::string name;
  std::function<void(Canvas&)> draw;
};

std::vector<Point> noisy_signal(int n, int width, int height, unsigned seed) {
  std::mt19937 random(seed);
  std::normal_distribution<double> noise(0, height / 6.0);
  std::vector<Point> p(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    const double y = height / 2.0 + height / 4.0 * std::sin(i * 12.0 / n) + noise(random);
    p[static_cast<size_t>(i)] = {static_cast<int32_t>(static_cast<long long>(i) * width / n),
                                 static_cast<int32_t>(std::clamp(y, 0.0, height - 1.0))};
  }
  return p;
}

std::vector<Point> random_points(int n, int width, int height, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<Point> p(static_cast<size_t>(n));
  for (Point& q : p) q = {static_cast<int32_t>(random() % width), static_cast<int32_t>(random() % height)};
  return p;
}

std::vector<Point> zigzag(int n) {
  std::vector<Point> p(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) p[static_cast<size_t>(i)] = {100 + (i % 2) * 9, 100 + (i / 2) % 7};
  return p;
}

Pen pen(Blend blend, int width = 1) {
  Pen p;
  p.colour = Rgb{20, 40, 160};
  p.blend = blend;
  p.width = width;
  return p;
}

// The same path stroked by bare cairo on an image of the same size, as a
// program drawing with cairo itself would: at once, or in pieces of
// `piece` points that meet end to end.
void cairo_stroke_points(const std::vector<Point>& p, int width, size_t piece) {
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 640, 480);
  cairo_t* cr = cairo_create(s);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  cairo_set_source_rgb(cr, 20 / 255.0, 40 / 255.0, 160 / 255.0);
  cairo_set_line_width(cr, width);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  for (size_t from = 0; from + 1 < p.size(); from += piece) {
    const size_t to = std::min(p.size(), from + piece + 1);
    cairo_move_to(cr, p[from].x, p[from].y);
    for (size_t i = from + 1; i < to; ++i) cairo_line_to(cr, p[i].x, p[i].y);
    cairo_stroke(cr);
  }
  cairo_destroy(cr);
  cairo_surface_destroy(s);
}

// A page of 480 short labels in a 12-pixel face (bench/scenes' text page),
// drawn by the canvas or by bare cairo, `pages` times.
void label_page(Canvas* c, int pages) {
  cairo_surface_t* s = c ? nullptr : cairo_image_surface_create(CAIRO_FORMAT_RGB24, 640, 480);
  cairo_t* cr = s ? cairo_create(s) : nullptr;
  Font font;
  font.height = 12;
  if (cr) {
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, 12);
  }
  char text[32];
  for (int page = 0; page < pages; ++page) {
    for (int i = 0; i < 480; ++i) {
      std::snprintf(text, sizeof text, "%.2f", (i * 7919 % 20000) / 100.0 - 100.0);
      const Point at{2 + i % 16 * 40, 13 + i / 16 * 16};
      if (c) {
        c->text(font, at, text);
      } else {
        cairo_move_to(cr, at.x, at.y);
        cairo_show_text(cr, text);
      }
    }
  }
  Rgb probe;
  if (c) c->get_pixel({0, 0}, &probe);  // whatever was gathered is drawn
  if (cr) cairo_destroy(cr);
  if (s) cairo_surface_destroy(s);
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 3;
  const int w = 640, h = 480;
  const std::vector<Point> noisy5 = noisy_signal(100000, w, h, 1);
  const std::vector<Point> noisy6 = noisy_signal(1000000, w, h, 2);
  const std::vector<Point> random6 = random_points(1000000, w, h, 3);
  const std::vector<Point> zig6 = zigzag(1000000);
  const std::vector<Point> polygon4 = random_points(10000, w, h, 4);
  const std::vector<Point> polygon6 = random_points(1000000, w, h, 6);
  const std::vector<Point> bezier5 = random_points(100000 - 100000 % 3 + 1, w, h, 5);
  const std::vector<Point> bezier6 = random_points(1000000 - 1000000 % 3 + 1, w, h, 7);
  const std::vector<Point> random5 = random_points(100000, w, h, 7);
  // The same points a third of a pixel off, for the figures between pixels.
  std::vector<SubPoint> noisy5_at(noisy5.size()), random5_at(random5.size());
  for (size_t i = 0; i < noisy5.size(); ++i) noisy5_at[i] = {noisy5[i].x * 256 + 85, noisy5[i].y * 256 + 85};
  for (size_t i = 0; i < random5.size(); ++i) random5_at[i] = {random5[i].x * 256 + 85, random5[i].y * 256 + 85};
  Brush fill;
  fill.style = kBrushSolid;
  fill.colour = Rgb{200, 120, 40};
  const std::vector<Case> cases = {
      {"noisy signal, 10^5 points, smooth", [&](Canvas& c) { c.polyline(pen(Blend::kSmooth), noisy5.data(), 100000); }},
      {"noisy signal, 10^6 points, smooth", [&](Canvas& c) { c.polyline(pen(Blend::kSmooth), noisy6.data(), 1000000); }},
      {"noisy signal, 10^6 points, crisp", [&](Canvas& c) { c.polyline(pen(Blend::kCrisp), noisy6.data(), 1000000); }},
      {"random polyline, 10^6 points, smooth", [&](Canvas& c) { c.polyline(pen(Blend::kSmooth), random6.data(), 1000000); }},
      {"zigzag in 10 x 7 pixels, 10^6 points", [&](Canvas& c) { c.polyline(pen(Blend::kSmooth), zig6.data(), 1000000); }},
      {"random polygon, 10^4 points, smooth", [&](Canvas& c) { c.polygon(pen(Blend::kSmooth), fill, polygon4.data(), 10000, false); }},
      {"random polygon, 10^4 points, crisp", [&](Canvas& c) { c.polygon(pen(Blend::kCrisp), fill, polygon4.data(), 10000, true); }},
      {"random polygon, 10^6 points, smooth", [&](Canvas& c) { c.polygon(pen(Blend::kSmooth), fill, polygon6.data(), 1000000, false); }},
      {"random polygon, 10^6 points, crisp", [&](Canvas& c) { c.polygon(pen(Blend::kCrisp), fill, polygon6.data(), 1000000, true); }},
      {"noisy signal, 10^5 points, between pixels", [&](Canvas& c) { c.polyline_at(pen(Blend::kSmooth), noisy5_at.data(), 100000); }},
      {"5 x 10^4 single lines, smooth", [&](Canvas& c) {
         for (size_t i = 0; i + 1 < random5.size(); i += 2) c.line(pen(Blend::kSmooth), random5[i], random5[i + 1]);
       }},
      {"5 x 10^4 single lines, between pixels", [&](Canvas& c) {
         for (size_t i = 0; i + 1 < random5_at.size(); i += 2) c.line_at(pen(Blend::kSmooth), random5_at[i], random5_at[i + 1]);
       }},
      {"random Bezier, 10^5 points, smooth", [&](Canvas& c) { c.bezier(pen(Blend::kSmooth), bezier5.data(), static_cast<int>(bezier5.size())); }},
      {"text page of 480 labels, 20 times", [&](Canvas& c) { label_page(&c, 20); }},
      {"  bare cairo, the same", [&](Canvas&) { label_page(nullptr, 20); }},
      // Wide pens on a long random polyline, beside bare cairo stroking the
      // same points in pieces of 1,000 (at once it takes minutes).
      {"random polyline, 10^5 points, width 3", [&](Canvas& c) { c.polyline(pen(Blend::kSmooth, 3), random5.data(), 100000); }},
      {"  bare cairo, pieces of 1000, width 3", [&](Canvas&) { cairo_stroke_points(random5, 3, 1000); }},
      {"random polyline, 10^5 points, width 25", [&](Canvas& c) { c.polyline(pen(Blend::kSmooth, 25), random5.data(), 100000); }},
      {"  bare cairo, pieces of 1000, width 25", [&](Canvas&) { cairo_stroke_points(random5, 25, 1000); }},
      {"noisy signal, 10^6 points, width 3", [&](Canvas& c) { c.polyline(pen(Blend::kSmooth, 3), noisy6.data(), 1000000); }},
      {"  bare cairo, pieces of 1000, width 3", [&](Canvas&) { cairo_stroke_points(noisy6, 3, 1000); }},
  };
  // A word given after the rounds picks the cases whose names hold it.
  const std::string only = argc > 2 ? argv[2] : "";
  std::printf("%-40s %s\n", "case", "wall s / cpu s per round");
  for (const Case& k : cases) {
    if (!only.empty() && k.name.find(only) == std::string::npos) continue;
    std::printf("%-40s", k.name.c_str());
    for (int r = 0; r < rounds; ++r) {
      CairoCanvas canvas(w, h, Rgb{255, 255, 255});
      const double wall = seconds(CLOCK_MONOTONIC), cpu = seconds(CLOCK_PROCESS_CPUTIME_ID);
      k.draw(canvas);
      std::printf("  %.3f/%.3f", seconds(CLOCK_MONOTONIC) - wall, seconds(CLOCK_PROCESS_CPUTIME_ID) - cpu);
      std::fflush(stdout);
    }
    std::printf("\n");
  }
  // Drawn in slices of 20 ms as the server draws them: the longest any one
  // call held the canvas (the first includes taking the points in).
  std::printf("\n%-40s %s\n", "in slices of 20 ms", "first call (its CPU) / longest slice ms, slices per round");
  const std::vector<std::pair<std::string, const std::vector<Point>*>> sliced = {
      {"random polyline, 10^5 points, width 3", &random5},
      {"random polyline, 10^6 points, width 3", &random6},
      {"random polyline, 10^6 points, width 1", &random6},
      {"noisy signal, 10^6 points, width 3", &noisy6},
      {"random polygon, 10^6 points, filled", &polygon6},
      {"random polygon, 10^6 points, crisp", &polygon6},
      {"random Bezier, 10^6 points, width 1", &bezier6},
      {"random Bezier, 10^6 points, crisp", &bezier6}};
  for (const auto& k : sliced) {
    if (!only.empty() && k.first.find(only) == std::string::npos) continue;
    std::printf("%-40s", k.first.c_str());
    for (int r = 0; r < rounds; ++r) {
      CairoCanvas canvas(w, h, Rgb{255, 255, 255});
      canvas.set_slice(0.02);
      const int width = k.first.find("width 1") != std::string::npos ? 1 : 3;
      double t = seconds(CLOCK_MONOTONIC);
      const double c = seconds(CLOCK_PROCESS_CPUTIME_ID);
      if (k.first.find("Bezier") != std::string::npos) {
        const Blend blend = k.first.find("crisp") != std::string::npos ? Blend::kCrisp : Blend::kSmooth;
        canvas.bezier(pen(blend, 1), k.second->data(), static_cast<int>(k.second->size()));
      } else if (k.first.find("polygon") != std::string::npos) {
        const Blend blend = k.first.find("crisp") != std::string::npos ? Blend::kCrisp : Blend::kSmooth;
        canvas.polygon(pen(blend, 1), fill, k.second->data(), static_cast<int>(k.second->size()), true);
      } else {
        canvas.polyline(pen(Blend::kSmooth, width), k.second->data(), static_cast<int>(k.second->size()));
      }
      const double first = seconds(CLOCK_MONOTONIC) - t, first_cpu = seconds(CLOCK_PROCESS_CPUTIME_ID) - c;
      double longest = 0;
      int slices = 1;
      for (bool more = canvas.work_left(); more; ++slices) {
        t = seconds(CLOCK_MONOTONIC);
        more = canvas.continue_work();
        longest = std::max(longest, seconds(CLOCK_MONOTONIC) - t);
      }
      std::printf("  %.1f (cpu %.1f)/%.1f %d", first * 1e3, first_cpu * 1e3, longest * 1e3, slices);
      std::fflush(stdout);
    }
    std::printf("\n");
  }
  return 0;
}
