// A window's picture drawn again from its display list at another size: at
// the screen's scale (HiDPI), zoomed about a point, or for a larger PNG.
// Every figure is drawn as a cairo path at the target's resolution, so
// lines and text stay sharp instead of showing magnified pixels; what the
// list keeps as pixels (raster operations, loaded pictures) is magnified.
#ifndef LUMO_SERVER_CANVAS_SCALED_VIEW_H
#define LUMO_SERVER_CANVAS_SCALED_VIEW_H

#include <cairo.h>

#include <memory>
#include <string>

#include "server/core/display_list.h"
#include "server/core/figure_files.h"

namespace lumo::server {

class CairoCanvas;

// The scales a screen or a picture file may take (LUMOVIEW_SCALE,
// LUMOVIEW_PNG_SCALE): 1, 1.25, 1.5, 2 and 3.
bool parse_view_scale(const std::string& text, double* scale);
// The supported scale nearest to an X resource's Xft.dpi (96 is 1).
double scale_of_dpi(double dpi);
// A length of `device` pixels on a screen of `scale` (rounded up, so the
// last pixel is whole).
int scaled_size(int device, double scale);

class ScaledView {
 public:
  ScaledView();
  ~ScaledView();
  ScaledView(const ScaledView&) = delete;
  ScaledView& operator=(const ScaledView&) = delete;

  // Brings the view up to date: a surface of width x height pixels showing
  // the list's device point (x0, y0) at its top left, `k` of its pixels to
  // a device pixel.  Only what was recorded since the last update is drawn
  // when nothing else changed.  With `ms`, it stops after about that long
  // (caught_up() tells whether it got to the end): a view of a program that
  // draws without pause costs its drawing a bounded share.  False when the
  // surface cannot be made.
  bool update(RecordingCanvas& list, int width, int height, double k, double x0, double y0, double ms = -1);
  bool caught_up() const { return caught_up_; }
  // The picture: plain pixels, one a surface unit (the same memory the
  // drawing went into through its scale and offset).
  cairo_surface_t* surface() const { return plain_; }
  // Forgets what is drawn: the next update draws the whole list.
  void invalidate() { cursor_ = ReplayCursor{}; }

 private:
  void drop();
  cairo_surface_t* surface_ = nullptr;
  cairo_surface_t* plain_ = nullptr;
  std::unique_ptr<CairoCanvas> canvas_;
  ReplayCursor cursor_;
  int width_ = 0, height_ = 0, list_width_ = 0, list_height_ = 0;
  double k_ = 0, x0_ = 0, y0_ = 0;
  bool caught_up_ = false;
};

}  // namespace lumo::server

#endif
