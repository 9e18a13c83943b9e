// The cairo canvas's figures at sub-pixel positions.  Smooth pens draw them
// where they lie, through the same anti-aliased paths as whole-pixel
// figures (continuous position v where pixel v is centred, v + 0.5); the
// exact modes, which follow the pixel rules, draw them at whole pixels.
#include <algorithm>
#include <cmath>

#include "server/canvas/cairo_arc_parts.h"
#include "server/canvas/cairo_canvas.h"
#include "server/canvas/cairo_figure_parts.h"

namespace lumo::server {
namespace {

using arc_parts::kPi;
constexpr double kLimit = 1 << 20;  // closed figures' coordinates beyond this are clamped
constexpr double kReach = pixels::kReach;

double value(int32_t v) { return static_cast<double>(v) / wire::kSubpixelScale; }
double near(double v) { return std::clamp(v, -kLimit, kLimit); }

// The box of a closed figure between two corners (the pixels from the
// first up to the one before the second, as the whole-pixel figures).
struct BoxF {
  double x0, y0, x1, y1;
};

BoxF box_of(double ax, double ay, double bx, double by, const Pen& pen) {
  const double inset = pen.style == kInsideFrame ? std::clamp(pen.width, 1, 1000) / 2 : 0;
  return {near(std::min(ax, bx) + inset), near(std::min(ay, by) + inset),
          near(std::max(ax, bx) - 1 - inset), near(std::max(ay, by) - 1 - inset)};
}

}  // namespace

CairoCanvas::DevicePoint CairoCanvas::sub_device(SubPoint p) const {
  return sub_device(p, transformed_, offset_, transform_);
}

CairoCanvas::DevicePoint CairoCanvas::sub_device(SubPoint p, bool transformed, Point offset, const Transform& t) {
  double x = value(p.x), y = value(p.y);
  if (transformed) {
    t.apply(&x, &y);
  } else {
    x += offset.x;
    y += offset.y;
  }
  return {std::clamp(x, -kReach, kReach), std::clamp(y, -kReach, kReach)};
}

CairoCanvas::DevicePoint CairoCanvas::sub_user(SubPoint p) const {
  if (transformed_) return {value(p.x), value(p.y)};
  return sub_device(p);
}

void CairoCanvas::line_at(const Pen& pen, SubPoint a, SubPoint b) {
  const SubPoint p[2] = {a, b};
  polyline_at(pen, p, 2);
}

void CairoCanvas::polyline_at(const Pen& pen, const SubPoint* p, int count) {
  if (exact_here(pen)) {
    Canvas::polyline_at(pen, p, count);
    return;
  }
  stroke_sub_points(pen, p, count, false);
}

// As take_polyline.
void CairoCanvas::take_polyline_at(const Pen& pen, std::vector<SubPoint>* points) {
  const size_t count = points->size();
  if (count <= kPointsTakenAtOnce || pen.style == kInvisible || exact_here(pen)) {
    polyline_at(pen, points->data(), static_cast<int>(count));
    return;
  }
  finish();
  StrokeJob& job = new_stroke_job(pen, false, count);
  job.given_at = std::move(*points);
  points->clear();
  start_stroke_job();
}

// As stroke_points in the smooth mode: a solid one-pixel line is gathered,
// every other outline stroked.
void CairoCanvas::stroke_sub_points(const Pen& pen, const SubPoint* p, int count, bool closed) {
  if (pen.style == kInvisible || count < 2) return;
  if (count == 2 && !closed && !vector_ && pen.style == kSolid && pen_width(pen) == 1) {
    const DevicePoint a = sub_device(p[0]), b = sub_device(p[1]);
    if (a.x != b.x || a.y != b.y) {
      queue_line((static_cast<uint32_t>(pen.colour.r) << 16) | (pen.colour.g << 8) | pen.colour.b, a, b);
      return;
    }
  }
  std::vector<DevicePoint> d(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) d[static_cast<size_t>(i)] = sub_device(p[i]);
  finish();
  smooth_polyline(pen, std::move(d), closed);
}

void CairoCanvas::polygon_at(const Pen& pen, const Brush& brush, const SubPoint* p, int count,
                             bool winding) {
  if (exact_here(pen)) {
    Canvas::polygon_at(pen, brush, p, count, winding);
    return;
  }
  finish();
  if (count < 2) return;
  if (brush.style != kBrushHollow && count >= 3) {
    cairo_new_path(cr_);
    cairo_identity_matrix(cr_);
    cairo_set_fill_rule(cr_, winding ? CAIRO_FILL_RULE_WINDING : CAIRO_FILL_RULE_EVEN_ODD);
    for (int i = 0; i < count; ++i) {
      const DevicePoint d = sub_device(p[i]);
      if (i == 0) {
        cairo_move_to(cr_, near(d.x) + 0.5, near(d.y) + 0.5);
      } else {
        cairo_line_to(cr_, near(d.x) + 0.5, near(d.y) + 0.5);
      }
    }
    cairo_close_path(cr_);
    set_source(pen, brush);
    fill_path(brush, false);
  }
  stroke_sub_points(pen, p, count, true);
}

void CairoCanvas::bezier_at(const Pen& pen, const SubPoint* p, int count) {
  if (exact_here(pen)) {
    Canvas::bezier_at(pen, p, count);
    return;
  }
  finish();
  if (count < 4 || pen.style == kInvisible) return;
  const int cubics = (count - 1) / 3;
  begin();
  cairo_identity_matrix(cr_);
  auto at = [&](int i) {
    const DevicePoint d = sub_device(p[i]);
    return DevicePoint{near(d.x) + 0.5, near(d.y) + 0.5};
  };
  const DevicePoint first = at(0);
  cairo_move_to(cr_, first.x, first.y);
  for (int i = 1; i + 2 <= 3 * cubics; i += 3) {
    const DevicePoint c1 = at(i), c2 = at(i + 1), e = at(i + 2);
    cairo_curve_to(cr_, c1.x, c1.y, c2.x, c2.y, e.x, e.y);
  }
  stroke(pen);
}

void CairoCanvas::ellipse_at(const Pen& pen, const Brush& brush, SubPoint a, SubPoint b) {
  const DevicePoint pa = sub_user(a), pb = sub_user(b);
  const BoxF box = box_of(pa.x, pa.y, pb.x, pb.y, pen);
  // Too small to anti-aliase, or not smooth: the pixel rules at whole pixels.
  if (exact_here(pen) || box.x1 - box.x0 < 2 || box.y1 - box.y0 < 2) {
    Canvas::ellipse_at(pen, brush, a, b);
    return;
  }
  finish();
  begin();
  cairo_save(cr_);
  cairo_translate(cr_, (box.x0 + box.x1) / 2 + 0.5, (box.y0 + box.y1) / 2 + 0.5);
  cairo_scale(cr_, (box.x1 - box.x0) / 2, (box.y1 - box.y0) / 2);
  cairo_arc(cr_, 0, 0, 1, 0, 2 * kPi);
  cairo_restore(cr_);
  cairo_close_path(cr_);
  fill_and_stroke(pen, brush);
}

void CairoCanvas::arc_at(ArcKind kind, const Pen& pen, const Brush& brush, SubPoint a, SubPoint b,
                         SubPoint start, SubPoint end) {
  const DevicePoint pa = sub_user(a), pb = sub_user(b);
  const BoxF box = box_of(pa.x, pa.y, pb.x, pb.y, pen);
  if (exact_here(pen) || box.x1 - box.x0 < 2 || box.y1 - box.y0 < 2) {
    Canvas::arc_at(kind, pen, brush, a, b, start, end);
    return;
  }
  finish();
  const DevicePoint s = sub_user(start), e = sub_user(end);
  begin();
  const double pcx = (box.x0 + box.x1) / 2 + 0.5, pcy = (box.y0 + box.y1) / 2 + 0.5;
  const double rx = (box.x1 - box.x0) / 2, ry = (box.y1 - box.y0) / 2;
  // A radial point's direction as the whole-pixel figures take it: from the
  // middle of the corners' whole pixels rounded down to a whole pixel, east
  // from that very point; moved with the corners' own fractions, so a figure
  // moved as a whole keeps its directions.
  auto middle = [](double u, double v) {
    const double wu = std::floor(u + 0.5), wv = std::floor(v + 0.5);
    return std::floor((wu + wv) / 2) + ((u - wu) + (v - wv)) / 2;
  };
  const double mx = middle(pa.x, pb.x), my = middle(pa.y, pb.y);
  auto angle = [&](DevicePoint p) {
    const double dx = p.x - mx, dy = p.y - my;
    return dx == 0 && dy == 0 ? 0.0 : std::atan2(dy / ry, dx / rx);
  };
  arc_parts::arc_path(cr_, kind, pcx, pcy, rx, ry, angle(s), angle(e));
  if (kind == ArcKind::kArc) {
    stroke(pen);
    return;
  }
  cairo_close_path(cr_);
  fill_and_stroke(pen, brush);
}

void CairoCanvas::text_at(const Font& font, SubPoint at, const std::string& text) {
  const DevicePoint p = sub_user(at);
  draw_text(font, p.x, p.y, text, !on_whole_pixels(&at, 1));
}

}  // namespace lumo::server
