// What the figure writer's files share: paths in device pixels, strokes,
// and the writer of one format (figure_writer.cpp writes SVG and drives
// them; figure_page.cpp writes PDF and EPS).
#ifndef LUMO_SERVER_CANVAS_FIGURE_PATHS_H
#define LUMO_SERVER_CANVAS_FIGURE_PATHS_H

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "server/canvas/figure_writer.h"
#include "server/core/canvas.h"

namespace lumo::server::figure {

constexpr double kPi = 3.14159265358979323846;

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
    // A cubic strays up to 2.7e-4 of the radius from a quarter turn, and
    // by the sixth power of its angle less from a smaller piece: enough
    // pieces that a large ellipse stays within a twentieth of a pixel.
    const double per_quarter =
        std::max(1.0, std::ceil(std::pow(2.7e-4 * std::max(std::fabs(rx), std::fabs(ry)) / 0.05, 1.0 / 6)));
    const int pieces =
        std::max(1, static_cast<int>(std::ceil(std::fabs(to - from) / (kPi / 2) * per_quarter - 1e-9)));
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

// The writer of a PDF page (pdf true) or an EPS one.
std::unique_ptr<Writer> page_writer(bool pdf, int width, int height, int dpi, const FigureText& text);

}  // namespace lumo::server::figure

#endif
