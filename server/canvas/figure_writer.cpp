// The figure writer: a Canvas that turns each figure into a path in device
// pixels (the shapes of cairo_figures.cpp's anti-aliased branch: pixel
// centres at +0.5, the same boxes, corners and arc ends) and hands paths,
// texts and images to the writer of one format.  PDF and EPS pages use the
// window's pixels as units through one scaling (y down, 72 / dpi points a
// pixel); the SVG's viewBox is the window in pixels.  PDF and EPS are
// in figure_page.cpp.
#include "server/canvas/figure_writer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <vector>

#include "server/canvas/figure_paths.h"
#include "server/canvas/pixel_rules.h"
#include "server/canvas/png_writer.h"
#include "server/canvas/svg_page.h"

namespace lumo::server {

using namespace figure;

namespace {

constexpr double kLimit = 1 << 20;

class FigureCanvas : public Canvas {
 public:
  FigureCanvas(int width, int height, Writer& out, Canvas& measurer)
      : width_(width), height_(height), out_(out), measurer_(measurer) {}

  int width() const override { return width_; }
  int height() const override { return height_; }
  void resize(int, int, Rgb) override {}
  void clear(Rgb background) override { out_.clear(background); }
  void set_transform(const Transform& t) override {
    const bool moves_only = pixels::whole_pixel_move(t);
    const Transform m = invertible(t) ? t : Transform{};
    transformed_ = invertible(t) && !moves_only;
    offset_ = moves_only ? Point{static_cast<int32_t>(t.dx), static_cast<int32_t>(t.dy)} : Point{0, 0};
    matrix_ = transformed_ ? m : Transform{};
  }
  void line(const Pen& pen, Point a, Point b) override {
    const Point p[2] = {a, b};
    stroke_points(pen, p, 2, false);
  }
  void polyline(const Pen& pen, const Point* p, int count) override { stroke_points(pen, p, count, false); }
  void polygon(const Pen& pen, const Brush& brush, const Point* p, int count, bool winding) override {
    if (count < 2) return;
    if (brush.style != kBrushHollow && count >= 3) {
      Path path;
      for (int i = 0; i < count; ++i) {
        const Point d = to_device(p[i]);
        const double x = std::clamp<double>(d.x, -kLimit, kLimit) + 0.5;
        const double y = std::clamp<double>(d.y, -kLimit, kLimit) + 0.5;
        if (i == 0) {
          path.move(x, y);
        } else {
          path.line(x, y);
        }
      }
      path.close();
      out_.fill(path, brush, !winding);
    }
    stroke_points(pen, p, count, true);
  }
  void bezier(const Pen& pen, const Point* p, int count) override {
    if (count < 4 || pen.style == kInvisible) return;
    const int cubics = (count - 1) / 3;
    auto c = [](double v) { return std::clamp(v, -kLimit, kLimit) + 0.5; };
    Path path;
    double x[3], y[3];
    for (int i = 0; i <= 3 * cubics; ++i) {
      double u = p[i].x, v = p[i].y;
      matrix_.apply(&u, &v);
      if (!transformed_) u += offset_.x, v += offset_.y;
      if (i == 0) {
        path.move(c(u), c(v));
        continue;
      }
      x[(i - 1) % 3] = c(u), y[(i - 1) % 3] = c(v);
      if (i % 3 == 0) path.curve(x[0], y[0], x[1], y[1], x[2], y[2]);
    }
    stroke_path(path, pen);
  }
  void rect(const Pen& pen, const Brush& brush, Point a, Point b) override {
    pixels::Box box;
    if (!figure_box(pen, a, b, &box)) return;
    Path path = user_path();
    const double x0 = box.x0 + 0.5, y0 = box.y0 + 0.5, x1 = box.x1 + 0.5, y1 = box.y1 + 0.5;
    if (pen.style == kInvisible && brush.style != kBrushHollow) {
      rectangle(&path, x0 - 0.5, y0 - 0.5, x1 - x0 + 1, y1 - y0 + 1);
    } else {
      rectangle(&path, x0, y0, x1 - x0, y1 - y0);
    }
    fill_and_stroke(path, pen, brush);
  }
  void round_rect(const Pen& pen, const Brush& brush, Point a, Point b, int cw, int ch) override {
    pixels::Box box;
    if (!figure_box(pen, a, b, &box)) return;
    cw = static_cast<int>(std::min<int64_t>(std::llabs(cw), box.x1 - box.x0 + 1));
    ch = static_cast<int>(std::min<int64_t>(std::llabs(ch), box.y1 - box.y0 + 1));
    if (cw < 2 || ch < 2) {
      rect(pen, brush, a, b);
      return;
    }
    const double x1 = box.x0 + 0.5, y1 = box.y0 + 0.5, x2 = box.x1 + 0.5, y2 = box.y1 + 0.5;
    const double rx = std::max((cw - 1) / 2.0, 0.5), ry = std::max((ch - 1) / 2.0, 0.5);
    Path path = user_path();
    path.arc(x2 - rx, y1 + ry, rx, ry, -kPi / 2, 0);
    path.arc(x2 - rx, y2 - ry, rx, ry, 0, kPi / 2);
    path.arc(x1 + rx, y2 - ry, rx, ry, kPi / 2, kPi);
    path.arc(x1 + rx, y1 + ry, rx, ry, kPi, 3 * kPi / 2);
    path.close();
    fill_and_stroke(path, pen, brush);
  }
  void ellipse(const Pen& pen, const Brush& brush, Point a, Point b) override {
    pixels::Box box;
    if (!figure_box(pen, a, b, &box)) return;
    Path path = user_path();
    path.arc((box.x0 + box.x1) / 2.0 + 0.5, (box.y0 + box.y1) / 2.0 + 0.5,
             std::max(0.5, (box.x1 - box.x0) / 2.0), std::max(0.5, (box.y1 - box.y0) / 2.0), 0, 2 * kPi);
    path.close();
    fill_and_stroke(path, pen, brush);
  }
  void arc(ArcKind kind, const Pen& pen, const Brush& brush, Point a, Point b, Point start,
           Point end) override {
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
    const double pcx = shape.centre_x() + 0.5, pcy = shape.centre_y() + 0.5;
    const double rx = std::max(0.5, (box.x1 - box.x0) / 2.0), ry = std::max(0.5, (box.y1 - box.y0) / 2.0);
    const double from = std::atan2(start_at.y / ry, start_at.x / rx);
    double to = std::atan2(end_at.y / ry, end_at.x / rx);
    // Counter-clockwise on screen is the decreasing angle with y down.
    if (to >= from - 1e-9) to -= 2 * kPi;
    Path path = user_path();
    if (kind == ArcKind::kPie) path.move(pcx, pcy);
    path.arc(pcx, pcy, rx, ry, from, to);
    if (kind == ArcKind::kArc) {
      stroke_path(path, pen);
      return;
    }
    path.close();
    fill_and_stroke(path, pen, brush);
  }
  void text(const Font& font, Point at, const std::string& text) override {
    if (text.empty()) return;
    if (!transformed_) at = to_device(at);
    const int h = ((font.align % 3) + 3) % 3;
    const int v = ((font.align / 3) % 3 + 3) % 3;
    const TextSize size = h != 0 || v != 0 ? measurer_.measure(font, text) : TextSize{};
    const double dx = h == 0 ? 0 : h == 1 ? -size.width / 2.0 : -size.width;
    const double dy = v == 0 ? 0 : v == 1 ? (size.ascent - size.descent) / 2.0 : size.ascent;
    const double angle = -font.angle * kPi / 1800.0;
    const Transform place{1, 0, 0, 1, std::clamp<double>(at.x, -kLimit, kLimit), std::clamp<double>(at.y, -kLimit, kLimit)};
    const Transform turn{std::cos(angle), std::sin(angle), -std::sin(angle), std::cos(angle), 0, 0};
    out_.text(matrix_.then(place).then(turn), dx, dy, font, text);
  }
  TextSize measure(const Font& font, const std::string& text) override { return measurer_.measure(font, text); }
  void set_pixel(Point p, Rgb c) override {
    const uint32_t v = (uint32_t{c.r} << 16) | (uint32_t{c.g} << 8) | c.b;
    draw_image(p.x, p.y, 1, 1, &v);
  }
  bool get_pixel(Point, Rgb*) override { return false; }
  bool save_png(const std::string&) override { return false; }
  bool load_png(const std::string&) override { return false; }
  bool read_pixels(int, int, int, int, uint32_t*) override { return false; }
  void draw_image(int x, int y, int w, int h, const uint32_t* pixels) override {
    if (w > 0 && h > 0) out_.image(x, y, w, h, pixels);
  }

 private:
  Point to_device(Point p) const { return pixels::device_point(p, transformed_, offset_, matrix_); }
  bool figure_box(const Pen& pen, Point a, Point b, pixels::Box* box) const {
    if (!transformed_) {
      a = to_device(a);
      b = to_device(b);
    }
    *box = pixels::figure_box(a, b, pen);
    return box->x1 >= box->x0 && box->y1 >= box->y0;
  }
  // A path in the figure's own coordinates: through the transformation.
  Path user_path() const {
    Path p;
    p.m = matrix_;
    return p;
  }
  // From the top right corner, counter-clockwise on screen, where GDI starts
  // a rectangle's dashes.
  static void rectangle(Path* p, double x, double y, double w, double h) {
    p->move(x + w, y);
    p->line(x, y);
    p->line(x, y + h);
    p->line(x + w, y + h);
    p->close();
  }
  void fill_and_stroke(const Path& path, const Pen& pen, const Brush& brush) {
    if (brush.style != kBrushHollow) out_.fill(path, brush, false);
    stroke_path(path, pen);
  }
  // A one-pixel pen is one pixel wide whatever the transformation; a wider
  // one scales with the matrix the path was built through.
  void stroke_path(const Path& path, const Pen& pen) {
    if (pen.style == kInvisible || path.empty()) return;
    const int width = std::clamp(pen.width, 1, 1000);
    Stroke s;
    s.colour = pen.colour;
    s.width = width == 1 ? 1 : width * path.m.scale();
    if (const pixels::DashPattern* d = pixels::dash_pattern(pen.style, width)) {
      for (int i = 0; i < d->count; ++i) s.dashes.push_back(d->runs[i]);
      s.round = false;
    }
    out_.stroke(path, s);
  }
  // Lines through pixel centres, clipped a little beyond the page; styled
  // one-pixel pens as their runs of "on" pixels, as on screen.
  void stroke_points(const Pen& pen, const Point* p, int count, bool closed) {
    if (pen.style == kInvisible || count < 2) return;
    const int width = std::clamp(pen.width, 1, 1000);
    std::vector<Point> d(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) d[static_cast<size_t>(i)] = to_device(p[i]);
    const double margin = width + 2;
    const double lo_x = -margin, lo_y = -margin, hi_x = width_ + margin, hi_y = height_ + margin;
    const pixels::DashPattern* pattern = pixels::dash_pattern(pen.style, width);
    Stroke s;
    s.colour = pen.colour;
    s.width = width;
    s.round = pattern == nullptr;
    Path path;
    const size_t n = d.size(), segments = closed ? n : n - 1;
    bool joined = false, clipped = false;
    int64_t phase = 0;
    for (size_t i = 0; i < segments; ++i) {
      const Point a = d[i], b = d[(i + 1) % n];
      if (!pattern) {
        pixels::clipped_segment(
            a.x, a.y, b.x, b.y, lo_x, lo_y, hi_x, hi_y, &joined, &clipped,
            [&](double x, double y) { path.move(x, y); }, [&](double x, double y) { path.line(x, y); });
        continue;
      }
      phase = pixels::dash_runs(a.x, a.y, b.x, b.y, !closed && i + 1 == segments, pattern, phase, lo_x, lo_y,
                                hi_x, hi_y, [&](double x0, double y0, double x1, double y1) {
                                  path.move(x0 + 0.5, y0 + 0.5);
                                  path.line(x1 + 0.5, y1 + 0.5);
                                });
    }
    if (closed && !pattern && !clipped) path.close();
    if (!path.empty()) out_.stroke(path, s);
  }
  int width_, height_;
  Writer& out_;
  Canvas& measurer_;
  bool transformed_ = false;
  Point offset_{0, 0};
  Transform matrix_;
};

// ---- SVG ---------------------------------------------------------------------

std::string svg_path(const Path& path) {
  std::string d;
  for (const Segment& s : path.segments) {
    d += s.op;
    const int n = s.op == 'C' ? 3 : s.op == 'Z' ? 0 : 1;
    for (int i = 0; i < n; ++i) d += (i ? " " : "") + figure_number(s.x[i]) + " " + figure_number(s.y[i]);
  }
  return d;
}

class SvgWriter : public Writer {
 public:
  SvgWriter(int width, int height, int dpi, const FigureText& text) : page_(width, height), dpi_(dpi), text_(text) {}
  void clear(Rgb background) override { page_.clear(background); }
  void fill(const Path& path, const Brush& brush, bool even_odd) override {
    page_.fill(svg_path(path), brush, even_odd);
  }
  void stroke(const Path& path, const Stroke& s) override {
    page_.stroke(svg_path(path), s.colour, s.width, s.round, true, s.dashes.data(),
                 static_cast<int>(s.dashes.size()));
  }
  void text(const Transform& m, double x, double y, const Font& font, const std::string& bytes) override {
    const double matrix[6] = {m.m11, m.m12, m.m21, m.m22, m.dx, m.dy};
    page_.text(matrix, x, y, font, font.face.empty() ? "" : text_.to_utf8(font.face), text_.to_utf8(bytes));
  }
  void image(int x, int y, int w, int h, const uint32_t* pixels) override { page_.image(x, y, w, h, pixels); }
  std::string finish() override { return page_.document(dpi_); }

 private:
  SvgPage page_;
  int dpi_;
  const FigureText& text_;
};

}  // namespace

std::string make_figure(const RecordingCanvas::Snapshot& list, Canvas& measurer, FigureFormat format, int dpi,
                        const FigureText& text) {
  if (format == FigureFormat::kPng || !list.complete) return "";
  dpi = std::clamp(dpi, 1, 10000);
  const int w = list.width, h = list.height;
  SvgWriter svg(w, h, dpi, text);
  const std::unique_ptr<Writer> page = page_writer(format == FigureFormat::kPdf, w, h, dpi, text);
  Writer& out = format == FigureFormat::kSvg ? static_cast<Writer&>(svg) : *page;
  FigureCanvas canvas(w, h, out, measurer);
  RecordingCanvas::replay(list, canvas, true);
  return out.finish();
}

std::string make_figure(RecordingCanvas& list, FigureFormat format, int dpi, const FigureText& text) {
  return make_figure(list.snapshot(), list, format, dpi, text);
}

}  // namespace lumo::server
