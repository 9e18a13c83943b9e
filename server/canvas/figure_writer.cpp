// The figure writer: a Canvas that turns each figure into a path in device
// pixels (the shapes of cairo_figures.cpp's anti-aliased branch: pixel
// centres at +0.5, the same boxes, corners and arc ends) and hands paths,
// texts and images to the writer of one format.  PDF and EPS pages use the
// window's pixels as units through one scaling (y down, 72 / dpi points a
// pixel); the SVG's viewBox is the window in pixels.
#include "server/canvas/figure_writer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <vector>

#include "server/canvas/pixel_rules.h"
#include "server/canvas/png_writer.h"
#include "server/canvas/svg_page.h"

namespace lumo::server {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kLimit = 1 << 20;

struct Segment {
  char op;  // 'M', 'L', 'C', 'Z'
  double x[3], y[3];
};

// A path in device pixels, built through a matrix.
struct Path {
  Transform m;
  std::vector<Segment> segments;
  void move(double x, double y) { add('M', &x, &y, 1); }
  void line(double x, double y) { add('L', &x, &y, 1); }
  void curve(double x1, double y1, double x2, double y2, double x3, double y3) {
    double xs[3] = {x1, x2, x3}, ys[3] = {y1, y2, y3};
    add('C', xs, ys, 3);
  }
  void close() { segments.push_back({'Z', {0, 0, 0}, {0, 0, 0}}); }
  // An elliptical arc around (cx, cy) with radii rx, ry from angle `from` to
  // `to` (radians, y down), joined to the path by a line.
  void arc(double cx, double cy, double rx, double ry, double from, double to) {
    const int pieces = std::max(1, static_cast<int>(std::ceil(std::fabs(to - from) / (kPi / 2) - 1e-9)));
    const double step = (to - from) / pieces, k = 4.0 / 3.0 * std::tan(step / 4);
    auto at = [&](double t, double* x, double* y) { *x = cx + rx * std::cos(t), *y = cy + ry * std::sin(t); };
    double x, y;
    at(from, &x, &y);
    if (segments.empty() || segments.back().op == 'Z') {
      move(x, y);
    } else {
      line(x, y);
    }
    for (int i = 0; i < pieces; ++i) {
      const double t0 = from + i * step, t1 = t0 + step;
      double x0, y0, x3, y3;
      at(t0, &x0, &y0);
      at(t1, &x3, &y3);
      curve(x0 - k * rx * std::sin(t0), y0 + k * ry * std::cos(t0), x3 + k * rx * std::sin(t1),
            y3 - k * ry * std::cos(t1), x3, y3);
    }
  }
  bool empty() const { return segments.empty(); }

 private:
  void add(char op, double* xs, double* ys, int n) {
    Segment s{op, {0, 0, 0}, {0, 0, 0}};
    for (int i = 0; i < n; ++i) {
      m.apply(&xs[i], &ys[i]);
      s.x[i] = xs[i];
      s.y[i] = ys[i];
    }
    segments.push_back(s);
  }
};

struct Stroke {
  Rgb colour;
  double width = 1;  // device pixels
  std::vector<double> dashes;
  bool round = true;  // caps and joins
};

// What one format writes.
class Writer {
 public:
  virtual ~Writer() = default;
  virtual void clear(Rgb background) = 0;
  virtual void fill(const Path& path, const Brush& brush, bool even_odd) = 0;
  virtual void stroke(const Path& path, const Stroke& stroke) = 0;
  // Text whose user space `m` maps to device pixels, starting at (x, y).
  virtual void text(const Transform& m, double x, double y, const Font& font, const std::string& bytes) = 0;
  virtual void image(int x, int y, int w, int h, const uint32_t* pixels) = 0;
  virtual std::string finish() = 0;
};

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
      start = to_device(start);
      end = to_device(end);
    }
    const pixels::Ellipse shape(box);
    const double pcx = shape.centre_x() + 0.5, pcy = shape.centre_y() + 0.5;
    const double rx = std::max(0.5, (box.x1 - box.x0) / 2.0), ry = std::max(0.5, (box.y1 - box.y0) / 2.0);
    auto coord = [](int32_t v) { return std::clamp(static_cast<double>(v), -kLimit, kLimit) + 0.5; };
    const double from = std::atan2((coord(start.y) - pcy) / ry, (coord(start.x) - pcx) / rx);
    double to = std::atan2((coord(end.y) - pcy) / ry, (coord(end.x) - pcx) / rx);
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
  static void rectangle(Path* p, double x, double y, double w, double h) {
    p->move(x, y);
    p->line(x + w, y);
    p->line(x + w, y + h);
    p->line(x, y + h);
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

// ---- PDF and EPS ---------------------------------------------------------------

// The standard font nearest a window's face: these need not be embedded,
// and every reader has them (with their widths).
std::string standard_font(const Font& font) {
  std::string face;
  for (const char c : font.face) face += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const bool bold = font.weight >= 700;
  if (face.find("courier") != std::string::npos || face.find("mono") != std::string::npos) {
    return bold ? "Courier-Bold" : "Courier";
  }
  if (face == "serif" || face.find("times") != std::string::npos || face.find("roman") != std::string::npos ||
      face.find("mincho") != std::string::npos) {
    return bold ? "Times-Bold" : "Times-Roman";
  }
  return bold ? "Helvetica-Bold" : "Helvetica";
}

// Text as a string literal of PDF and PostScript: WinAnsi bytes, with
// the three special characters escaped.
std::string literal(const std::string& bytes, bool latin) {
  std::string out = "(";
  for (const char ch : bytes) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c == '(' || c == ')' || c == '\\') {
      out += '\\';
      out += ch;
    } else if (c < 0x20 || (c >= 0x80 && !latin)) {
      out += c < 0x20 ? " " : "?";
    } else if (c >= 0x80) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\%03o", c);
      out += buf;
    } else {
      out += ch;
    }
  }
  return out + ")";
}

std::string rgb(Rgb c) { return figure_number(c.r / 255.0) + " " + figure_number(c.g / 255.0) + " " + figure_number(c.b / 255.0); }

// The glyph names of WinAnsi's 0x80..0x9F (PostScript's ISO Latin 1 has
// none there); "" where WinAnsi has no character.
const char* const kWinAnsiHigh[32] = {
    "Euro", "", "quotesinglbase", "florin", "quotedblbase", "ellipsis", "dagger", "daggerdbl",
    "circumflex", "perthousand", "Scaron", "guilsinglleft", "OE", "", "Zcaron", "",
    "", "quoteleft", "quoteright", "quotedblleft", "quotedblright", "bullet", "endash", "emdash",
    "tilde", "trademark", "scaron", "guilsinglright", "oe", "", "zcaron", "Ydieresis"};

// PDF and PostScript draw with the same operators under different names;
// one writer makes both pages.
class PageWriter : public Writer {
 public:
  PageWriter(bool pdf, int width, int height, int dpi, const FigureText& text)
      : pdf_(pdf), width_(width), height_(height), dpi_(dpi), text_(text) {}

  void clear(Rgb background) override {
    page_.clear();
    Path p;
    p.move(0, 0), p.line(width_, 0), p.line(width_, height_), p.line(0, height_), p.close();
    Brush b;
    b.colour = background;
    b.style = kBrushSolid;
    fill(p, b, false);
  }
  void fill(const Path& path, const Brush& brush, bool even_odd) override {
    page_ += pdf_ ? "q\n" : "gsave\n";
    if (brush.style == kBrushHatched) {
      const std::string name = pattern(brush);
      page_ += pdf_ ? "/Pattern cs /" + name + " scn\n" : name + " setpattern\n";
    } else if (brush.style == kBrushHalf) {
      if (pdf_) {
        half_ = true;
        page_ += "/Half gs " + rgb(brush.colour) + " rg\n";
      } else {
        // PostScript has no transparency: half over white.
        const Rgb c{static_cast<uint8_t>((brush.colour.r + 255) / 2), static_cast<uint8_t>((brush.colour.g + 255) / 2),
                    static_cast<uint8_t>((brush.colour.b + 255) / 2)};
        page_ += rgb(c) + " setrgbcolor\n";
      }
    } else {
      page_ += rgb(brush.colour) + (pdf_ ? " rg\n" : " setrgbcolor\n");
    }
    add_path(path);
    page_ += pdf_ ? (even_odd ? "f*\nQ\n" : "f\nQ\n") : (even_odd ? "eofill\ngrestore\n" : "fill\ngrestore\n");
  }
  void stroke(const Path& path, const Stroke& s) override {
    page_ += pdf_ ? "q\n" + rgb(s.colour) + " RG " + figure_number(s.width) + " w " + (s.round ? "1 J" : "0 J") + " 1 j"
                  : "gsave\n" + rgb(s.colour) + " setrgbcolor " + figure_number(s.width) + " setlinewidth " +
                        (s.round ? "1" : "0") + " setlinecap 1 setlinejoin";
    if (!s.dashes.empty()) {
      page_ += " [";
      for (size_t i = 0; i < s.dashes.size(); ++i) page_ += (i ? " " : "") + figure_number(s.dashes[i]);
      page_ += pdf_ ? "] 0 d" : "] 0 setdash";
    }
    page_ += "\n";
    add_path(path);
    page_ += pdf_ ? "S\nQ\n" : "stroke\ngrestore\n";
  }
  void text(const Transform& m, double x, double y, const Font& font, const std::string& bytes) override {
    const std::string name = font_resource(standard_font(font));
    // The text's own space has y down like the page's; glyphs are drawn y up.
    const Transform at = m.then(Transform{1, 0, 0, -1, x, y});
    const std::string matrix = figure_number(at.m11) + " " + figure_number(at.m12) + " " + figure_number(at.m21) + " " +
                               figure_number(at.m22) + " " + figure_number(at.dx) + " " + figure_number(at.dy);
    const std::string size = std::to_string(std::clamp(font.height, 1, 2000));
    if (pdf_) {
      page_ += "q " + rgb(font.colour) + " rg BT /" + name + " " + size + " Tf " + matrix + " Tm " +
               literal(bytes, text_.latin) + " Tj ET Q\n";
    } else {
      page_ += "gsave " + rgb(font.colour) + " setrgbcolor [" + matrix + "] concat 0 0 moveto /" + name +
               " findfont " + size + " scalefont setfont " + literal(bytes, text_.latin) + " show grestore\n";
    }
  }
  void image(int x, int y, int w, int h, const uint32_t* pixels) override {
    std::string data;
    data.reserve(static_cast<size_t>(w) * h * (pdf_ ? 3 : 6));
    for (size_t i = 0; i < static_cast<size_t>(w) * h; ++i) {
      for (int shift = 16; shift >= 0; shift -= 8) {
        const unsigned char c = static_cast<unsigned char>(pixels[i] >> shift);
        if (pdf_) {
          data += static_cast<char>(c);
        } else {
          static const char* digits = "0123456789abcdef";
          data += digits[c >> 4];
          data += digits[c & 15];
          if (i % 40 == 39 && shift == 0) data += '\n';
        }
      }
    }
    if (pdf_) {
      const std::string name = "Im" + std::to_string(images_.size() + 1);
      images_.push_back("<< /Type /XObject /Subtype /Image /Width " + std::to_string(w) + " /Height " +
                        std::to_string(h) + " /ColorSpace /DeviceRGB /BitsPerComponent 8 /Interpolate false /Length " +
                        std::to_string(data.size()) + " >>\nstream\n" + data + "\nendstream");
      page_ += "q " + std::to_string(w) + " 0 0 -" + std::to_string(h) + " " + std::to_string(x) + " " +
               std::to_string(y + h) + " cm /" + name + " Do Q\n";
    } else {
      page_ += "gsave " + std::to_string(x) + " " + std::to_string(y) + " translate " + std::to_string(w) + " " +
               std::to_string(h) + " scale " + std::to_string(w) + " " + std::to_string(h) + " 8 [" +
               std::to_string(w) + " 0 0 " + std::to_string(h) + " 0 0] <\n" + data + "\n> false 3 colorimage grestore\n";
    }
  }
  std::string finish() override { return pdf_ ? pdf() : eps(); }

 private:
  void add_path(const Path& path) {
    for (const Segment& s : path.segments) {
      switch (s.op) {
        case 'M': page_ += figure_number(s.x[0]) + " " + figure_number(s.y[0]) + (pdf_ ? " m\n" : " moveto\n"); break;
        case 'L': page_ += figure_number(s.x[0]) + " " + figure_number(s.y[0]) + (pdf_ ? " l\n" : " lineto\n"); break;
        case 'C':
          for (int i = 0; i < 3; ++i) page_ += figure_number(s.x[i]) + " " + figure_number(s.y[i]) + " ";
          page_ += pdf_ ? "c\n" : "curveto\n";
          break;
        default: page_ += pdf_ ? "h\n" : "closepath\n";
      }
    }
  }
  std::string font_resource(const std::string& base) {
    for (size_t i = 0; i < fonts_.size(); ++i) {
      if (fonts_[i] == base) return pdf_ ? "F" + std::to_string(i + 1) : base + "-WinAnsi";
    }
    fonts_.push_back(base);
    return pdf_ ? "F" + std::to_string(fonts_.size()) : base + "-WinAnsi";
  }
  // An 8 x 8 tile of the hatch's pixels, in page pixels from the corner.
  std::string pattern(const Brush& brush) {
    std::string tile = rgb(brush.colour) + (pdf_ ? " rg\n" : " setrgbcolor\n");
    pixels::hatch_runs(brush.hatch, [&](int x, int y, int n) {
      tile += std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(n) +
              (pdf_ ? " 1 re\n" : " 1 rectfill\n");
    });
    if (pdf_) tile += "f\n";
    const std::string key = std::to_string(brush.hatch) + rgb(brush.colour);
    auto found = patterns_.find(key);
    if (found != patterns_.end()) return found->second.first;
    const std::string name = "P" + std::to_string(patterns_.size() + 1);
    patterns_[key] = {name, tile};
    return name;
  }
  double points() const { return 72.0 / dpi_; }

  std::string pdf() const {
    const double s = points();
    std::vector<std::string> objects;  // object n is objects[n - 1]
    objects.push_back("<< /Type /Catalog /Pages 2 0 R >>");
    objects.push_back("<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    objects.push_back("");  // the page, once its resources are numbered
    const std::string content = figure_number(s) + " 0 0 " + figure_number(-s) + " 0 " + figure_number(height_ * s) + " cm\n" + page_;
    objects.push_back("<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "\nendstream");
    std::string fonts, xobjects, patterns;
    for (size_t i = 0; i < fonts_.size(); ++i) {
      objects.push_back("<< /Type /Font /Subtype /Type1 /BaseFont /" + fonts_[i] +
                        " /Encoding /WinAnsiEncoding >>");
      fonts += "/F" + std::to_string(i + 1) + " " + std::to_string(objects.size()) + " 0 R ";
    }
    for (size_t i = 0; i < images_.size(); ++i) {
      objects.push_back(images_[i]);
      xobjects += "/Im" + std::to_string(i + 1) + " " + std::to_string(objects.size()) + " 0 R ";
    }
    for (const auto& entry : patterns_) {
      const std::string& tile = entry.second.second;
      objects.push_back("<< /Type /Pattern /PatternType 1 /PaintType 1 /TilingType 1 /BBox [0 0 8 8] "
                        "/XStep 8 /YStep 8 /Resources << >> /Matrix [" + figure_number(s) + " 0 0 " + figure_number(-s) + " 0 " +
                        figure_number(height_ * s) + "] /Length " + std::to_string(tile.size()) + " >>\nstream\n" + tile +
                        "\nendstream");
      patterns += "/" + entry.second.first + " " + std::to_string(objects.size()) + " 0 R ";
    }
    objects[2] = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + figure_number(width_ * s) + " " + figure_number(height_ * s) +
                 "] /Contents 4 0 R /Resources << /Font << " + fonts + ">> /XObject << " + xobjects +
                 ">> /Pattern << " + patterns + ">>" +
                 (half_ ? " /ExtGState << /Half << /ca 0.5 >> >>" : "") + " >> >>";
    std::string out = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
    std::vector<size_t> offsets;
    for (size_t i = 0; i < objects.size(); ++i) {
      offsets.push_back(out.size());
      out += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const size_t xref = out.size();
    out += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (size_t offset : offsets) {
      char line[24];
      std::snprintf(line, sizeof line, "%010zu 00000 n \n", offset);
      out += line;
    }
    out += "trailer\n<< /Size " + std::to_string(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
           std::to_string(xref) + "\n%%EOF\n";
    return out;
  }

  std::string eps() const {
    const double s = points();
    const int w = static_cast<int>(std::ceil(width_ * s)), h = static_cast<int>(std::ceil(height_ * s));
    std::string out = "%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 " + std::to_string(w) + " " + std::to_string(h) +
                      "\n%%HiResBoundingBox: 0 0 " + figure_number(width_ * s) + " " + figure_number(height_ * s) +
                      "\n%%Creator: lumoview\n%%LanguageLevel: 2\n%%Pages: 1\n%%EndComments\n%%BeginProlog\n";
    // Fonts with WinAnsi's characters: ISO Latin 1 with WinAnsi's 0x80..0x9F.
    out += "/WinAnsiEncoding ISOLatin1Encoding 256 array copy def\n";
    for (int i = 0; i < 32; ++i) {
      if (*kWinAnsiHigh[i]) out += "WinAnsiEncoding " + std::to_string(128 + i) + " /" + kWinAnsiHigh[i] + " put\n";
    }
    for (const std::string& base : fonts_) {
      out += "/" + base + "-WinAnsi /" + base +
             " findfont dup length dict begin {1 index /FID ne {def} {pop pop} ifelse} forall "
             "/Encoding WinAnsiEncoding def currentdict end definefont pop\n";
    }
    out += "%%EndProlog\n%%Page: 1 1\nsave\n[" + figure_number(s) + " 0 0 " + figure_number(-s) + " 0 " + figure_number(height_ * s) + "] concat\n";
    for (const auto& entry : patterns_) {
      out += "/" + entry.second.first +
             " << /PatternType 1 /PaintType 1 /TilingType 1 /BBox [0 0 8 8] /XStep 8 /YStep 8 "
             "/PaintProc { pop\n" + entry.second.second + "} >> matrix makepattern def\n";
    }
    out += page_;
    out += "restore\nshowpage\n%%EOF\n";
    return out;
  }

  bool pdf_;
  int width_, height_, dpi_;
  const FigureText& text_;
  std::string page_;
  std::vector<std::string> fonts_, images_;
  std::map<std::string, std::pair<std::string, std::string>> patterns_;  // key: name, tile
  bool half_ = false;
};

}  // namespace

std::string make_figure(RecordingCanvas& list, FigureFormat format, int dpi, const FigureText& text) {
  if (format == FigureFormat::kPng || !list.complete()) return "";
  dpi = std::clamp(dpi, 1, 10000);
  const int w = list.width(), h = list.height();
  SvgWriter svg(w, h, dpi, text);
  PageWriter page(format == FigureFormat::kPdf, w, h, dpi, text);
  Writer& out = format == FigureFormat::kSvg ? static_cast<Writer&>(svg) : static_cast<Writer&>(page);
  FigureCanvas canvas(w, h, out, list);
  list.replay(canvas, true);
  return out.finish();
}

}  // namespace lumo::server
