// What the cairo canvas's lines (cairo_lines.cpp) and its other figures
// (cairo_figures.cpp) both use.
#ifndef LUMO_SERVER_CANVAS_CAIRO_FIGURE_PARTS_H
#define LUMO_SERVER_CANVAS_CAIRO_FIGURE_PARTS_H

#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "server/canvas/cairo_canvas.h"

namespace lumo::server {

inline int pen_width(const Pen& pen) { return std::clamp(pen.width, 1, 1000); }

// The clock long figures' slices are measured by.
inline double now_seconds() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + ts.tv_nsec / 1e9;
}

// Segments stroked at a time: cairo's cost for one stroke grows faster than
// the number of its segments when they cross, so long outlines are stroked
// in pieces that meet end to end.
constexpr int kSegmentsPerStroke = 128;

// Closed figures' and curves' coordinates beyond this are clamped.
constexpr double kFigureLimit = 1 << 20;

// The points along one cubic Bezier curve (its 4 control points at q) after
// its first, about every 4 pixels of its control polygon, at most `most`.
template <typename P>
int curve_steps(const P* q, int most) {
  const double span = std::hypot(q[1].x - q[0].x, q[1].y - q[0].y) + std::hypot(q[2].x - q[1].x, q[2].y - q[1].y) +
                      std::hypot(q[3].x - q[2].x, q[3].y - q[2].y);
  return static_cast<int>(std::clamp(std::ceil(span / 4), 1.0, static_cast<double>(most)));
}

template <typename P, typename Emit>
void flatten_curve(const P* q, int most, Emit emit) {
  const int steps = curve_steps(q, most);
  for (int k = 1; k <= steps; ++k) {
    const double t = static_cast<double>(k) / steps, u = 1 - t;
    emit(P{u * u * u * q[0].x + 3 * u * u * t * q[1].x + 3 * u * t * t * q[2].x + t * t * t * q[3].x,
           u * u * u * q[0].y + 3 * u * u * t * q[1].y + 3 * u * t * t * q[2].y + t * t * t * q[3].y});
  }
}

// A curve's point rounded to its pixel, unless that is the last one's.
template <typename P, typename Out>
void add_whole_point(const P& f, Out* out) {
  const double x = std::lround(std::clamp(f.x, -kFigureLimit, kFigureLimit));
  const double y = std::lround(std::clamp(f.y, -kFigureLimit, kFigureLimit));
  if (out->empty() || x != out->back().x || y != out->back().y) {
    out->push_back({static_cast<decltype(out->back().x)>(x), static_cast<decltype(out->back().y)>(y)});
  }
}

// Blends `colour` over *p by a / 256.
inline void blend256(uint32_t* p, uint32_t colour, uint32_t a) {
  // Red and blue in one multiplication, green in another.
  const uint32_t v = *p;
  const uint32_t rb = (((v & 0xFF00FF) * (256 - a) + (colour & 0xFF00FF) * a) >> 8) & 0xFF00FF;
  const uint32_t g = (((v & 0x00FF00) * (256 - a) + (colour & 0x00FF00) * a) >> 8) & 0x00FF00;
  *p = rb | g;
}

inline void blend(uint32_t* p, uint32_t colour, double alpha) {
  const uint32_t a = static_cast<uint32_t>(alpha * 256 + 0.5);
  if (a != 0) blend256(p, colour, a);
}

}  // namespace lumo::server

#endif
