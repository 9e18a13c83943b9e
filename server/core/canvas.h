// What the server core asks of a drawing surface.  The core decides what
// every number of the protocol means and calls these operations in device
// pixels; cairo (POSIX) and GDI (Windows) implement them.
#ifndef LUMO_SERVER_CORE_CANVAS_H
#define LUMO_SERVER_CORE_CANVAS_H

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "common/lumo_wire.h"

namespace lumo::server {

struct Rgb {
  uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};

struct Point {
  int32_t x, y;
};

// A device position in 1/wire::kSubpixelScale pixel: the figures of the
// smooth mode keep their positions between pixels.  Continuous position v
// is drawn where pixel v would be centred (v + 0.5 on a cairo surface).
struct SubPoint {
  int32_t x, y;
};

inline Point whole_point(SubPoint p) { return {wire::subpixel_whole(p.x), wire::subpixel_whole(p.y)}; }
inline bool on_whole_pixels(const SubPoint* p, int count) {
  for (int i = 0; i < count; ++i) {
    if (((p[i].x | p[i].y) & (wire::kSubpixelScale - 1)) != 0) return false;
  }
  return true;
}

// Pen styles.
enum PenStyle { kSolid = 0, kDash, kDot, kDashDot, kDashDotDot, kInvisible, kInsideFrame,
                kLongDash, kFineDot, kDashDashDot };

// How a pen or brush combines with what is there.
enum class Blend {
  kSmooth,   // anti-aliased copy
  kCrisp,    // copy without anti-aliasing
  kInvert,   // inverts what is there (the colour is not used)
  kXor,      // difference with the colour
  kBlack,
  kWhite,
};

struct Pen {
  Rgb colour;
  int style = kSolid;
  int width = 1;
  Blend blend = Blend::kSmooth;
  bool operator==(const Pen& o) const {
    return colour == o.colour && style == o.style && width == o.width && blend == o.blend;
  }
};

enum BrushStyle { kBrushSolid = 0, kBrushHollow = 1, kBrushHatched = 2, kBrushHalf = 3 };

struct Brush {
  Rgb colour;
  int style = kBrushHollow;
  int hatch = 0;  // 0 horizontal, 1 vertical, 2 forward diagonal, 3 backward, 4 cross, 5 diagonal cross
  bool operator==(const Brush& o) const { return colour == o.colour && style == o.style && hatch == o.hatch; }
};

struct Font {
  std::string face;   // empty: the default face
  int height = 16;    // pixels
  int angle = 0;      // tenths of a degree, counter-clockwise
  int align = 0;      // horizontal = align % 3 (left, centre, right);
                      // vertical = align / 3 (baseline, middle, top)
  int weight = 0;     // 700 or more: bold
  Rgb colour;
  bool operator==(const Font& o) const {
    return face == o.face && height == o.height && angle == o.angle && align == o.align &&
           weight == o.weight && colour == o.colour;
  }
};

struct TextSize {
  int width = 0, height = 0, ascent = 0, descent = 0;
};

enum class ArcKind { kArc, kChord, kPie };

// Affine device transformation: x' = m11 x + m21 y + dx, y' = m12 x + m22 y + dy.
struct Transform {
  double m11 = 1, m12 = 0, m21 = 0, m22 = 1, dx = 0, dy = 0;
  bool identity() const { return m11 == 1 && m12 == 0 && m21 == 0 && m22 == 1 && dx == 0 && dy == 0; }
  void apply(double* x, double* y) const {
    const double u = *x, v = *y;
    *x = m11 * u + m21 * v + dx;
    *y = m12 * u + m22 * v + dy;
  }
  // This transformation after `t` (t applies first).
  Transform then(const Transform& t) const {
    return {m11 * t.m11 + m21 * t.m12, m12 * t.m11 + m22 * t.m12, m11 * t.m21 + m21 * t.m22,
            m12 * t.m21 + m22 * t.m22, m11 * t.dx + m21 * t.dy + dx, m12 * t.dx + m22 * t.dy + dy};
  }
  // How it scales lengths (the mean of its two directions').
  double scale() const {
    const double det = m11 * m22 - m12 * m21;
    return std::sqrt(det < 0 ? -det : det);
  }
};

// A transformation that cannot be inverted would squash everything drawn
// onto a line: it is ignored (the identity applies).
inline bool invertible(const Transform& t) {
  const double det = t.m11 * t.m22 - t.m12 * t.m21;
  return det > 1e-9 || det < -1e-9;
}

// Work going on beside the command loop, on a thread of the canvas layer's
// own (a picture read from a file, a drawing file written), so that the
// loop serves other programs meanwhile.  It touches nothing the loop uses.
class BesideTask {
 public:
  // Waits for the work to end (a picture read is broken off at once).
  virtual ~BesideTask() = default;
  // Waits at most `seconds` for the work to end; true once it has.
  virtual bool wait(double seconds) = 0;
  // Once it has ended: whether the work succeeded, and errno when it did not.
  virtual bool succeeded() const = 0;
  virtual int error() const = 0;
};

// A figure's points: those of `taken` when the canvas was handed them
// (moved out, the vector left empty), else a copy of the `count` at `p`.
inline std::vector<Point> taken_or_copied(std::vector<Point>* taken, const Point* p, int count) {
  if (!taken) return std::vector<Point>(p, p + count);
  std::vector<Point> out = std::move(*taken);
  taken->clear();
  return out;
}

class Canvas {
 public:
  virtual ~Canvas() = default;
  virtual int width() const = 0;
  virtual int height() const = 0;
  // Whether the picture could be made (memory for its pixels was had).
  virtual bool made() const { return true; }
  // Grows or shrinks the surface; what was drawn stays where it fits.  A
  // surface that cannot be had leaves the picture as it was.
  virtual void resize(int width, int height, Rgb background) = 0;
  virtual void clear(Rgb background) = 0;
  virtual void set_transform(const Transform& t) = 0;

  virtual void line(const Pen& pen, Point a, Point b) = 0;
  virtual void polyline(const Pen& pen, const Point* points, int count) = 0;
  // The same through the vector's points, which the canvas may take (the
  // vector is then left empty): a long outline drawn in slices keeps them
  // instead of a copy.
  virtual void take_polyline(const Pen& pen, std::vector<Point>* points) {
    polyline(pen, points->data(), static_cast<int>(points->size()));
  }
  virtual void polygon(const Pen& pen, const Brush& brush, const Point* points, int count,
                       bool winding) = 0;
  // As take_polyline: a polygon through the vector's points, which the
  // canvas may take.
  virtual void take_polygon(const Pen& pen, const Brush& brush, std::vector<Point>* points, bool winding) {
    polygon(pen, brush, points->data(), static_cast<int>(points->size()), winding);
  }
  virtual void bezier(const Pen& pen, const Point* points, int count) = 0;
  virtual void rect(const Pen& pen, const Brush& brush, Point a, Point b) = 0;
  virtual void round_rect(const Pen& pen, const Brush& brush, Point a, Point b, int corner_w,
                          int corner_h) = 0;
  virtual void ellipse(const Pen& pen, const Brush& brush, Point a, Point b) = 0;
  // Counter-clockwise on screen from the direction of `start` to that of `end`
  // (seen from the centre of the box); equal directions: the whole ellipse.
  virtual void arc(ArcKind kind, const Pen& pen, const Brush& brush, Point a, Point b,
                   Point start, Point end) = 0;
  virtual void text(const Font& font, Point at, const std::string& text) = 0;

  // The figures at sub-pixel positions.  A surface that keeps whole pixels
  // (and every pen that is not smooth) draws them at their whole pixels.
  virtual void line_at(const Pen& pen, SubPoint a, SubPoint b) { line(pen, whole_point(a), whole_point(b)); }
  virtual void polyline_at(const Pen& pen, const SubPoint* points, int count) {
    const std::vector<Point> p = whole_points(points, count);
    polyline(pen, p.data(), count);
  }
  // As take_polyline.
  virtual void take_polyline_at(const Pen& pen, std::vector<SubPoint>* points) {
    polyline_at(pen, points->data(), static_cast<int>(points->size()));
  }
  virtual void polygon_at(const Pen& pen, const Brush& brush, const SubPoint* points, int count,
                          bool winding) {
    const std::vector<Point> p = whole_points(points, count);
    polygon(pen, brush, p.data(), count, winding);
  }
  virtual void bezier_at(const Pen& pen, const SubPoint* points, int count) {
    const std::vector<Point> p = whole_points(points, count);
    bezier(pen, p.data(), count);
  }
  virtual void ellipse_at(const Pen& pen, const Brush& brush, SubPoint a, SubPoint b) {
    ellipse(pen, brush, whole_point(a), whole_point(b));
  }
  virtual void arc_at(ArcKind kind, const Pen& pen, const Brush& brush, SubPoint a, SubPoint b,
                      SubPoint start, SubPoint end) {
    arc(kind, pen, brush, whole_point(a), whole_point(b), whole_point(start), whole_point(end));
  }
  virtual void text_at(const Font& font, SubPoint at, const std::string& s) { text(font, whole_point(at), s); }

  virtual TextSize measure(const Font& font, const std::string& text) = 0;

  virtual void set_pixel(Point p, Rgb colour) = 0;
  // False outside the surface.
  virtual bool get_pixel(Point p, Rgb* colour) = 0;

  virtual bool save_png(const std::string& path) = 0;
  virtual bool load_png(const std::string& path) = 0;
  // load_png in two steps: the file read beside the command loop, then the
  // picture put on the canvas as load_png puts it (false when the file
  // could not be read whole).  Null from a canvas that reads only at once.
  virtual std::unique_ptr<BesideTask> start_png_read(const std::string& path) {
    (void)path;
    return nullptr;
  }
  virtual bool put_png_read(BesideTask& read) {
    (void)read;
    return false;
  }
  // save_png beside the command loop: the picture's pixels written as they
  // are while the task lives, so nothing may change them until it has
  // ended (RecordingCanvas waits for it first).  Null from a canvas that
  // writes only at once.
  virtual std::unique_ptr<BesideTask> start_png_write(const std::string& path) {
    (void)path;
    return nullptr;
  }

  // Copies the w x h pixels at (x, y) as 0x00RRGGBB, rows top down; false
  // when the area does not lie on the surface.  A canvas with direct access
  // to its pixels does this faster than pixel by pixel.
  virtual bool read_pixels(int x, int y, int w, int h, uint32_t* out) {
    if (x < 0 || y < 0 || w < 0 || h < 0 || x + w > width() || y + h > height()) return false;
    for (int j = 0; j < h; ++j) {
      for (int i = 0; i < w; ++i) {
        Rgb c;
        get_pixel({x + i, y + j}, &c);
        out[static_cast<size_t>(j) * w + i] = (uint32_t{c.r} << 16) | (uint32_t{c.g} << 8) | c.b;
      }
    }
    return true;
  }
  // Long drawing in slices.  With a slice set (seconds; 0, the default,
  // draws every figure at once), a figure that would take longer leaves the
  // rest of its work in the canvas: continue_work() draws about one more
  // slice of it and answers whether work is still left.  Other figures may
  // be drawn between slices, over the part drawn so far; a new long figure
  // first finishes the one left.  A canvas that cannot slice ignores this.
  virtual void set_slice(double seconds) { (void)seconds; }
  virtual bool work_left() const { return false; }
  virtual bool continue_work() { return false; }
  // Advances whenever a figure leaves work.
  virtual uint64_t work_serial() const { return 0; }
  void finish_work() {
    while (continue_work()) {
    }
  }
  // Puts w x h pixels (0x00RRGGBB, rows top down) at (x, y), untransformed.
  virtual void draw_image(int x, int y, int w, int h, const uint32_t* pixels) {
    for (int j = 0; j < h; ++j) {
      for (int i = 0; i < w; ++i) {
        const uint32_t v = pixels[static_cast<size_t>(j) * w + i];
        set_pixel({x + i, y + j}, Rgb{static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8),
                                      static_cast<uint8_t>(v)});
      }
    }
  }

 protected:
  static std::vector<Point> whole_points(const SubPoint* p, int count) {
    std::vector<Point> out(static_cast<size_t>(count > 0 ? count : 0));
    for (size_t i = 0; i < out.size(); ++i) out[i] = whole_point(p[i]);
    return out;
  }
};

class CanvasFactory {
 public:
  virtual ~CanvasFactory() = default;
  virtual std::unique_ptr<Canvas> create(int width, int height, Rgb background) = 0;
  // Makes beside the loop what a picture of this size needs before its
  // window opens, when making it at once could hold every program up; null
  // when there is nothing to make.
  virtual std::unique_ptr<BesideTask> prepare(int /*width*/, int /*height*/) { return nullptr; }
  // While a command is handled: what prepare() made for it (null: nothing),
  // which the pictures it makes may take, and no other command's.
  virtual void offer(const BesideTask* /*prepared*/) {}
};

}  // namespace lumo::server

#endif
