// The cairo canvas's arcs, chords and pies.  In the crisp and raster modes,
// without a transformation, they follow the pixel rules exactly, their
// patterns walked along the outline as GDI walks them; anti-aliased ones run
// through pixel centres.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "server/canvas/cairo_arc_parts.h"
#include "server/canvas/cairo_canvas.h"
#include "server/canvas/cairo_figure_parts.h"
#include "server/canvas/large_figures.h"

namespace lumo::server {

using arc_parts::filter;
using arc_parts::GdiArcKey;
using arc_parts::kPi;

void CairoCanvas::arc(ArcKind kind, const Pen& pen, const Brush& brush, Point a, Point b,
                      Point start, Point end) {
  finish();
  pixels::Box box;
  if (!figure_box(pen, a, b, &box)) return;
  if (!transformed_) {
    a = to_device(a);
    b = to_device(b);
    start = to_device(start);
    end = to_device(end);
  }
  const pixels::Direction start_at = pixels::radial_direction(a, b, start);
  const pixels::Direction end_at = pixels::radial_direction(a, b, end);
  const pixels::Ellipse shape(box);
  const double cx = shape.centre_x(), cy = shape.centre_y();
  const pixels::Sweep sweep(cx, cy, start_at, end_at);
  const bool styled = pixels::dash_pattern(pen.style, pen_width(pen)) != nullptr;
  if (exact_here(pen, box) && !transformed_) {
    const Point from = shape.radial_point(start_at), to = shape.radial_point(end_at);
    const Point centre{static_cast<int32_t>(std::floor(cx + 0.5)),
                       static_cast<int32_t>(std::floor(cy + 0.5))};
    // A styled one-pixel outline is drawn as GDI draws it (below), from the
    // ends of the pixels GDI sweeps.
    const bool gdi_walk = pen_width(pen) == 1 && styled;
    const GdiArcKey key(box, start, end);
    auto swept = [&](int x, int y) {
      const double k = key(x, y);
      return k >= 0 && k < key.extent();
    };
    // In the walk's order (ties as dash_along_curve breaks them).
    auto earlier = [&](Point p, Point q) {
      const double kp = key(p.x, p.y), kq = key(q.x, q.y);
      return kp != kq ? kp < kq : (p.x != q.x ? p.x < q.x : p.y < q.y);
    };
    int64_t walked = 0;
    Point first = from, last = to;
    auto ends = [&](int x, int y) {
      const Point p{x, y};
      if (walked++ == 0) first = last = p;
      if (earlier(p, first)) first = p;
      if (earlier(last, p)) last = p;
    };
    if (gdi_walk) {
      pixels::VisitSink<decltype(ends)> ender(ends);
      pixels::outline_pixels(shape, box, box, swept, ender);
    }
    // GDI draws no chord over fewer than two outline pixels, nor its inside.
    if (gdi_walk && kind == ArcKind::kChord && walked < 2) return;
    // A chord's inside lies on the arc's side of the line between its ends.
    const Point chord_a = gdi_walk && walked > 0 ? first : from, chord_b = gdi_walk && walked > 0 ? last : to;
    const double ex = chord_b.x - chord_a.x, ey = chord_b.y - chord_a.y;
    auto side = [&](double x, double y) { return ex * (y - chord_a.y) - ey * (x - chord_a.x); };
    const double middle = gdi_walk ? key.middle_angle() : sweep.middle_angle();
    const double mx = gdi_walk ? key.middle().x : cx, my = gdi_walk ? key.middle().y : cy;
    const double reach = box.x1 - box.x0 + box.y1 - box.y0 + 2;
    const double arc_side = side(mx + std::cos(middle) * reach, my - std::sin(middle) * reach);
    auto in_figure = [&](int x, int y) {
      if (kind == ArcKind::kPie) return sweep.contains(x, y);
      const double s = side(x, y);
      return s == 0 || (s > 0) == (arc_side > 0);
    };
    if (kind != ArcKind::kArc && brush.style != kBrushHollow) {
      pixels::Painter painter = brush_painter(pen, brush);
      auto kept = filter(painter, in_figure);
      pixels::region_spans(shape, box, clip(), kept);
      end_pixels();
    }
    if (pen.style == kInvisible) return;
    if (gdi_walk) {
      // One walk of the pattern, as GDI draws the figure: a polyline
      // through the outline pixels from its start to its end, then (a pie)
      // to the centre and back to the start, or (a chord) straight back.
      // Its arc holds the pixels GDI sweeps, its first pixel the first at
      // or after the start direction, its last the last before the end
      // direction, which the arc leaves out and the straight lines start
      // from.
      pixels::Painter painter = pen_painter(pen);
      const pixels::DashPattern* pattern = pixels::dash_pattern(pen.style, 1);
      if (walked == 0) {
        end_pixels();
        return;
      }
      pixels::dash_along_curve(
          [&](auto visit) {
            pixels::VisitSink<decltype(visit)> each(visit);
            pixels::outline_pixels(
                shape, box, box, [&](int x, int y) { return swept(x, y) && !(x == last.x && y == last.y); },
                each);
          },
          key, pattern, 0, clip(), true, painter);
      int64_t phase = walked - 1;
      if (kind == ArcKind::kPie) {
        pixels::line(last, key.middle(), pattern, &phase, clip(), painter);
        pixels::line(key.middle(), first, pattern, &phase, clip(), painter);
      } else if (kind == ArcKind::kChord) {
        pixels::line(last, first, pattern, &phase, clip(), painter);
      }
      end_pixels();
      return;
    }
    if (pen_width(pen) == 1) {
      pixels::Painter painter = pen_painter(pen);
      // Like a line, the arc leaves out its last pixel.
      pixels::outline_pixels(
          shape, box, clip(),
          [&](int x, int y) { return sweep.contains(x, y) && !(x == to.x && y == to.y); }, painter);
      end_pixels();
      if (kind == ArcKind::kPie) {
        const Point spokes[3] = {from, centre, to};
        stroke_device_points(pen, spokes, 3, false);
      } else if (kind == ArcKind::kChord) {
        const Point chord[2] = {from, to};
        stroke_device_points(pen, chord, 2, false);
      }
      return;
    }
  }
  begin();
  const double pcx = cx + 0.5, pcy = cy + 0.5;
  const double rx = std::max(0.5, (box.x1 - box.x0) / 2.0);
  const double ry = std::max(0.5, (box.y1 - box.y0) / 2.0);
  const double from = std::atan2(start_at.y / ry, start_at.x / rx);
  const double to = std::atan2(end_at.y / ry, end_at.x / rx);
  arc_parts::arc_path(cr_, kind, pcx, pcy, rx, ry, from, to);
  if (kind == ArcKind::kArc) {
    stroke(pen);
    return;
  }
  cairo_close_path(cr_);
  if (exact_here(pen) && !transformed_) {
    stroke(pen);  // the inside is drawn already
  } else {
    fill_and_stroke(pen, brush);
  }
}

}  // namespace lumo::server
