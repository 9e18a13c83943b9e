// The Canvas of the Windows server, drawn with GDI into a DIB section.
#ifndef LUMO_SERVER_CANVAS_GDI_CANVAS_H
#define LUMO_SERVER_CANVAS_GDI_CANVAS_H

#include <windows.h>

#include <functional>

#include "server/canvas/large_figures.h"
#include "server/core/canvas.h"

namespace lumo::server {

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
  TextSize measure(const Font& font, const std::string& text) override;
  void set_pixel(Point p, Rgb colour) override;
  bool get_pixel(Point p, Rgb* colour) override;
  bool save_png(const std::string& path) override;
  bool load_png(const std::string& path) override;

 private:
  // Selects a pen and brush (and the mix mode) for one figure; the
  // destructor puts the previous ones back.
  class Tools;
  void make_surface(int width, int height);
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

  int width_;
  int height_;
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ old_bitmap_ = nullptr;
  uint32_t* bits_ = nullptr;
  bool advanced_ = false;  // a transformation is set (GDI's advanced mode)
  Transform transform_;
  int fill_mode_ = ALTERNATE;
};

class GdiCanvasFactory : public CanvasFactory {
 public:
  std::unique_ptr<Canvas> create(int width, int height, Rgb background) override {
    return std::make_unique<GdiCanvas>(width, height, background);
  }
};

}  // namespace lumo::server

#endif
