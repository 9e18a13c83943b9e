// The Canvas of the Windows server, drawn with GDI into a DIB section.
#ifndef LUMO_SERVER_CANVAS_GDI_CANVAS_H
#define LUMO_SERVER_CANVAS_GDI_CANVAS_H

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <vector>

#include "server/canvas/gdi_mask.h"
#include "server/canvas/large_figures.h"
#include "server/canvas/polygon_fill.h"
#include "server/core/canvas.h"

namespace lumo::server {

// Coordinates are pulled in to this before they reach GDI.
inline constexpr int kGdiReach = 1 << 20;
inline int gdi_coord(int v) { return std::clamp(v, -kGdiReach, kGdiReach); }
inline Point point_of(POINT p) { return {static_cast<int32_t>(p.x), static_cast<int32_t>(p.y)}; }
// A Point is laid out as GDI's POINT: points are handed to GDI as they are.
static_assert(sizeof(Point) == sizeof(POINT) && sizeof(Point::x) == sizeof(POINT::x), "a Point is GDI's POINT");
inline const POINT* gdi_points_of(const Point* p) { return reinterpret_cast<const POINT*>(p); }
// The steps a styled pen's pattern takes along a line through the points
// (the longer side of each segment).
inline int64_t pattern_steps(const POINT* p, size_t count) {
  int64_t steps = 0;
  for (size_t i = 1; i < count; ++i) steps += std::max(std::abs(p[i].x - p[i - 1].x), std::abs(p[i].y - p[i - 1].y));
  return steps;
}

class GdiCanvas : public Canvas {
 public:
  GdiCanvas(int width, int height, Rgb background);
  ~GdiCanvas() override;

  HDC dc() const { return dc_; }

  int width() const override { return width_; }
  int height() const override { return height_; }
  void resize(int width, int height, Rgb background) override;
  void clear(Rgb background) override;
  void set_transform(const Transform& t) override;
  void line(const Pen& pen, Point a, Point b) override;
  void polyline(const Pen& pen, const Point* points, int count) override;
  void take_polyline(const Pen& pen, std::vector<Point>* points) override;
  void polygon(const Pen& pen, const Brush& brush, const Point* points, int count,
               bool winding) override;
  void take_polygon(const Pen& pen, const Brush& brush, std::vector<Point>* points, bool winding) override;
  void bezier(const Pen& pen, const Point* points, int count) override;
  void rect(const Pen& pen, const Brush& brush, Point a, Point b) override;
  void round_rect(const Pen& pen, const Brush& brush, Point a, Point b, int corner_w,
                  int corner_h) override;
  void ellipse(const Pen& pen, const Brush& brush, Point a, Point b) override;
  void arc(ArcKind kind, const Pen& pen, const Brush& brush, Point a, Point b, Point start,
           Point end) override;
  void text(const Font& font, Point at, const std::string& text) override;
  TextSize measure(const Font& font, const std::string& text) override;
  void set_pixel(Point p, Rgb colour) override;
  bool get_pixel(Point p, Rgb* colour) override;
  bool save_png(const std::string& path) override;
  std::unique_ptr<BesideTask> start_png_write(const std::string& path) override;
  bool load_png(const std::string& path) override;
  // Long figures in slices (gdi_slices.cpp).
  void set_slice(double seconds) override {
    slice_ = seconds;
    if (slice_ <= 0) settle();
  }
  bool work_left() const override { return job_.kind != Job::kNone || paint_.pending; }
  bool continue_work() override;
  uint64_t work_serial() const override { return work_serial_; }

 private:
  // Selects a pen and brush (and the mix mode) for one figure; the
  // destructor puts the previous ones back.
  class Tools;
  void make_surface(int width, int height);
  // A large picture's pixels are written a band of rows at a time: the
  // first write into fresh memory is slow (about 3 ms a megabyte under
  // Wine: 0.6 s for 8,000 x 6,000 pixels, every program held).  The
  // background, and where a resized picture keeps its pixels, the old
  // surface's (kept until then).  Any figure, pixel or read first has the
  // rest written; a long figure goes on once it is.
  struct Paint {
    bool pending = false;
    uint32_t background = 0;
    int next = 0;                     // the first row not yet written
    HBITMAP old_bitmap = nullptr;     // the picture before a resize
    const uint32_t* old_bits = nullptr;
    int old_width = 0, old_height = 0;
  };
  // Starts writing the new surface (the background, and `old`'s pixels of
  // the picture before), at once when it is small.
  void start_paint(uint32_t background, HBITMAP old, const uint32_t* old_bits, int old_width, int old_height);
  void paint_rows(int rows);
  void paint_for(double seconds);  // gdi_slices.cpp
  void settle() {
    if (paint_.pending) paint_rows(height_);
  }
  // Draws with the pen selected (and no brush), on `dc` when given.
  void with_pen(const Pen& pen, const std::function<void(HDC)>& draw, HDC dc = nullptr);
  HFONT make_font(const Font& font) const;
  // GDI brushes cannot blend: a half brush's inside is found by drawing the
  // figure into a scratch surface and blended here.
  void half_fill(const Brush& brush, const std::function<void(HDC)>& figure);
  // In the copy modes an open line ends on its last pixel, which GDI leaves
  // out; `steps` is the pattern position there.
  void end_pixel(const Pen& pen, Point p, int64_t steps);
  // Whether an ellipse or arc figure in the box a-b is too large for GDI;
  // such figures are drawn by the pixel rules.
  bool too_large(Point a, Point b) const;
  void draw_large(const pixels::LargeFigure& f, const Pen& pen, const Brush& brush);

  // A long figure drawn a slice at a time: a polygon's fill by the pixel
  // rules a few rows at a time (a transformed polygon's points taken onto
  // the surface first), then its outline (or a polyline, or Bezier curves)
  // a piece of points at a time through GDI under the transformation it
  // came with, or when styled by the pixel rules' line.  A wide outline
  // with a raster operation goes into a mask first (and a polygon's fill,
  // then, stops at it), and the mask onto the picture last, a band of rows
  // at a time.
  struct Job {
    enum Kind { kNone, kDevice, kFill, kOutline, kCurves, kApply, kDashed } kind = kNone;
    Pen pen;
    Brush brush;
    Transform transform;
    std::vector<Point> corners;  // the polygon's points on the surface, for its fill
    Point origin{0, 0};          // the viewport's origin it came with
    pixels::PolygonFill fill;
    std::vector<Point> points;   // the outline's points as GDI takes them (a polygon's closed)
    size_t next = 0;             // where the next piece starts
    bool end_pixel = false;      // an open line's last pixel is drawn after it
    OutlineMask mask;            // the outline's pixels, when made
    bool winding = false;        // the polygon's fill rule
    bool curves = false;         // a styled outline's points are Bezier curves
    int64_t phase = 0;           // a styled outline's pattern steps so far
    int64_t steps = 0;           // and all of them, as an open line's last pixel takes them
  };
  // Whether the figure goes in slices (and it is started): a polyline,
  // Bezier curves or a polygon's outline without a brush, of many points,
  // or a polygon of many points with a brush.
  // With `taken`, the figure's points are taken from it (then left empty)
  // where the figure goes in slices: a copy of a million points into fresh
  // memory took 22 ms under Wine, every program held.
  bool slice_outline(const Pen& pen, const Point* points, int count, bool curves, bool closed = false,
                     std::vector<Point>* taken = nullptr);
  bool slice_polygon(const Pen& pen, const Brush& brush, const Point* points, int count, bool winding,
                     std::vector<Point>* taken = nullptr);
  // A slice of the job, until `stop` (by default a slice from now): the
  // first slice ends a slice after the figure came, its points taken in.
  void run_job(double stop = -1);
  // The stages of a job, each until it is done or the clock passes `stop`.
  void start_dashes();
  void dashed_lines(double stop);
  void device_points(double stop);
  void start_fill();
  void fill_rows(double stop);
  void outline_pieces(double stop);
  void apply_mask(double stop);
  // Draws the outline whole or starts it in pieces, once a polygon is filled.
  void outline_after_fill();
  static std::vector<Point> outline_points(const Job& job);
  // The next stage of a figure drawn through a mask: its fill or the mask
  // put on the picture, once the outline is in the mask.
  void after_mask();
  // An outline's last stage: an open line's last pixel, and the job done.
  void end_outline();

  int width_;
  int height_;
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ old_bitmap_ = nullptr;
  uint32_t* bits_ = nullptr;
  bool advanced_ = false;  // a transformation is set (GDI's advanced mode)
  Transform transform_;
  Transform given_;  // the transformation last set, whatever mode it took
  int fill_mode_ = ALTERNATE;
  double slice_ = 0;
  Job job_;
  Paint paint_;
  uint64_t work_serial_ = 0;
};

class GdiCanvasFactory : public CanvasFactory {
 public:
  std::unique_ptr<Canvas> create(int width, int height, Rgb background) override {
    return std::make_unique<GdiCanvas>(width, height, background);
  }
};

}  // namespace lumo::server

#endif
