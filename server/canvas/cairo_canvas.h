// The Canvas of the POSIX server, drawn into a cairo image surface.  The
// smooth mode draws with cairo, anti-aliased; the crisp and raster modes
// follow the kit's pixel rules (pixel_rules.h) exactly, as GDI draws.
#ifndef LUMO_SERVER_CANVAS_CAIRO_CANVAS_H
#define LUMO_SERVER_CANVAS_CAIRO_CANVAS_H

#include <cairo.h>

#include <vector>

#include "server/canvas/coverage_fill.h"
#include "server/canvas/polygon_fill.h"
#include "server/canvas/pixel_rules.h"
#include "server/core/canvas.h"

namespace lumo::server {

// Where the figures of a canvas drawing a vector file go when cairo's own
// surface for the format is not what the file needs (SVG keeps text as
// text): each path as it would be filled or stroked, in device pixels.
class VectorSink {
 public:
  virtual ~VectorSink() = default;
  // The current path of `cr` (read in device space), filled with `brush`
  // under the fill rule set in `cr`.
  virtual void fill(cairo_t* cr, const Brush& brush) = 0;
  // The current path stroked with the line settings of `cr` in the colour.
  virtual void stroke(cairo_t* cr, Rgb colour) = 0;
  // Text at (x, y) of the user space `m` maps to device pixels.
  virtual void text(const cairo_matrix_t& m, double x, double y, const Font& font,
                    const std::string& utf8) = 0;
  virtual void image(int x, int y, int w, int h, const uint32_t* pixels) = 0;
  virtual void clear(Rgb background) = 0;
};

class CairoCanvas : public Canvas {
 public:
  CairoCanvas(int width, int height, Rgb background);
  // A canvas drawing on a vector surface (PDF, PostScript) or, with a sink,
  // handing its figures to the sink: every figure goes through cairo paths
  // (nothing here reads or writes pixels).
  CairoCanvas(cairo_surface_t* vector_surface, int width, int height, VectorSink* sink);
  // False once a drawing call failed in cairo (what came after it was lost).
  bool drawing_ok() const { return cairo_status(cr_) == CAIRO_STATUS_SUCCESS; }
  ~CairoCanvas() override;

  // The picture's surface, with everything drawn into it (finish()).
  cairo_surface_t* surface() {
    finish();
    return surface_;
  }
  // Anti-aliased one-pixel lines are gathered and drawn together, their
  // rows shared with a helper thread; every other use of the picture draws
  // them first, in order, so what it sees is as if each had been drawn at
  // once.  This draws what is gathered now.
  void finish();

  int width() const override { return width_; }
  int height() const override { return height_; }
  bool made() const override { return cairo_surface_status(surface_) == CAIRO_STATUS_SUCCESS; }
  void resize(int width, int height, Rgb background) override;
  void clear(Rgb background) override;
  void set_transform(const Transform& t) override;
  void line(const Pen& pen, Point a, Point b) override;
  void polyline(const Pen& pen, const Point* points, int count) override;
  void take_polyline(const Pen& pen, std::vector<Point>* points) override;
  void take_polygon(const Pen& pen, const Brush& brush, std::vector<Point>* points, bool winding) override;
  void take_polyline_at(const Pen& pen, std::vector<SubPoint>* points) override;
  void polygon(const Pen& pen, const Brush& brush, const Point* points, int count,
               bool winding) override;
  void bezier(const Pen& pen, const Point* points, int count) override;
  void rect(const Pen& pen, const Brush& brush, Point a, Point b) override;
  void round_rect(const Pen& pen, const Brush& brush, Point a, Point b, int corner_w,
                  int corner_h) override;
  void ellipse(const Pen& pen, const Brush& brush, Point a, Point b) override;
  void arc(ArcKind kind, const Pen& pen, const Brush& brush, Point a, Point b, Point start,
           Point end) override;
  void text(const Font& font, Point at, const std::string& text) override;
  void line_at(const Pen& pen, SubPoint a, SubPoint b) override;
  void polyline_at(const Pen& pen, const SubPoint* points, int count) override;
  void polygon_at(const Pen& pen, const Brush& brush, const SubPoint* points, int count,
                  bool winding) override;
  void bezier_at(const Pen& pen, const SubPoint* points, int count) override;
  void ellipse_at(const Pen& pen, const Brush& brush, SubPoint a, SubPoint b) override;
  void arc_at(ArcKind kind, const Pen& pen, const Brush& brush, SubPoint a, SubPoint b,
              SubPoint start, SubPoint end) override;
  void text_at(const Font& font, SubPoint at, const std::string& text) override;
  TextSize measure(const Font& font, const std::string& text) override;
  void set_pixel(Point p, Rgb colour) override;
  bool get_pixel(Point p, Rgb* colour) override;
  bool save_png(const std::string& path) override;
  bool load_png(const std::string& path) override;
  std::unique_ptr<BesideTask> start_png_read(const std::string& path) override;
  bool put_png_read(BesideTask& read) override;
  std::unique_ptr<BesideTask> start_png_write(const std::string& path) override;
  bool read_pixels(int x, int y, int w, int h, uint32_t* out) override;
  void draw_image(int x, int y, int w, int h, const uint32_t* pixels) override;
  // Long outlines (polylines, flattened curves) are drawn in slices of about
  // this long.
  void set_slice(double seconds) override { slice_ = seconds; }
  bool work_left() const override { return job_.left || fill_job_.left; }
  bool continue_work() override;
  uint64_t work_serial() const override { return work_serial_; }

 private:
  // A picture read from a PNG file, over everything drawn, at (0, 0).
  void put_picture(cairo_surface_t* image);
  bool exact_here(const Pen& pen) const;
  bool exact_here(const Pen& pen, const pixels::Box& box) const;
  // Fills the current path with the source set (or hands it to the sink);
  // `keep` keeps the path.
  void fill_path(const Brush& brush, bool keep);
  struct DevicePoint {
    double x, y;
  };
  // Pixel access for the exact modes.
  pixels::Box clip() const { return {0, 0, width_ - 1, height_ - 1}; }
  uint32_t* begin_pixels();
  void end_pixels();
  pixels::Painter pen_painter(const Pen& pen);
  pixels::Painter brush_painter(const Pen& pen, const Brush& brush);
  Point to_device(Point p) const;
  bool figure_box(const Pen& pen, Point a, Point b, pixels::Box* box) const;
  DevicePoint to_device_exact(Point p) const;
  // A sub-pixel position on the surface, and in the space the figures
  // drawn through the drawing transformation's matrix use.
  DevicePoint sub_device(SubPoint p) const;
  // The same with the transformation given (a long outline's, as it was
  // when the outline came).
  static DevicePoint sub_device(SubPoint p, bool transformed, Point offset, const Transform& t);
  DevicePoint sub_user(SubPoint p) const;
  void stroke_sub_points(const Pen& pen, const SubPoint* points, int count, bool closed);
  // Text with its reference point at (x, y) of the figures' space.
  // `between`: the point lies between pixels.
  void draw_text(const Font& font, double x, double y, const std::string& text, bool between = false);

  void begin();  // a fresh path with the drawing transformation
  // The outline through points given to the canvas (the drawing
  // transformation applies), or through points already on the surface.
  void stroke_points(const Pen& pen, const Point* points, int count, bool closed);
  void stroke_device_points(const Pen& pen, const Point* points, int count, bool closed);
  void smooth_polyline(const Pen& pen, std::vector<DevicePoint> points, bool closed);
  void set_source(const Pen& pen, const Brush& brush);
  // The current path, filled with the brush and outlined with the pen; in the
  // exact modes through the mask, anti-aliased otherwise.
  void fill_and_stroke(const Pen& pen, const Brush& brush);
  void stroke(const Pen& pen);
  // Strokes the current path with the pen as the line settings stand: through
  // the mask in the exact modes, anti-aliased otherwise.
  void paint_stroke(const Pen& pen);
  void paint_through_mask(bool fill, const Pen& pen, pixels::Sink& painter);
  void use_font(const Font& font);
  // Whether glyphs of the font stay within what FreeType can make under the
  // transformation (see text()).
  bool glyphs_possible(const Font& font) const;

  // A gathered line: its colour and ends (device pixels), its rows.
  struct QueuedLine {
    uint32_t colour;
    int32_t top, bottom;
    DevicePoint a, b;
  };
  void queue_line(uint32_t colour, DevicePoint a, DevicePoint b);
  void draw_queued_lines();
  static void draw_line_rows(void* canvas, int chunk);
  // Direct pixel access left open for more single pixels and gathered
  // lines (ended by finish()).
  uint32_t* open_pixels();

  // Outlines given with up to this many points are put on the surface at
  // once, longer ones in their slices.
  static constexpr size_t kPointsTakenAtOnce = 32768;
  // A one-pixel outline by the pixel rules of more points is drawn in slices.
  static constexpr int kExactSegmentsAtOnce = 1024;
  // A long outline being drawn: its device points and how far it is.
  struct StrokeJob {
    enum Stage { kTakeIn, kThinColumns, kThinRows, kMeasure, kStroke };
    Stage stage = kStroke;
    Pen pen;
    // Points as given (before the drawing transformation, as it was when
    // they came), put on the surface a piece at a time.
    std::vector<Point> given;
    std::vector<SubPoint> given_at;
    // Or Bezier curves (control points 3k + 1, on the surface) flattened
    // into the points a piece at a time: at most `curve_most` points a
    // curve, rounded to whole pixels (repeats dropped) when `curve_whole`.
    std::vector<DevicePoint> curves;
    int curve_most = 0;
    bool curve_whole = false;
    bool transformed = false;
    Point offset{0, 0};
    Transform transform;
    std::vector<DevicePoint> raw, mid;  // as given, thinned by columns
    std::vector<DevicePoint> pts;       // as drawn
    size_t at = 0;                      // how far the stage is
    double length = 0;
    bool thin = false;
    bool closed = false;
    bool quick = false;  // a one-pixel solid line laid down directly
    bool exact = false;  // one-pixel lines by the pixel rules
    bool sliced = false;
    bool left = false;   // segments remain
    int per_stroke = 0;
    size_t next = 0;     // the next segment
    int64_t phase = 0;   // of the dash pattern
    bool joined = false, clipped = false;
    int width = 0, height = 0;  // the picture's size when it came
  };
  void run_stroke_job();
  // A new long outline's job, its points still to be put in (count of them),
  // and its start: the first slice.  Points given (whole or sub-pixel) are
  // put on the surface in its slices.
  StrokeJob& new_stroke_job(const Pen& pen, bool closed, size_t count);
  void start_stroke_job();

  // A polygon of very many points filled a few rows at a time in slices
  // (anti-aliased in the smooth mode, by the pixel rules in the exact
  // ones); its outline is drawn when it is filled.
  struct FillJob {
    bool exact = false;
    pixels::CoverageFill fill;
    pixels::PolygonFill exact_fill;
    Pen pen;
    Brush brush;
    std::vector<Point> points;  // on the surface
    int width = 0, height = 0;  // the picture's size when it came
    bool left = false;
  };
  // A slice of the fill until `stop` (by default a slice from now).
  void run_fill_job(double stop = -1);
  // A polygon through `p`, or through the points of `taken` (which it
  // takes where it fills them in slices: no copy of a million points).
  void polygon_of(const Pen& pen, const Brush& brush, const Point* p, int count, bool winding,
                  std::vector<Point>* taken);

  int width_;
  int height_;
  double slice_ = 0;
  StrokeJob job_;
  FillJob fill_job_;
  uint64_t work_serial_ = 0;
  std::vector<QueuedLine> lines_;
  int32_t lines_top_ = 0, lines_bottom_ = 0;  // rows the gathered lines may touch
  int row_chunks_ = 1;
  bool pixels_open_ = false;
  uint32_t* open_data_ = nullptr;
  size_t open_stride_ = 0;  // in pixels
  bool vector_ = false;
  VectorSink* sink_ = nullptr;
  cairo_surface_t* surface_ = nullptr;
  cairo_t* cr_ = nullptr;
  cairo_matrix_t matrix_;
  bool transformed_ = false;  // a transformation beyond a whole-pixel move
  Point offset_{0, 0};        // the move, when that is all it is
  Transform transform_;
  cairo_surface_t* mask_ = nullptr;  // made when first needed
  // The font last chosen in cr_ (use_font).
  bool font_chosen_ = false;
  std::string font_face_;
  bool font_bold_ = false;
  int font_size_ = 0;
};

class CairoCanvasFactory : public CanvasFactory {
 public:
  std::unique_ptr<Canvas> create(int width, int height, Rgb background) override {
    return std::make_unique<CairoCanvas>(width, height, background);
  }
  std::unique_ptr<BesideTask> prepare(int width, int height) override;
  void offer(const BesideTask* prepared) override;
};

}  // namespace lumo::server

#endif
