// Ellipses and their arcs of any size by the pixel rules, each row computed
// when it is asked for (no table per row), so that a figure costs what its
// visible part costs; and dashes walked along curves in GDI's order.
// Portable: the Windows server draws the figures too large for GDI with
// them, the cairo canvas its crisp dashed curves.
#ifndef LUMO_SERVER_CANVAS_LARGE_FIGURES_H
#define LUMO_SERVER_CANVAS_LARGE_FIGURES_H

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "server/canvas/pixel_rules.h"

namespace lumo::server::pixels {

// The ellipse of the pixels x0..x1, y0..y1 (inclusive, any size): the same
// rows as Ellipse.  Or, through a transformation that turns or shears, the
// pixels whose centre the carried ellipse holds.
class LargeEllipse {
 public:
  LargeEllipse(double x0, double y0, double x1, double y1);
  // The ellipse through the centres of the outermost pixels of the box
  // x0..x1, y0..y1, carried onto the surface by t.
  LargeEllipse(double x0, double y0, double x1, double y1, const Transform& t);
  bool row(int y, int* left, int* right) const;
  double centre_x() const { return cx_; }
  double centre_y() const { return cy_; }
  // The rows and columns it reaches, within kReach.
  Box bounds() const;
  // Where the ray from the centre along (dx, dy) meets the curve, as a
  // multiple of (dx, dy).
  double ray_to_curve(double dx, double dy) const;
  // The same ellipse grown (or shrunk) by `by` pixels on every side.
  LargeEllipse grown(double by) const;

 private:
  bool general_ = false;
  double x0_ = 0, y0_ = 0, x1_ = 0, y1_ = 0;  // the box (not general)
  double cx_ = 0, cy_ = 0, a_ = 0, b_ = 0;
  // General: the unit circle's coordinates of surface point (x, y) are
  // (g[0] x + g[1] y + g[2], g[3] x + g[4] y + g[5]).
  double g_[6] = {};
  double reach_x_ = 0, reach_y_ = 0;  // half the bounding box
  // Kept to grow the general case: the logical box and the transformation.
  double lx0_ = 0, ly0_ = 0, lx1_ = 0, ly1_ = 0;
  Transform t_;
};

// Calls visit(x, y) for every pixel of the spans it is given.
template <typename Visit>
class VisitSink : public Sink {
 public:
  explicit VisitSink(Visit visit) : visit_(visit) {}
  void span(int y, int x0, int x1) override {
    for (int x = x0; x <= x1; ++x) visit_(x, y);
  }

 private:
  Visit visit_;
};

// A pattern laid along the outline of a convex figure as GDI lays it along
// an ellipse: the outline pixels in the order of their direction from the
// centre (cx, cy), counter-clockwise on screen from `start` (radians, y
// up), one pattern step each, from `phase` on.  `each(visit)` calls
// visit(x, y) for every outline pixel; the pixels inside `clip` that the
// pattern has on go to `sink`.  With `count_hidden` the pixels off `clip`
// count too (the pattern's place is that of the whole curve); without, the
// walk starts at the first pixel inside `clip`.  Returns the phase after
// the curve.
// `key(x, y)`, when given, orders the pixels instead (any increasing
// measure along the curve).
template <typename Each, typename Key>
int64_t dash_along_curve(Each each, Key key_of, const DashPattern* pattern, int64_t phase, const Box& clip,
                         bool count_hidden, Sink& sink);

template <typename Each>
int64_t dash_along_curve(Each each, double cx, double cy, double start, const DashPattern* pattern,
                         int64_t phase, const Box& clip, bool count_hidden, Sink& sink) {
  constexpr double kTurn = 6.283185307179586476925;
  auto key_of = [&](int x, int y) {
    double k = std::atan2(cy - y, x - cx) - start;
    while (k < 0) k += kTurn;
    while (k >= kTurn) k -= kTurn;
    return k;
  };
  return dash_along_curve(each, key_of, pattern, phase, clip, count_hidden, sink);
}

template <typename Each, typename Key>
int64_t dash_along_curve(Each each, Key key_of, const DashPattern* pattern, int64_t phase, const Box& clip,
                         bool count_hidden, Sink& sink) {
  auto inside = [&](int x, int y) { return x >= clip.x0 && x <= clip.x1 && y >= clip.y0 && y <= clip.y1; };
  struct Step {
    double key;
    int x, y;
  };
  std::vector<Step> seen;
  int64_t total = 0;
  each([&](int x, int y) {
    ++total;
    if (inside(x, y)) seen.push_back({key_of(x, y), x, y});
  });
  std::sort(seen.begin(), seen.end(), [](const Step& l, const Step& r) {
    return l.key != r.key ? l.key < r.key : (l.x != r.x ? l.x < r.x : l.y < r.y);
  });
  // Hidden pixels before each seen one.
  std::vector<int64_t> before(seen.size() + 1, 0);
  if (count_hidden && total > static_cast<int64_t>(seen.size())) {
    each([&](int x, int y) {
      if (inside(x, y)) return;
      const double k = key_of(x, y);
      const auto at = std::lower_bound(seen.begin(), seen.end(), k,
                                       [](const Step& s, double v) { return s.key < v; });
      ++before[static_cast<size_t>(at - seen.begin())];
    });
  }
  int64_t hidden = 0;
  for (size_t i = 0; i < seen.size(); ++i) {
    hidden += before[i];
    if (dash_on(pattern, phase + hidden + static_cast<int64_t>(i))) sink.span(seen[i].y, seen[i].x, seen[i].x);
  }
  return phase + (count_hidden ? total : static_cast<int64_t>(seen.size()));
}

// An ellipse or one of its arc figures too large to hand to GDI, drawn by
// the pixel rules onto a surface of 0x00RRGGBB pixels: only what lies on
// the surface is computed.  Box corners and the arc's direction points
// are as the canvas receives them (64-bit, so that no sum overflows).
struct LargeFigure {
  bool whole = true;  // an ellipse; else an arc figure of `kind`
  ArcKind kind = ArcKind::kArc;
  int64_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  int64_t sx = 0, sy = 0, ex = 0, ey = 0;
};
// `t` null: no transformation (the box covers min..max-1 as every figure's).
void draw_large(uint32_t* surface, int width, int height, const LargeFigure& f, const Pen& pen,
                const Brush& brush, const Transform* t);

}  // namespace lumo::server::pixels

#endif
