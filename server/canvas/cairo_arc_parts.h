// What the cairo canvas's arc figures (cairo_arcs.cpp) and its other
// figures (cairo_figures.cpp) both use: a filter of pixel spans, and the
// order in which GDI walks an arc's pixels.
#ifndef LUMO_SERVER_CANVAS_CAIRO_ARC_PARTS_H
#define LUMO_SERVER_CANVAS_CAIRO_ARC_PARTS_H

#include <cmath>
#include <cstdint>

#include "server/canvas/cairo_canvas.h"
#include "server/canvas/pixel_rules.h"

namespace lumo::server::arc_parts {

inline constexpr double kPi = 3.14159265358979323846;

// The path of an arc, chord or pie of the ellipse about (cx, cy) with radii
// rx and ry: counter-clockwise on screen (the decreasing angle, y down)
// from angle `from` to angle `to`, a pie's from its centre; not closed.
inline void arc_path(cairo_t* cr, ArcKind kind, double cx, double cy, double rx, double ry, double from,
                     double to) {
  if (to >= from - 1e-9) to -= 2 * kPi;
  if (kind == ArcKind::kPie) cairo_move_to(cr, cx, cy);
  cairo_save(cr);
  cairo_translate(cr, cx, cy);
  cairo_scale(cr, rx, ry);
  cairo_arc_negative(cr, 0, 0, 1, from, to);
  cairo_restore(cr);
}

// Passes on the pixels of each span that `keep` accepts.
template <typename Keep>
class Filter : public pixels::Sink {
 public:
  Filter(pixels::Sink& out, Keep keep) : out_(out), keep_(keep) {}
  void span(int y, int x0, int x1) override {
    int start = x0;
    for (int x = x0; x <= x1 + 1; ++x) {
      if (x <= x1 && keep_(x, y)) continue;
      if (start < x) out_.span(y, start, x - 1);
      start = x + 1;
    }
  }

 private:
  pixels::Sink& out_;
  Keep keep_;
};

template <typename Keep>
Filter<Keep> filter(pixels::Sink& out, Keep keep) {
  return Filter<Keep>(out, keep);
}

// Where GDI starts and ends an arc along its outline: it measures the
// pixels of each quarter from the middle pixel on that quarter's side, the
// start and end points from the box's middle rounded right and down (with
// an even width or height these lie a pixel apart), so its arc may begin a
// pixel or two from where the directions alone put it.  key(x, y): the
// pixel's angle from the start measured so, negative just before it.
class GdiArcKey {
 public:
  GdiArcKey(const pixels::Box& box, Point start, Point end)
      : left_(box.x0), top_(box.y0), right_(int64_t{box.x1} + 1), bottom_(int64_t{box.y1} + 1) {
    const int64_t w = right_ - left_, h = bottom_ - top_;
    mid_x_ = left_ + w / 2;
    mid_y_ = top_ + h / 2;
    low_x_ = right_ - 1 - w / 2;
    high_y_ = bottom_ - 1 - h / 2;
    start_ = std::atan2(static_cast<double>(mid_y_ - start.y), static_cast<double>(start.x - mid_x_));
    extent_ = std::atan2(static_cast<double>(mid_y_ - end.y), static_cast<double>(end.x - mid_x_)) - start_;
    while (extent_ <= 0) extent_ += 2 * kPi;
    while (extent_ > 2 * kPi) extent_ -= 2 * kPi;
  }
  double operator()(int x, int y) const {
    const double xr = static_cast<double>(x >= mid_x_ ? x - mid_x_ : x - low_x_);
    const double yr = static_cast<double>(y <= high_y_ ? high_y_ - y : mid_y_ - y);
    double k = std::atan2(yr, xr) - start_;
    while (k < 0) k += 2 * kPi;
    while (k >= 2 * kPi) k -= 2 * kPi;
    return k > (extent_ + 2 * kPi) / 2 ? k - 2 * kPi : k;
  }
  double extent() const { return extent_; }
  Point middle() const { return {static_cast<int32_t>(mid_x_), static_cast<int32_t>(mid_y_)}; }
  // The direction halfway along the arc (radians, y up).
  double middle_angle() const { return start_ + extent_ / 2; }

 private:
  int64_t left_, top_, right_, bottom_, mid_x_, mid_y_, low_x_, high_y_;
  double start_, extent_;
};

}  // namespace lumo::server::arc_parts

#endif
