// The cairo canvas's figures.  Integer device coordinates name pixels.  In
// the crisp and raster modes, without a transformation, every figure follows
// the pixel rules exactly; anti-aliased figures run through pixel centres.
// Lines and polylines are in cairo_lines.cpp.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "server/canvas/cairo_canvas.h"
#include "server/canvas/cairo_figure_parts.h"
#include "server/canvas/large_figures.h"

namespace lumo::server {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kLimit = kFigureLimit;

bool exact(const Pen& pen) { return pen.blend != Blend::kSmooth; }

// A curve in a box less than three pixels across cannot be anti-aliased
// inside its box: it is drawn by the pixel rules in every mode.
bool exact(const Pen& pen, const pixels::Box& box) {
  return exact(pen) || box.x1 - box.x0 < 2 || box.y1 - box.y0 < 2;
}

// Anti-aliased coverage blended in the brush's colour (through its hatch).
class CoverPainter : public pixels::CoverageSink {
 public:
  // Within width x height pixels (a picture made smaller since the figure
  // came).
  CoverPainter(uint32_t* data, int stride, const Brush& brush, int width, int height)
      : data_(data),
        stride_(stride),
        width_(width),
        height_(height),
        colour_((static_cast<uint32_t>(brush.colour.r) << 16) | (brush.colour.g << 8) | brush.colour.b),
        hatch_(brush.style == kBrushHatched ? brush.hatch : -1),
        scale_(brush.style == kBrushHalf ? 0.5 : 1.0) {}
  void coverage(int y, int x0, const uint8_t* cover, int count, int full) override {
    if (y < 0 || y >= height_) return;
    count = std::min(count, width_ - x0);
    uint32_t* row = data_ + static_cast<size_t>(y) * stride_;
    for (int i = 0; i < count; ++i) {
      if (!cover[i] || (hatch_ >= 0 && !pixels::hatch_bit(hatch_, x0 + i, y))) continue;
      blend(row + x0 + i, colour_, scale_ * cover[i] / full);
    }
  }

 private:
  uint32_t* data_;
  int stride_, width_, height_;
  uint32_t colour_;
  int hatch_;
  double scale_;
};

// A styled one-pixel outline in the exact modes, as GDI dashes a curve: the
// pattern walked along the outline pixels counter-clockwise on screen from
// the direction `start` (radians, y up) seen from the centre, one step a
// pixel, off-surface pixels counted.  Returns the pattern's place after it.
template <typename Region, typename Keep>
int64_t dashed_outline(const Region& shape, const pixels::Box& box, const pixels::Box& clip, Keep keep,
                       double start, const pixels::DashPattern* pattern, pixels::Sink& sink) {
  return pixels::dash_along_curve(
      [&](auto visit) {
        pixels::VisitSink<decltype(visit)> each(visit);
        pixels::outline_pixels(shape, box, box, keep, each);
      },
      shape.centre_x(), shape.centre_y(), start, pattern, 0, clip, true, sink);
}

// Polygons of more points than this are filled anti-aliased by the pixel
// rules' sampling rasteriser, whose cost stays linear whatever the shape;
// with slices set, these and the exact modes' are filled in slices.
constexpr int kManyPolygonPoints = 5000;

}  // namespace

// The pixels of a figure's box on the surface (moved by a whole-pixel
// translation; under any other transformation cairo places the outline);
// false when it is empty.
bool CairoCanvas::exact_here(const Pen& pen) const { return !vector_ && exact(pen); }

bool CairoCanvas::exact_here(const Pen& pen, const pixels::Box& box) const {
  return !vector_ && exact(pen, box);
}

bool CairoCanvas::figure_box(const Pen& pen, Point a, Point b, pixels::Box* box) const {
  if (!transformed_) {
    a = to_device(a);
    b = to_device(b);
  }
  *box = pixels::figure_box(a, b, pen);
  return box->x1 >= box->x0 && box->y1 >= box->y0;
}

void CairoCanvas::polygon(const Pen& pen, const Brush& brush, const Point* p, int count,
                          bool winding) {
  polygon_of(pen, brush, p, count, winding, nullptr);
}

void CairoCanvas::take_polygon(const Pen& pen, const Brush& brush, std::vector<Point>* points, bool winding) {
  polygon_of(pen, brush, points->data(), static_cast<int>(points->size()), winding, points);
}

void CairoCanvas::polygon_of(const Pen& pen, const Brush& brush, const Point* p, int count, bool winding,
                             std::vector<Point>* taken) {
  const double came = now_seconds();
  finish();
  if (count < 2) return;
  if (brush.style != kBrushHollow && count >= 3) {
    const bool exact = exact_here(pen);
    if (count > kManyPolygonPoints && !vector_ && slice_ > 0) {
      finish_work();  // one long figure at a time
      FillJob& job = fill_job_;
      // Filled in slices, then outlined, from its points on the surface.
      job.points = taken_or_copied(taken, p, count);
      for (Point& q : job.points) q = to_device(q);
      job.exact = exact;
      if (exact) {
        job.exact_fill.start(job.points.data(), count, winding, clip());
      } else {
        job.fill.start(job.points.data(), count, winding, clip());
      }
      job.pen = pen;
      job.brush = brush;
      job.width = width_;
      job.height = height_;
      job.left = true;
      run_fill_job(came + slice_);
      if (fill_job_.left) ++work_serial_;
      return;
    }
    std::vector<Point> d(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) d[static_cast<size_t>(i)] = to_device(p[i]);
    if (exact) {
      pixels::Painter painter = brush_painter(pen, brush);
      pixels::polygon(d.data(), count, winding, clip(), painter);
      end_pixels();
    } else if (count > kManyPolygonPoints && !vector_) {
      CoverPainter painter(begin_pixels(), cairo_image_surface_get_stride(surface_) / 4, brush, width_, height_);
      pixels::polygon_coverage(d.data(), count, winding, clip(), painter);
      end_pixels();
    } else {
      // Pixel (x, y) samples the point (x, y): the path runs half a pixel
      // up and left of the centres, which cairo samples.
      cairo_new_path(cr_);
      cairo_identity_matrix(cr_);
      cairo_set_fill_rule(cr_, winding ? CAIRO_FILL_RULE_WINDING : CAIRO_FILL_RULE_EVEN_ODD);
      for (int i = 0; i < count; ++i) {
        const double x = std::clamp<double>(d[static_cast<size_t>(i)].x, -kLimit, kLimit) + 0.5;
        const double y = std::clamp<double>(d[static_cast<size_t>(i)].y, -kLimit, kLimit) + 0.5;
        if (i == 0) {
          cairo_move_to(cr_, x, y);
        } else {
          cairo_line_to(cr_, x, y);
        }
      }
      cairo_close_path(cr_);
      set_source(pen, brush);
      fill_path(brush, false);
    }
  }
  stroke_points(pen, p, count, true);
}

// A slice of the fill (a few rows between looks at the clock), and the
// outline once it is filled: the picture of the polygon drawn at once.
void CairoCanvas::run_fill_job(double stop) {
  FillJob& job = fill_job_;
  if (stop < 0) stop = now_seconds() + slice_;
  const int width = std::min(width_, job.width), height = std::min(height_, job.height);
  bool done = false;
  if (job.exact) {
    pixels::Painter painter = brush_painter(job.pen, job.brush);
    pixels::WithinSink within(painter, width, height);
    while (!(done = job.exact_fill.rows(within, 1)) && now_seconds() <= stop) {
    }
  } else {
    CoverPainter painter(begin_pixels(), cairo_image_surface_get_stride(surface_) / 4, job.brush, width, height);
    while (!(done = job.fill.rows(painter, 1)) && now_seconds() <= stop) {
    }
  }
  end_pixels();
  if (!done) return;
  const Pen pen = job.pen;
  std::vector<Point> outline = std::move(job.points);
  job = FillJob{};
  if (outline.size() <= kPointsTakenAtOnce || pen.style == kInvisible) {
    stroke_device_points(pen, outline.data(), static_cast<int>(outline.size()), true);
    return;
  }
  // A long outline takes its points (already on the surface) in its slices.
  StrokeJob& stroke = new_stroke_job(pen, true, outline.size());
  stroke.given = std::move(outline);
  stroke.transformed = false;
  stroke.offset = Point{0, 0};
  start_stroke_job();
}

// Béziers: cairo draws anti-aliased curves; the exact modes draw the curve
// flattened into one-pixel lines between points on it.
void CairoCanvas::bezier(const Pen& pen, const Point* p, int count) {
  finish();
  if (count < 4 || pen.style == kInvisible) return;
  const int cubics = (count - 1) / 3;
  std::vector<DevicePoint> d(static_cast<size_t>(3 * cubics + 1));
  for (size_t i = 0; i < d.size(); ++i) d[i] = to_device_exact(p[i]);
  if (cubics > kSegmentsPerStroke) {
    // Many curves: flattened a piece at a time, they are a long polyline
    // (as the exact modes' few curves below, in their modes).
    const bool whole = exact_here(pen);
    const int most = whole ? 256 : 64;
    size_t points = 1;  // at most, flattened: room made once, not by copies
    for (size_t i = 0; i + 3 < d.size(); i += 3) points += static_cast<size_t>(curve_steps(&d[i], most));
    StrokeJob& job = new_stroke_job(pen, false, points);
    (job.thin ? job.raw : job.pts).reserve(points);
    job.curves = std::move(d);
    job.curve_most = most;
    job.curve_whole = whole;
    job.stage = StrokeJob::kTakeIn;
    start_stroke_job();
    return;
  }
  if (!exact_here(pen)) {
    begin();
    cairo_identity_matrix(cr_);
    auto c = [](double v) { return std::clamp(v, -kLimit, kLimit) + 0.5; };
    cairo_move_to(cr_, c(d[0].x), c(d[0].y));
    for (size_t i = 1; i + 2 < d.size(); i += 3) {
      cairo_curve_to(cr_, c(d[i].x), c(d[i].y), c(d[i + 1].x), c(d[i + 1].y), c(d[i + 2].x),
                     c(d[i + 2].y));
    }
    stroke(pen);
    return;
  }
  std::vector<Point> flat;
  add_whole_point(d[0], &flat);
  for (size_t i = 0; i + 3 < d.size(); i += 3) {
    flatten_curve(&d[i], 256, [&](DevicePoint f) { add_whole_point(f, &flat); });
  }
  if (flat.size() < 2) flat.push_back(flat.back());
  stroke_device_points(pen, flat.data(), static_cast<int>(flat.size()), false);
}

void CairoCanvas::rect(const Pen& pen, const Brush& brush, Point a, Point b) {
  finish();
  pixels::Box box;
  if (!figure_box(pen, a, b, &box)) return;
  const bool outline = pen.style != kInvisible;
  if (exact_here(pen) && !transformed_ && pen_width(pen) == 1) {
    if (brush.style != kBrushHollow) {
      // With an outline the inside stops one pixel short of it.
      const pixels::Box inside =
          outline ? pixels::Box{box.x0 + 1, box.y0 + 1, box.x1 - 1, box.y1 - 1} : box;
      pixels::Painter painter = brush_painter(pen, brush);
      for (int y = std::max(inside.y0, 0); y <= std::min(inside.y1, height_ - 1); ++y) {
        const int x0 = std::max(inside.x0, 0), x1 = std::min(inside.x1, width_ - 1);
        if (x0 <= x1) painter.span(y, x0, x1);
      }
      end_pixels();
    }
    // GDI's order: from the top right corner, counter-clockwise on screen.
    const Point corners[4] = {{box.x1, box.y0}, {box.x0, box.y0}, {box.x0, box.y1}, {box.x1, box.y1}};
    if (outline) stroke_device_points(pen, corners, 4, true);
    return;
  }
  if (!transformed_ && !vector_ && !outline && brush.style == kBrushSolid && pen.blend == Blend::kSmooth) {
    // An opaque fill on whole pixels: the pixels cairo's fill covers, set
    // directly, without a path.
    pixels::Painter painter = brush_painter(pen, brush);
    const int x0 = std::max(box.x0, 0), x1 = std::min(box.x1, width_ - 1);
    for (int y = std::max(box.y0, 0); y <= std::min(box.y1, height_ - 1) && x0 <= x1; ++y) {
      painter.span(y, x0, x1);
    }
    end_pixels();
    return;
  }
  begin();
  const double x0 = box.x0 + 0.5, y0 = box.y0 + 0.5, x1 = box.x1 + 0.5, y1 = box.y1 + 0.5;
  if (!outline && brush.style != kBrushHollow) {
    // Without an outline the inside covers the whole rectangle.
    cairo_rectangle(cr_, x0 - 0.5, y0 - 0.5, x1 - x0 + 1, y1 - y0 + 1);
  } else {
    cairo_rectangle(cr_, x0, y0, x1 - x0, y1 - y0);
  }
  if (outline && !transformed_ && pixels::dash_pattern(pen.style, pen_width(pen))) {
    // A styled outline is laid out step by step like a styled line, from
    // the top right corner counter-clockwise, where GDI starts its dashes
    // (a vector surface would start a rectangle's dashes elsewhere).
    Pen none = pen;
    none.style = kInvisible;
    fill_and_stroke(none, brush);
    const Point corners[4] = {{box.x1, box.y0}, {box.x0, box.y0}, {box.x0, box.y1}, {box.x1, box.y1}};
    stroke_device_points(pen, corners, 4, true);
    return;
  }
  fill_and_stroke(pen, brush);
}

namespace {

// The ellipse inside the box, as a cairo path through the pixel centres of
// its outermost pixels.
void ellipse_path(cairo_t* cr, const pixels::Box& box) {
  const double cx = (box.x0 + box.x1) / 2.0 + 0.5, cy = (box.y0 + box.y1) / 2.0 + 0.5;
  const double rx = std::max(0.5, (box.x1 - box.x0) / 2.0);
  const double ry = std::max(0.5, (box.y1 - box.y0) / 2.0);
  cairo_save(cr);
  cairo_translate(cr, cx, cy);
  cairo_scale(cr, rx, ry);
  cairo_arc(cr, 0, 0, 1, 0, 2 * kPi);
  cairo_restore(cr);
  cairo_close_path(cr);
}

}  // namespace

void CairoCanvas::round_rect(const Pen& pen, const Brush& brush, Point a, Point b, int cw,
                             int ch) {
  finish();
  pixels::Box box;
  if (!figure_box(pen, a, b, &box)) return;
  cw = static_cast<int>(std::min<int64_t>(std::llabs(cw), box.x1 - box.x0 + 1));
  ch = static_cast<int>(std::min<int64_t>(std::llabs(ch), box.y1 - box.y0 + 1));
  if (cw < 2 || ch < 2) {
    rect(pen, brush, a, b);
    return;
  }
  const bool styled = pixels::dash_pattern(pen.style, pen_width(pen)) != nullptr;
  if (exact_here(pen, box) && !transformed_) {
    const pixels::RoundRect shape(box, cw, ch);
    if (brush.style != kBrushHollow) {
      pixels::Painter painter = brush_painter(pen, brush);
      pixels::region_spans(shape, box, clip(), painter);
      end_pixels();
    }
    if (pen.style != kInvisible && pen_width(pen) == 1 && !styled) {
      pixels::Painter painter = pen_painter(pen);
      pixels::outline_pixels(shape, box, clip(), [](int, int) { return true; }, painter);
      end_pixels();
      return;
    }
    if (pen.style == kInvisible) return;
  }
  begin();
  const double x1 = box.x0 + 0.5, y1 = box.y0 + 0.5, x2 = box.x1 + 0.5, y2 = box.y1 + 0.5;
  const double rx = (cw - 1) / 2.0, ry = (ch - 1) / 2.0;
  auto corner = [&](double cx, double cy, double from) {
    cairo_save(cr_);
    cairo_translate(cr_, cx, cy);
    cairo_scale(cr_, std::max(rx, 0.5), std::max(ry, 0.5));
    cairo_arc(cr_, 0, 0, 1, from, from + kPi / 2);
    cairo_restore(cr_);
  };
  corner(x2 - rx, y1 + ry, -kPi / 2);
  corner(x2 - rx, y2 - ry, 0);
  corner(x1 + rx, y2 - ry, kPi / 2);
  corner(x1 + rx, y1 + ry, kPi);
  cairo_close_path(cr_);
  if (exact_here(pen) && !transformed_) {
    stroke(pen);  // the inside is drawn already
  } else {
    fill_and_stroke(pen, brush);
  }
}

void CairoCanvas::ellipse(const Pen& pen, const Brush& brush, Point a, Point b) {
  finish();
  pixels::Box box;
  if (!figure_box(pen, a, b, &box)) return;
  const bool styled = pixels::dash_pattern(pen.style, pen_width(pen)) != nullptr;
  if (exact_here(pen, box) && !transformed_) {
    const pixels::Ellipse shape(box);
    if (brush.style != kBrushHollow) {
      pixels::Painter painter = brush_painter(pen, brush);
      pixels::region_spans(shape, box, clip(), painter);
      end_pixels();
    }
    if (pen.style == kInvisible) return;
    if (pen_width(pen) == 1) {
      pixels::Painter painter = pen_painter(pen);
      auto all = [](int, int) { return true; };
      if (styled) {
        // GDI's walk starts east of the centre.
        dashed_outline(shape, box, clip(), all, 0, pixels::dash_pattern(pen.style, 1), painter);
      } else {
        pixels::outline_pixels(shape, box, clip(), all, painter);
      }
      end_pixels();
      return;
    }
    begin();
    ellipse_path(cr_, box);
    stroke(pen);
    return;
  }
  begin();
  ellipse_path(cr_, box);
  fill_and_stroke(pen, brush);
}

}  // namespace lumo::server
