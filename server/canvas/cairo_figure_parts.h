// What the cairo canvas's lines (cairo_lines.cpp) and its other figures
// (cairo_figures.cpp) both use.
#ifndef LUMO_SERVER_CANVAS_CAIRO_FIGURE_PARTS_H
#define LUMO_SERVER_CANVAS_CAIRO_FIGURE_PARTS_H

#include <time.h>

#include <algorithm>
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
