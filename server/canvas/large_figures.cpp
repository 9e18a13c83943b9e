#include "server/canvas/large_figures.h"

#include <algorithm>
#include <cmath>

namespace lumo::server::pixels {
namespace {

constexpr double kPi = 3.14159265358979323846;

int round_half_up(double v) { return static_cast<int>(std::floor(v + 0.5)); }
double clamp_reach(double v) { return std::clamp(v, -static_cast<double>(kReach), static_cast<double>(kReach)); }

// 1 - v * v without losing the small differences near the curve's ends.
double one_less_square(double v) { return std::max(0.0, (1 - v) * (1 + v)); }

// Counter-clockwise on screen from direction (fx, fy) to (tx, ty) (y down);
// equal directions sweep the whole turn.
class Turn {
 public:
  Turn(double fx, double fy, double tx, double ty) {
    start_ = std::atan2(-fy, fx);
    extent_ = std::atan2(-ty, tx) - start_;
    while (extent_ <= 0) extent_ += 2 * kPi;
  }
  bool contains(double dx, double dy) const {
    if (dx == 0 && dy == 0) return true;
    double d = std::atan2(-dy, dx) - start_;
    while (d < 0) d += 2 * kPi;
    while (d >= 2 * kPi) d -= 2 * kPi;
    return d <= extent_ + 1e-9;
  }
  double start() const { return start_; }
  double middle() const { return start_ + extent_ / 2; }

 private:
  double start_, extent_;
};

// A segment clipped to the box with a margin, its ends rounded: false when
// nothing of it comes near.
bool near_segment(double ax, double ay, double bx, double by, const Box& clip, double margin, Point* a,
                  Point* b) {
  if (!clip_segment(&ax, &ay, &bx, &by, clip.x0 - margin, clip.y0 - margin, clip.x1 + margin,
                    clip.y1 + margin)) {
    return false;
  }
  *a = {round_half_up(ax), round_half_up(ay)};
  *b = {round_half_up(bx), round_half_up(by)};
  return true;
}

}  // namespace

LargeEllipse::LargeEllipse(double x0, double y0, double x1, double y1)
    : x0_(x0), y0_(y0), x1_(x1), y1_(y1) {
  cx_ = (x0 + x1) / 2;
  cy_ = (y0 + y1) / 2;
  a_ = (x1 - x0) / 2;
  b_ = (y1 - y0) / 2;
}

LargeEllipse::LargeEllipse(double x0, double y0, double x1, double y1, const Transform& t)
    : general_(true), lx0_(x0), ly0_(y0), lx1_(x1), ly1_(y1), t_(t) {
  const double lcx = (x0 + x1) / 2, lcy = (y0 + y1) / 2;
  const double la = std::max(0.5, (x1 - x0) / 2), lb = std::max(0.5, (y1 - y0) / 2);
  cx_ = lcx;
  cy_ = lcy;
  t.apply(&cx_, &cy_);
  // Surface to logical: the inverse of the linear part, then the unit circle.
  const double det = t.m11 * t.m22 - t.m12 * t.m21;
  const double i11 = t.m22 / det, i21 = -t.m21 / det, i12 = -t.m12 / det, i22 = t.m11 / det;
  // logical x = i11 (X - cx) + i21 (Y - cy) + lcx; y = i12 (X - cx) + i22 (Y - cy) + lcy
  g_[0] = i11 / la;
  g_[1] = i21 / la;
  g_[2] = -(i11 * cx_ + i21 * cy_) / la;
  g_[3] = i12 / lb;
  g_[4] = i22 / lb;
  g_[5] = -(i12 * cx_ + i22 * cy_) / lb;
  reach_x_ = std::hypot(t.m11 * la, t.m21 * lb);
  reach_y_ = std::hypot(t.m12 * la, t.m22 * lb);
}

Box LargeEllipse::bounds() const {
  if (!general_) {
    return {static_cast<int>(clamp_reach(x0_)), static_cast<int>(clamp_reach(y0_)),
            static_cast<int>(clamp_reach(x1_)), static_cast<int>(clamp_reach(y1_))};
  }
  return {static_cast<int>(clamp_reach(std::floor(cx_ - reach_x_))),
          static_cast<int>(clamp_reach(std::floor(cy_ - reach_y_))),
          static_cast<int>(clamp_reach(std::ceil(cx_ + reach_x_))),
          static_cast<int>(clamp_reach(std::ceil(cy_ + reach_y_)))};
}

bool LargeEllipse::row(int y, int* left, int* right) const {
  if (general_) {
    // The row's points X, through the unit circle: (u0 + X ux, v0 + X vx).
    const double ux = g_[0], vx = g_[3];
    const double u0 = g_[1] * y + g_[2], v0 = g_[4] * y + g_[5];
    const double qa = ux * ux + vx * vx, qb = u0 * ux + v0 * vx, qc = u0 * u0 + v0 * v0 - 1;
    const double d = qb * qb - qa * qc;
    if (d < 0 || qa == 0) return false;
    const double root = std::sqrt(d);
    const double from = std::ceil(clamp_reach((-qb - root) / qa));
    const double to = std::floor(clamp_reach((-qb + root) / qa));
    if (from > to) return false;
    *left = static_cast<int>(from);
    *right = static_cast<int>(to);
    return true;
  }
  if (y < y0_ || y > y1_ || x1_ < x0_) return false;
  if (a_ == 0 || b_ == 0) {  // a line of pixels
    *left = static_cast<int>(clamp_reach(x0_));
    *right = static_cast<int>(clamp_reach(x1_));
    return true;
  }
  // The upper half's row; the lower half mirrors it.  As in Ellipse: the
  // pixels nearest the curve row by row, and column by column (a column
  // reaches the rows from its curve row down to the middle).
  const double yu = y0_ + std::min(y - y0_, y1_ - y);
  double left_at = std::ceil(cx_ - a_ * std::sqrt(one_less_square((cy_ - yu) / b_)) - 0.5);
  // The first column whose curve row (halves rounded outward) is yu or above.
  auto reaches = [&](double x) {
    const double u = (cx_ - x) / a_;
    const double half = b_ * std::sqrt(std::max(0.0, 1 - u * u));
    return std::ceil(cy_ - half - 0.5) <= yu;
  };
  const double d = cy_ - yu - 0.5;
  double column = d <= 0 ? x0_ : (d > b_ ? x1_ + 1 : std::ceil(cx_ - a_ * std::sqrt(one_less_square(d / b_))));
  column = std::max(column, x0_);
  for (int k = 0; k < 4 && column - 1 >= x0_ && reaches(column - 1); ++k) column -= 1;
  for (int k = 0; k < 4 && column <= cx_ && !reaches(column); ++k) column += 1;
  if (column <= cx_ && reaches(column)) left_at = std::min(left_at, column);
  const double right_at = x0_ + x1_ - left_at;
  if (left_at > right_at) return false;
  *left = static_cast<int>(clamp_reach(left_at));
  *right = static_cast<int>(clamp_reach(right_at));
  return true;
}

double LargeEllipse::ray_to_curve(double dx, double dy) const {
  double u, v;
  if (general_) {
    u = g_[0] * dx + g_[1] * dy;
    v = g_[3] * dx + g_[4] * dy;
  } else {
    u = a_ > 0 ? dx / a_ : 0;
    v = b_ > 0 ? dy / b_ : 0;
  }
  const double n = std::hypot(u, v);
  return n > 0 ? 1 / n : 0;
}

LargeEllipse LargeEllipse::grown(double by) const {
  if (!general_) return LargeEllipse(x0_ - by, y0_ - by, x1_ + by, y1_ + by);
  const double s = std::max(t_.scale(), 1e-9);
  return LargeEllipse(lx0_ - by / s, ly0_ - by / s, lx1_ + by / s, ly1_ + by / s, t_);
}

void draw_large(uint32_t* surface, int width, int height, const LargeFigure& f, const Pen& pen,
                const Brush& brush, const Transform* t) {
  const Box clip{0, 0, width - 1, height - 1};
  const double lx0 = static_cast<double>(std::min(f.x1, f.x2)), lx1 = static_cast<double>(std::max(f.x1, f.x2));
  const double ly0 = static_cast<double>(std::min(f.y1, f.y2)), ly1 = static_cast<double>(std::max(f.y1, f.y2));
  if (lx1 <= lx0 || ly1 <= ly0) return;
  const bool turned = t && (t->m12 != 0 || t->m21 != 0);
  LargeEllipse shape(0, 0, 0, 0);
  if (turned) {
    shape = LargeEllipse(lx0, ly0, lx1 - 1, ly1 - 1, *t);
  } else {
    double ax = lx0, ay = ly0, bx = lx1, by = ly1;
    if (t) {
      t->apply(&ax, &ay);
      t->apply(&bx, &by);
      ax = std::round(ax), ay = std::round(ay), bx = std::round(bx), by = std::round(by);
    }
    shape = LargeEllipse(std::min(ax, bx), std::min(ay, by), std::max(ax, bx) - 1, std::max(ay, by) - 1);
  }
  const double cx = shape.centre_x(), cy = shape.centre_y();
  // The directions of the start and end seen from the centre, on the
  // surface; a mirroring transformation turns the sweep round.
  const double lcx = (lx0 + lx1 - 1) / 2, lcy = (ly0 + ly1 - 1) / 2;
  double fx = static_cast<double>(f.sx) - lcx, fy = static_cast<double>(f.sy) - lcy;
  double tx = static_cast<double>(f.ex) - lcx, ty = static_cast<double>(f.ey) - lcy;
  if (fx == 0 && fy == 0) fx = 1;
  if (tx == 0 && ty == 0) tx = 1;
  if (t) {
    const double u = fx, v = fy, p = tx, q = ty;
    fx = t->m11 * u + t->m21 * v;
    fy = t->m12 * u + t->m22 * v;
    tx = t->m11 * p + t->m21 * q;
    ty = t->m12 * p + t->m22 * q;
    if (t->m11 * t->m22 - t->m12 * t->m21 < 0) {
      std::swap(fx, tx);
      std::swap(fy, ty);
    }
  }
  const Turn sweep(fx, fy, tx, ty);
  const double rf = shape.ray_to_curve(fx, fy), rt = shape.ray_to_curve(tx, ty);
  const double from_x = cx + rf * fx, from_y = cy + rf * fy, to_x = cx + rt * tx, to_y = cy + rt * ty;
  const Point to{round_half_up(clamp_reach(to_x)), round_half_up(clamp_reach(to_y))};
  // A chord's inside lies on the arc's side of the line between its ends.
  const double chord_x = to_x - from_x, chord_y = to_y - from_y;
  auto side = [&](double x, double y) { return chord_x * (y - from_y) - chord_y * (x - from_x); };
  const double arc_side = side(cx + std::cos(sweep.middle()), cy - std::sin(sweep.middle()));
  auto in_figure = [&](int x, int y) {
    if (f.whole) return true;
    if (f.kind == ArcKind::kPie) return sweep.contains(x - cx, y - cy);
    const double s = side(x, y);
    return s == 0 || (s > 0) == (arc_side > 0);
  };
  const Box bounds = shape.bounds();
  const Box seen{std::max(bounds.x0, clip.x0 - 1), std::max(bounds.y0, clip.y0 - 1),
                 std::min(bounds.x1, clip.x1 + 1), std::min(bounds.y1, clip.y1 + 1)};
  if (seen.x0 > seen.x1 || seen.y0 > seen.y1) return;
  if (brush.style != kBrushHollow && (f.whole || f.kind != ArcKind::kArc)) {
    Painter painter(surface, width, pen.blend, brush.colour, brush.style == kBrushHatched ? brush.hatch : -1,
                    brush.style == kBrushHalf);
    for (int y = std::max(seen.y0, 0); y <= std::min(seen.y1, clip.y1); ++y) {
      int l, r;
      if (!shape.row(y, &l, &r)) continue;
      l = std::max(l, 0);
      r = std::min(r, clip.x1);
      for (int x = l; x <= r; ++x) {
        int run = x;
        if (!in_figure(x, y)) continue;
        while (run + 1 <= r && in_figure(run + 1, y)) ++run;
        painter.span(y, x, run);
        x = run;
      }
    }
  }
  if (pen.style == kInvisible) return;
  Painter ink(surface, width, pen.blend, pen.colour);
  const int pen_width = std::clamp(pen.width, 1, 1000);
  auto on_arc = [&](int x, int y) {
    return f.whole || (sweep.contains(x - cx, y - cy) && !(x == to.x && y == to.y));
  };
  const DashPattern* pattern = dash_pattern(pen.style, pen_width);
  int64_t phase = 0;
  if (pen_width > 1) {
    // Wide: the pixels between the ellipse grown and shrunk by half the pen.
    const LargeEllipse outer = shape.grown(pen_width / 2), inner = shape.grown(-((pen_width - 1) / 2) - 1);
    for (int y = 0; y <= clip.y1; ++y) {
      int l, r, il = 1, ir = 0;
      if (!outer.row(y, &l, &r)) continue;
      if (!inner.row(y, &il, &ir)) il = 1, ir = 0;
      for (int x = std::max(l, 0); x <= std::min(r, clip.x1); ++x) {
        if ((x < il || x > ir) && on_arc(x, y)) ink.span(y, x, x);
      }
    }
  } else if (pattern) {
    const double start = f.whole ? 0 : sweep.start();
    phase = dash_along_curve(
        [&](auto visit) {
          VisitSink<decltype(visit)> each(visit);
          outline_pixels(shape, seen, clip, on_arc, each);
        },
        cx, cy, start, pattern, 0, clip, false, ink);
  } else {
    outline_pixels(shape, seen, clip, on_arc, ink);
  }
  if (f.whole || f.kind == ArcKind::kArc) return;
  // The lines from the arc's end: to the centre and back to its start for
  // a pie, straight back to its start for a chord.
  const double margin = pen_width + 2;
  auto stroke = [&](double ax, double ay, double bx, double by) {
    Point a, b;
    if (!near_segment(ax, ay, bx, by, clip, margin, &a, &b)) return;
    if (pen_width == 1) {
      line(a, b, pattern, &phase, clip, ink);
      return;
    }
    // A wide line: the band along it.
    const double dx = b.x - a.x, dy = b.y - a.y, n = std::hypot(dx, dy);
    if (n == 0) return;
    const double ox = -dy / n * pen_width / 2, oy = dx / n * pen_width / 2;
    const Point band[4] = {{round_half_up(a.x + ox), round_half_up(a.y + oy)},
                           {round_half_up(b.x + ox), round_half_up(b.y + oy)},
                           {round_half_up(b.x - ox), round_half_up(b.y - oy)},
                           {round_half_up(a.x - ox), round_half_up(a.y - oy)}};
    polygon(band, 4, true, clip, ink);
  };
  if (f.kind == ArcKind::kPie) {
    stroke(to_x, to_y, cx, cy);
    stroke(cx, cy, from_x, from_y);
  } else {
    stroke(to_x, to_y, from_x, from_y);
  }
}

}  // namespace lumo::server::pixels
