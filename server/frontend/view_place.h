// Where a window's picture sits in its window on screen: the screen's scale
// (screen pixels a device pixel at 1:1), the zoom and the device point at
// the window's top left.  The program never sees any of it: input is
// turned back into its device pixels here.
#ifndef LUMO_SERVER_FRONTEND_VIEW_PLACE_H
#define LUMO_SERVER_FRONTEND_VIEW_PLACE_H

#include <algorithm>
#include <cmath>
#include <string>

namespace lumo::server {

class ViewPlace {
 public:
  static constexpr double kStep = 1.25;  // a wheel notch
  static constexpr double kMostZoom = 32;

  double scale = 1;
  int device_width = 1, device_height = 1;  // the picture's size

  double zoom() const { return std::min(kMostZoom, std::pow(kStep, notches_)); }
  bool one_to_one() const { return notches_ == 0; }
  // Screen pixels a device pixel.
  double k() const { return scale * zoom(); }
  double x0() const { return x0_; }
  double y0() const { return y0_; }
  // The window's size on screen.
  int screen_width() const { return screen_length(device_width); }
  int screen_height() const { return screen_length(device_height); }
  int screen_length(int device) const {
    const int n = static_cast<int>(std::ceil(device * scale - 1e-9));
    return n < 1 ? 1 : n;
  }
  // The device pixel under the screen pixel (sx, sy), within the picture.
  void device_at(int sx, int sy, int* x, int* y) const {
    *x = std::clamp(static_cast<int>(std::floor(x0_ + (sx + 0.5) / k())), 0, device_width - 1);
    *y = std::clamp(static_cast<int>(std::floor(y0_ + (sy + 0.5) / k())), 0, device_height - 1);
  }
  // Zooms by `notches` wheel notches (positive: closer) about the screen
  // pixel (sx, sy), which keeps the point under it.  False when nothing
  // changed (at 1:1 or the closest zoom already).
  bool zoom_about(int sx, int sy, int notches) {
    const int next = std::clamp(notches_ + notches, 0, kMostNotches);
    if (next == notches_) return false;
    const double u = x0_ + (sx + 0.5) / k(), v = y0_ + (sy + 0.5) / k();
    notches_ = next;
    x0_ = u - (sx + 0.5) / k();
    y0_ = v - (sy + 0.5) / k();
    keep_inside();
    return true;
  }
  // Moves the picture by (dx, dy) screen pixels.
  bool pan(double dx, double dy) {
    const double x = x0_, y = y0_;
    x0_ -= dx / k();
    y0_ -= dy / k();
    keep_inside();
    return x != x0_ || y != y0_;
  }
  bool reset() {
    const bool changed = !one_to_one();
    notches_ = 0;
    x0_ = y0_ = 0;
    return changed;
  }
  // The picture's new size: the place stays within it.
  void resized(int width, int height) {
    device_width = std::max(1, width);
    device_height = std::max(1, height);
    keep_inside();
  }
  // What the title adds while the zoom is not 1:1 (" - 244%").
  std::string title_suffix() const {
    if (one_to_one()) return "";
    return " - " + std::to_string(static_cast<long>(std::lround(zoom() * 100))) + "%";
  }

 private:
  static constexpr int kMostNotches = 16;  // 1.25^16 > 32: the last is 32
  void keep_inside() {
    const double w = screen_width() / k(), h = screen_height() / k();
    x0_ = std::clamp(x0_, 0.0, std::max(0.0, device_width - w));
    y0_ = std::clamp(y0_, 0.0, std::max(0.0, device_height - h));
    if (one_to_one()) x0_ = y0_ = 0;
  }
  int notches_ = 0;
  double x0_ = 0, y0_ = 0;
};

}  // namespace lumo::server

#endif
