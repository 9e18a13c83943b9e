// The Canvas of the POSIX server, drawn with cairo into an image surface.
#ifndef LUMO_SERVER_CANVAS_CAIRO_CANVAS_H
#define LUMO_SERVER_CANVAS_CAIRO_CANVAS_H

#include <cairo.h>

#include "server/core/canvas.h"

namespace lumo::server {

class CairoCanvas : public Canvas {
 public:
  CairoCanvas(int width, int height, Rgb background);
  ~CairoCanvas() override;

  cairo_surface_t* surface() { return surface_; }

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
  void begin();  // a fresh context state with the drawing transformation
  void fill_and_stroke(const Pen& pen, const Brush& brush);
  void stroke(const Pen& pen);
  void use_font(const Font& font);

  int width_;
  int height_;
  cairo_surface_t* surface_ = nullptr;
  cairo_t* cr_ = nullptr;
  cairo_matrix_t matrix_;
};

class CairoCanvasFactory : public CanvasFactory {
 public:
  std::unique_ptr<Canvas> create(int width, int height, Rgb background) override {
    return std::make_unique<CairoCanvas>(width, height, background);
  }
};

}  // namespace lumo::server

#endif
