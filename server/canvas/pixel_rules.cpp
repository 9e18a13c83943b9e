#include "server/canvas/pixel_rules.h"

#include "server/canvas/coverage_fill.h"
#include "server/canvas/polygon_fill.h"

#include <algorithm>
#include <cmath>

namespace lumo::server::pixels {
namespace {

// GDI's cosmetic pen styles in pixels (its style unit is three pixels);
// long dash and dash-dash-dot are user styles in the same unit.
constexpr DashPattern kDashRuns{2, {18, 6}};
constexpr DashPattern kDotRuns{2, {3, 3}};
constexpr DashPattern kDashDotRuns{4, {9, 6, 3, 6}};
constexpr DashPattern kDashDotDotRuns{6, {9, 3, 3, 3, 3, 3}};
constexpr DashPattern kLongDashRuns{2, {36, 12}};
constexpr DashPattern kFineDotRuns{2, {1, 1}};
constexpr DashPattern kDashDashDotRuns{6, {18, 6, 18, 6, 3, 6}};

int32_t pull_in(int32_t v) { return std::clamp(v, -kReach, kReach); }

int64_t floor_div(int64_t p, int64_t q) {  // q > 0
  return p >= 0 ? p / q : -((-p + q - 1) / q);
}

int64_t ceil_div(int64_t p, int64_t q) { return -floor_div(-p, q); }  // q > 0

constexpr double kPi = 3.14159265358979323846;

// Rounds halves up (toward larger values), or down.
int round_half_up(double v) { return static_cast<int>(std::floor(v + 0.5)); }
int round_half_out(double v) { return static_cast<int>(std::ceil(v - 0.5)); }

}  // namespace

const DashPattern* dash_pattern(int style, int width) {
  if (width > 1) return nullptr;
  switch (style) {
    case kDash: return &kDashRuns;
    case kDot: return &kDotRuns;
    case kDashDot: return &kDashDotRuns;
    case kDashDotDot: return &kDashDotDotRuns;
    case kLongDash: return &kLongDashRuns;
    case kFineDot: return &kFineDotRuns;
    case kDashDashDot: return &kDashDashDotRuns;
    default: return nullptr;
  }
}

bool dash_on(const DashPattern* pattern, int64_t steps) {
  if (!pattern) return true;
  int period = 0;
  for (int i = 0; i < pattern->count; ++i) period += pattern->runs[i];
  int64_t at = steps % period;
  if (at < 0) at += period;
  for (int i = 0; i < pattern->count; ++i) {
    if (at < pattern->runs[i]) return i % 2 == 0;
    at -= pattern->runs[i];
  }
  return false;
}

bool whole_pixel_move(const Transform& t) {
  return t.m11 == 1 && t.m12 == 0 && t.m21 == 0 && t.m22 == 1 && t.dx == std::floor(t.dx) &&
         t.dy == std::floor(t.dy) && std::fabs(t.dx) < kReach && std::fabs(t.dy) < kReach;
}

Point device_point(Point p, bool transformed, Point offset, const Transform& t) {
  const double reach = kReach;
  if (!transformed) {
    return {static_cast<int32_t>(std::clamp<double>(static_cast<double>(p.x) + offset.x, -reach, reach)),
            static_cast<int32_t>(std::clamp<double>(static_cast<double>(p.y) + offset.y, -reach, reach))};
  }
  double x = p.x, y = p.y;
  t.apply(&x, &y);
  return {static_cast<int32_t>(std::lround(std::clamp(x, -reach, reach))),
          static_cast<int32_t>(std::lround(std::clamp(y, -reach, reach)))};
}

Box figure_box(Point a, Point b, const Pen& pen) {
  static constexpr int64_t kLimit = 1 << 20;  // as the canvases clamp closed figures
  auto near = [](int64_t v) { return static_cast<int>(std::clamp<int64_t>(v, -kLimit, kLimit)); };
  const int64_t inset = pen.style == kInsideFrame ? std::clamp(pen.width, 1, 1000) / 2 : 0;
  return {near(int64_t{std::min(a.x, b.x)} + inset), near(int64_t{std::min(a.y, b.y)} + inset),
          near(int64_t{std::max(a.x, b.x)} - 1 - inset), near(int64_t{std::max(a.y, b.y)} - 1 - inset)};
}

bool clip_segment(double* px, double* py, double* qx, double* qy, double lo_x, double lo_y,
                  double hi_x, double hi_y) {
  double t0 = 0, t1 = 1;
  const double dx = *qx - *px, dy = *qy - *py;
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {*px - lo_x, hi_x - *px, *py - lo_y, hi_y - *py};
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0) {
      if (q[i] < 0) return false;
      continue;
    }
    const double t = q[i] / p[i];
    if (p[i] < 0) {
      t0 = std::max(t0, t);
    } else {
      t1 = std::min(t1, t);
    }
    if (t0 > t1) return false;
  }
  const double x = *px, y = *py;
  *px = x + t0 * dx;
  *py = y + t0 * dy;
  *qx = x + t1 * dx;
  *qy = y + t1 * dy;
  return true;
}

bool hatch_bit(int hatch, int x, int y) {
  const int u = x & 7, v = y & 7;
  switch (hatch) {
    case 0: return v == 3;
    case 1: return u == 4;
    case 2: return u == v;
    case 3: return ((u + v) & 7) == 7;
    case 4: return v == 3 || u == 4;
    default: return u == v || ((u + v) & 7) == 7;
  }
}

Painter::Painter(uint32_t* pixels, int stride_pixels, Blend blend, Rgb colour, int hatch, bool half)
    : pixels_(pixels),
      stride_(stride_pixels),
      blend_(blend),
      colour_((static_cast<uint32_t>(colour.r) << 16) | (colour.g << 8) | colour.b),
      hatch_(hatch),
      half_(half) {}

void Painter::span(int y, int x0, int x1) {
  uint32_t* row = pixels_ + static_cast<size_t>(y) * stride_;
  for (int x = x0; x <= x1; ++x) {
    if (hatch_ >= 0 && !hatch_bit(hatch_, x, y)) continue;
    uint32_t& p = row[x];
    switch (blend_) {
      case Blend::kBlack: p = 0; break;
      case Blend::kWhite: p = 0xFFFFFF; break;
      case Blend::kInvert: p = ~p & 0xFFFFFF; break;
      case Blend::kXor: p = (p ^ colour_) & 0xFFFFFF; break;
      default:
        if (half_) {
          // Half the colour over half of what is there, channel by channel.
          p = (((p & 0xFEFEFE) >> 1) + ((colour_ & 0xFEFEFE) >> 1) + (p & colour_ & 0x010101));
        } else {
          p = colour_;
        }
        break;
    }
  }
}

void line(Point a, Point b, const DashPattern* pattern, int64_t* phase, const Box& clip,
          Sink& sink) {
  const int64_t x1 = pull_in(a.x), y1 = pull_in(a.y), x2 = pull_in(b.x), y2 = pull_in(b.y);
  const int64_t dx = x2 - x1, dy = y2 - y1;
  const int64_t length = std::max(std::llabs(dx), std::llabs(dy));
  const int64_t start = *phase;
  *phase += length;
  if (length == 0) return;
  const bool x_major = std::llabs(dx) >= std::llabs(dy);
  const int64_t from = x_major ? x1 : y1;
  const int64_t to = x_major ? x2 : y2;
  const int64_t step = to > from ? 1 : -1;
  // Only the steps whose major coordinate falls inside the clip box.
  const int64_t lo_clip = x_major ? clip.x0 : clip.y0;
  const int64_t hi_clip = x_major ? clip.x1 : clip.y1;
  int64_t first = step > 0 ? std::max(from, lo_clip) : std::min(from, hi_clip);
  int64_t last = step > 0 ? std::min(to - 1, hi_clip) : std::max(to + 1, lo_clip);
  if ((last - first) * step < 0) return;
  // The minor coordinate of step t (t = |m - from|) is minor0 + ceil(N / D)
  // with N = 2 t d - L and D = 2 L (d the signed minor delta, L the length):
  // the nearest to the line, halves down.  It is computed once at the first
  // visible step and then carried along with its remainder.
  const int64_t d = x_major ? dy : dx, minor0 = x_major ? y1 : x1, D = 2 * length;
  int64_t t = (first - from) * step;
  int64_t N = 2 * t * d - length;
  int64_t q = ceil_div(N, D);
  int64_t rem = q * D - N;  // in [0, D)
  for (int64_t m = first;; m += step) {
    const int64_t minor = minor0 + q;
    const int64_t x = x_major ? m : minor, y = x_major ? minor : m;
    if (x >= clip.x0 && x <= clip.x1 && y >= clip.y0 && y <= clip.y1 &&
        (!pattern || dash_on(pattern, start + t))) {
      sink.span(static_cast<int>(y), static_cast<int>(x), static_cast<int>(x));
    }
    if (m == last) break;
    ++t;
    rem -= 2 * d;  // N grows by 2d, |2d| <= D
    if (rem < 0) {
      rem += D;
      ++q;
    } else if (rem >= D) {
      rem -= D;
      --q;
    }
  }
}

void polygon(const Point* points, int count, bool winding, const Box& clip, Sink& sink) {
  PolygonFill fill;
  fill.start(points, count, winding, clip);
  while (!fill.rows(sink, 1 << 30)) {
  }
}

void polygon_coverage(const Point* points, int count, bool winding, const Box& clip,
                      CoverageSink& sink) {
  CoverageFill fill;
  fill.start(points, count, winding, clip);
  while (!fill.rows(sink, 1 << 30)) {
  }
}

Ellipse::Ellipse(const Box& box) : box_(box) {
  empty_ = box.x1 < box.x0 || box.y1 < box.y0;
  cx_ = (static_cast<double>(box.x0) + box.x1) / 2;
  cy_ = (static_cast<double>(box.y0) + box.y1) / 2;
  a_ = (static_cast<double>(box.x1) - box.x0) / 2;
  b_ = (static_cast<double>(box.y1) - box.y0) / 2;
  if (empty_ || a_ == 0 || b_ == 0) return;
  // The upper half's rows; the lower half mirrors them.
  const int rows = static_cast<int>(std::floor(cy_)) - box.y0 + 1;
  left_.assign(static_cast<size_t>(rows), box.x1 + 1);
  // Nearest pixels row by row (the steep parts of the curve).  Halves round
  // outward, so the box's outermost rows and columns are always reached.
  for (int i = 0; i < rows; ++i) {
    const double v = (cy_ - (box.y0 + i)) / b_;
    const double half = a_ * std::sqrt(std::max(0.0, 1 - v * v));
    left_[static_cast<size_t>(i)] = std::min(left_[static_cast<size_t>(i)], round_half_out(cx_ - half));
  }
  // Nearest pixels column by column (the flat parts): column x reaches up to
  // its curve row, so every row from there down starts at x or left of it.
  int reached = rows;  // rows i >= reached already start at an earlier column
  for (int x = box.x0; x <= cx_ && reached > 0; ++x) {
    const double u = (cx_ - x) / a_;
    const double half = b_ * std::sqrt(std::max(0.0, 1 - u * u));
    const int top = std::max(round_half_out(cy_ - half) - box.y0, 0);
    for (int i = top; i < reached; ++i) {
      left_[static_cast<size_t>(i)] = std::min(left_[static_cast<size_t>(i)], x);
    }
    reached = std::min(reached, top);
  }
}

bool Ellipse::row(int y, int* left, int* right) const {
  if (empty_ || y < box_.y0 || y > box_.y1) return false;
  if (left_.empty()) {  // a line of pixels
    *left = box_.x0;
    *right = box_.x1;
    return true;
  }
  int i = y - box_.y0;
  const int mirrored = box_.y1 - y;
  if (mirrored < i) i = mirrored;
  *left = left_[static_cast<size_t>(i)];
  *right = box_.x0 + box_.x1 - *left;
  return *left <= *right;
}

Direction radial_direction(Point a, Point b, Point p) {
  const int64_t cx = floor_div(int64_t{a.x} + b.x, 2), cy = floor_div(int64_t{a.y} + b.y, 2);
  if (p.x == cx && p.y == cy) return {1, 0};
  return {static_cast<double>(p.x - cx), static_cast<double>(p.y - cy)};
}

Point Ellipse::radial_point(Direction d) const {
  const double dx = d.x, dy = d.y;
  if ((dx == 0 && dy == 0) || a_ == 0 || b_ == 0) {
    return {round_half_up(cx_ + a_), round_half_up(cy_)};
  }
  const double t = 1 / std::sqrt((dx / a_) * (dx / a_) + (dy / b_) * (dy / b_));
  return {round_half_up(cx_ + t * dx), round_half_up(cy_ + t * dy)};
}

RoundRect::RoundRect(const Box& box, int corner_w, int corner_h)
    : box_(box),
      corner_({box.x0, box.y0,
               box.x0 + static_cast<int>(std::min<int64_t>(std::llabs(corner_w), box.x1 - box.x0 + 1)) - 1,
               box.y0 + static_cast<int>(std::min<int64_t>(std::llabs(corner_h), box.y1 - box.y0 + 1)) - 1}) {
  zone_x_ = corner_.centre_x();
  zone_y_ = corner_.centre_y();
}

bool RoundRect::row(int y, int* left, int* right) const {
  if (box_.x1 < box_.x0 || y < box_.y0 || y > box_.y1) return false;
  const int my = std::min(y, box_.y0 + box_.y1 - y);
  int l = box_.x0;
  const Box& c = corner_.box();
  if (my < zone_y_ && c.x1 > c.x0 && c.y1 > c.y0 && !corner_.row(my, &l, right)) return false;
  if (l > zone_x_) l = static_cast<int>(std::ceil(zone_x_));
  *left = l;
  *right = box_.x0 + box_.x1 - l;
  return *left <= *right;
}

Sweep::Sweep(double cx, double cy, Direction from, Direction to) : cx_(cx), cy_(cy) {
  // Angles with y up: counter-clockwise on screen is increasing.
  start_ = std::atan2(-from.y, from.x);
  double end = std::atan2(-to.y, to.x);
  extent_ = end - start_;
  while (extent_ <= 0) extent_ += 2 * kPi;
}

bool Sweep::contains(double x, double y) const {
  if (x == cx_ && y == cy_) return true;
  double d = std::atan2(cy_ - y, x - cx_) - start_;
  while (d < 0) d += 2 * kPi;
  while (d >= 2 * kPi) d -= 2 * kPi;
  return d <= extent_ + 1e-9;
}

}  // namespace lumo::server::pixels
