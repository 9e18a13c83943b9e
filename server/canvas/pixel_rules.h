// The kit's pixel rules, as GDI draws without anti-aliasing: which pixels a
// one-pixel line, a polygon, an ellipse and its arcs cover, the patterns of
// styled pens and hatched brushes, and the raster operations.  Portable and
// free of any drawing library: the cairo canvas draws its crisp and raster
// modes with them, and both canvases take pen patterns and hatches from here.
#ifndef LUMO_SERVER_CANVAS_PIXEL_RULES_H
#define LUMO_SERVER_CANVAS_PIXEL_RULES_H

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "server/core/canvas.h"

namespace lumo::server::pixels {

// ---- Pen patterns and hatches ----------------------------------------------

// On and off runs of a styled one-pixel pen, in pixels along the line's
// major axis, starting with "on".
struct DashPattern {
  int count;
  int runs[6];
};

// The pattern of a pen; null for a solid line (every pen wider than one
// pixel is solid, as GDI's are).
const DashPattern* dash_pattern(int style, int width);
// Whether the pattern is on `steps` pixels into it.
bool dash_on(const DashPattern* pattern, int64_t steps);

// The part of the segment p-q inside the box (Liang-Barsky); false when
// nothing of it is.
bool clip_segment(double* px, double* py, double* qx, double* qy, double lo_x, double lo_y,
                  double hi_x, double hi_y);

// The runs of "on" pixels of a styled one-pixel line from a to b (the last
// pixel too when `last`), `phase` pixels into the pattern, stepped along the
// major axis: each run goes to on_run(x0, y0, x1, y1), from the middle
// between the pixel before it and its first pixel to the middle after its
// last.  Only the steps where the line lies inside the box lo..hi (and a
// step either side) are looked at: a line that passes outside the box gives
// no run at all, however far away it runs, while the steps keep counting
// from a, so the runs inside keep their phase.  Returns the phase after the
// line.
template <typename OnRun>
int64_t dash_runs(double ax, double ay, double bx, double by, bool last, const DashPattern* pattern,
                  int64_t phase, double lo_x, double lo_y, double hi_x, double hi_y, OnRun on_run) {
  const double dx = bx - ax, dy = by - ay;
  const int64_t length = static_cast<int64_t>(std::max(std::fabs(dx), std::fabs(dy)));
  const int64_t steps = length + (last ? 1 : 0);
  int64_t k0 = 0, k1 = steps - 1;
  if (length > 0) {
    // The part of the line (with its last step) inside the box, in steps.
    const double ex = ax + dx * steps / length, ey = ay + dy * steps / length;
    double px = ax, py = ay, qx = ex, qy = ey;
    if (!clip_segment(&px, &py, &qx, &qy, lo_x, lo_y, hi_x, hi_y)) return phase + length;
    const bool x_major = std::fabs(dx) >= std::fabs(dy);
    const double dir = x_major ? dx : dy, from = x_major ? ax : ay;
    const double ka = ((x_major ? px : py) - from) * length / dir;
    const double kb = ((x_major ? qx : qy) - from) * length / dir;
    k0 = std::max<int64_t>(0, static_cast<int64_t>(std::floor(std::min(ka, kb))) - 1);
    k1 = std::min<int64_t>(steps - 1, static_cast<int64_t>(std::ceil(std::max(ka, kb))) + 1);
  } else if (ax < lo_x || ax > hi_x || ay < lo_y || ay > hi_y) {
    return phase;
  }
  const double ux = length > 0 ? dx / length : 0, uy = length > 0 ? dy / length : 0;
  int64_t run = -1;
  for (int64_t k = k0; k <= k1 + 1; ++k) {
    const bool on = k <= k1 && dash_on(pattern, phase + k);
    if (on && run < 0) run = k;
    if (!on && run >= 0) {
      on_run(ax + ux * (run - 0.5), ay + uy * (run - 0.5), ax + ux * (k - 0.5), ay + uy * (k - 0.5));
      run = -1;
    }
  }
  return phase + length;
}


// One segment of a solid polyline through pixel centres, clipped to the
// box: move(x, y) starts a new piece where the line is not joined to the
// last one, line(x, y) draws to the segment's end.  *joined says whether
// the next segment continues it; *clipped becomes true once any part was
// cut away (the outline can then no longer be closed).
template <typename Move, typename Line>
void clipped_segment(double ax, double ay, double bx, double by, double lo_x, double lo_y, double hi_x,
                     double hi_y, bool* joined, bool* clipped, Move move, Line line) {
  const double end_x = bx, end_y = by;
  const bool whole = ax >= lo_x && ax <= hi_x && ay >= lo_y && ay <= hi_y;
  if (!clip_segment(&ax, &ay, &bx, &by, lo_x, lo_y, hi_x, hi_y)) {
    *joined = false;
    *clipped = true;
    return;
  }
  *clipped = *clipped || !whole || bx != end_x || by != end_y;
  if (!*joined || !whole) move(ax + 0.5, ay + 0.5);
  line(bx + 0.5, by + 0.5);
  *joined = bx == end_x && by == end_y;
}

// GDI's hatches: 8 x 8 pixel patterns anchored at the surface's origin.
bool hatch_bit(int hatch, int x, int y);
// A hatch's tile as runs of set pixels: on_run(x, y, length) for each.
template <typename OnRun>
void hatch_runs(int hatch, OnRun on_run) {
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) {
      if (!hatch_bit(hatch, x, y)) continue;
      int run = x;
      while (run + 1 < 8 && hatch_bit(hatch, run + 1, y)) ++run;
      on_run(x, y, run - x + 1);
      x = run;
    }
  }
}

// ---- Where pixels go -------------------------------------------------------

// Inclusive pixel bounds.
struct Box {
  int x0, y0, x1, y1;
};

// ---- Where figures land -----------------------------------------------------

// A whole-pixel translation only moves the points (the pixel rules hold as
// untranslated); any other transformation goes with the figure's path.
bool whole_pixel_move(const Transform& t);
// A point's pixel: moved by `offset`, or (when `transformed`) through t and
// rounded; held within kReach.
Point device_point(Point p, bool transformed, Point offset, const Transform& t);
// The pixels x1..x2-1, y1..y2-1 of a rectangle given by two corners, made
// smaller on every side for a wide inside-frame pen.
Box figure_box(Point a, Point b, const Pen& pen);


class Sink {
 public:
  virtual ~Sink() = default;
  // Pixels x0..x1 of row y, inside the clip box given to the rasteriser.
  virtual void span(int y, int x0, int x1) = 0;
};

// Paints spans into a 32-bit surface of 0x00RRGGBB pixels (cairo's RGB24
// and a top-down GDI DIB section alike): a colour copied, black, white,
// inverted, exclusive-or'ed or blended half, through a hatch when given.
class Painter : public Sink {
 public:
  Painter(uint32_t* pixels, int stride_pixels, Blend blend, Rgb colour, int hatch = -1,
          bool half = false);
  void span(int y, int x0, int x1) override;

 private:
  uint32_t* pixels_;
  int stride_;
  Blend blend_;
  uint32_t colour_;
  int hatch_;
  bool half_;
};

// Spans within width x height pixels (a picture made smaller since a
// figure drawn in slices came).
class WithinSink : public Sink {
 public:
  WithinSink(Sink& inner, int width, int height) : inner_(inner), width_(width), height_(height) {}
  void span(int y, int x0, int x1) override {
    if (y < 0 || y >= height_) return;
    x1 = x1 < width_ - 1 ? x1 : width_ - 1;
    if (x0 <= x1) inner_.span(y, x0, x1);
  }

 private:
  Sink& inner_;
  int width_, height_;
};

// ---- Rasterisers ------------------------------------------------------------

// Coordinates beyond this are pulled in before any arithmetic.
inline constexpr int32_t kReach = 1 << 29;

// A one-pixel line from a to b without b: for each step along the major
// axis, the pixel nearest the exact line, ties toward the smaller minor
// coordinate.  `phase` counts pattern steps along a polyline; the line adds
// its length to it.
void line(Point a, Point b, const DashPattern* pattern, int64_t* phase, const Box& clip,
          Sink& sink);

// A filled polygon: pixel (x, y) is inside when the point (x, y) is, with
// left and top edges in and right and bottom edges out; alternate or
// winding rule.
void polygon(const Point* points, int count, bool winding, const Box& clip, Sink& sink);

// Where anti-aliased coverage goes: for row y, `count` pixels from x0, each
// covered `cover[i]` of `full`.
class CoverageSink {
 public:
  virtual ~CoverageSink() = default;
  virtual void coverage(int y, int x0, const uint8_t* cover, int count, int full) = 0;
};

// The same polygon anti-aliased: each pixel, the square around its point,
// sampled 4 x 4 times.  Linear in the edges and the rows for any shape (the
// smooth mode's path for polygons of very many points).
void polygon_coverage(const Point* points, int count, bool winding, const Box& clip,
                      CoverageSink& sink);

// Where a radial point of an arc, chord or pie points (y down).
struct Direction {
  double x, y;
};

// The direction of radial point p for the figure with corners a and b, as
// GDI takes it: from the corners' middle in whole pixels, ((left + right) /
// 2, (top + bottom) / 2) rounded down, and east when p is that very point.
Direction radial_direction(Point a, Point b, Point p);

// An ellipse inside the pixels x0..x1, y0..y1 of its box: the region covered
// by the pixels nearest to its curve, column by column and row by row, and
// everything between them.  Its outline is the region's edge: the pixels
// with a neighbour (left, right, above, below) outside.
class Ellipse {
 public:
  explicit Ellipse(const Box& box);
  bool empty() const { return empty_; }
  const Box& box() const { return box_; }
  double centre_x() const { return cx_; }
  double centre_y() const { return cy_; }
  // The span of row y; false when the row is outside.
  bool row(int y, int* left, int* right) const;
  // The pixel where the ray from the centre in direction d leaves the curve.
  Point radial_point(Direction d) const;

 private:
  Box box_;
  bool empty_;
  double cx_, cy_, a_, b_;
  std::vector<int> left_;  // per row of the box's upper half
};

// A rounded rectangle: the box with quarter ellipses of corner_w x corner_h
// pixels at its corners; outline as for an ellipse.
class RoundRect {
 public:
  RoundRect(const Box& box, int corner_w, int corner_h);
  bool row(int y, int* left, int* right) const;

 private:
  Box box_;
  Ellipse corner_;
  double zone_x_, zone_y_;
};

// Spans of a region given by a row function, clipped.
template <typename Region>
void region_spans(const Region& r, const Box& bounds, const Box& clip, Sink& sink) {
  const int y0 = bounds.y0 > clip.y0 ? bounds.y0 : clip.y0;
  const int y1 = bounds.y1 < clip.y1 ? bounds.y1 : clip.y1;
  for (int y = y0; y <= y1; ++y) {
    int l, rr;
    if (!r.row(y, &l, &rr)) continue;
    if (l < clip.x0) l = clip.x0;
    if (rr > clip.x1) rr = clip.x1;
    if (l <= rr) sink.span(y, l, rr);
  }
}

// The outline of a region given by its rows: the pixels of a row that the
// row above or the row below does not cover.  `keep(x, y)` selects among
// them (an arc keeps its sweep).
template <typename Region, typename Keep>
void outline_pixels(const Region& r, const Box& bounds, const Box& clip, Keep keep, Sink& sink) {
  const int y0 = bounds.y0 > clip.y0 ? bounds.y0 : clip.y0;
  const int y1 = bounds.y1 < clip.y1 ? bounds.y1 : clip.y1;
  auto run = [&](int y, int from, int to) {
    if (from < clip.x0) from = clip.x0;
    if (to > clip.x1) to = clip.x1;
    for (int x = from; x <= to; ++x) {
      if (keep(x, y)) sink.span(y, x, x);
    }
  };
  for (int y = y0; y <= y1; ++y) {
    int l, rr, la, ra, lb, rb;
    if (!r.row(y, &l, &rr)) continue;
    if (!r.row(y - 1, &la, &ra) || !r.row(y + 1, &lb, &rb)) {
      run(y, l, rr);
      continue;
    }
    const int left_end = (la > lb ? la : lb) - 1;
    const int right_start = (ra < rb ? ra : rb) + 1;
    if (left_end + 1 >= right_start) {
      run(y, l, rr);
    } else {
      run(y, l, left_end > l ? left_end : l);
      run(y, right_start < rr ? right_start : rr, rr);
    }
  }
}

// Counter-clockwise on screen from direction `from` to direction `to` (seen
// from the centre): whether direction `p` lies on that sweep.  Equal
// directions sweep the whole turn.
class Sweep {
 public:
  Sweep(double cx, double cy, Direction from, Direction to);
  bool contains(double x, double y) const;
  // The direction halfway along the sweep (radians, y up).
  double middle_angle() const { return start_ + extent_ / 2; }

 private:
  double cx_, cy_, start_, extent_;
};

}  // namespace lumo::server::pixels

#endif
