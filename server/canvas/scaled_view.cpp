#include "server/canvas/scaled_view.h"

#include <time.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "server/canvas/beside_thread.h"
#include "server/canvas/cairo_canvas.h"
#include "server/canvas/file_output.h"
#include "server/canvas/png_stream.h"

namespace lumo::server {

namespace {

constexpr double kScales[] = {1, 1.25, 1.5, 2, 3};

}  // namespace

bool parse_view_scale(const std::string& text, double* scale) {
  if (text.empty()) return false;
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (*end) return false;
  for (double s : kScales) {
    if (v == s) {
      *scale = s;
      return true;
    }
  }
  return false;
}

double scale_of_dpi(double dpi) {
  double best = 1;
  for (double s : kScales) {
    if (std::fabs(dpi / 96.0 - s) < std::fabs(dpi / 96.0 - best)) best = s;
  }
  return best;
}

int scaled_size(int device, double scale) {
  const int n = static_cast<int>(std::ceil(device * scale - 1e-9));
  return n < 1 ? 1 : n;
}

ScaledView::ScaledView() = default;

ScaledView::~ScaledView() { drop(); }

void ScaledView::drop() {
  canvas_.reset();
  if (plain_) cairo_surface_destroy(plain_);
  if (surface_) cairo_surface_destroy(surface_);
  plain_ = surface_ = nullptr;
}

bool ScaledView::update(RecordingCanvas& list, int width, int height, double k, double x0, double y0, double ms) {
  if (width < 1 || height < 1) return false;
  if (!surface_ || width != width_ || height != height_) {
    drop();
    surface_ = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    if (cairo_surface_status(surface_) != CAIRO_STATUS_SUCCESS) {
      drop();
      return false;
    }
    plain_ = cairo_image_surface_create_for_data(cairo_image_surface_get_data(surface_), CAIRO_FORMAT_RGB24,
                                                 width, height, cairo_image_surface_get_stride(surface_));
    width_ = width, height_ = height;
    k_ = 0;
  }
  // Another scale, place or size of the window: drawn anew.  (A window's
  // size changes only through the list, but a new size means a new page.)
  if (k != k_ || x0 != x0_ || y0 != y0_ || list.width() != list_width_ || list.height() != list_height_ ||
      !canvas_) {
    k_ = k, x0_ = x0, y0_ = y0;
    list_width_ = list.width(), list_height_ = list.height();
    cairo_surface_set_device_scale(surface_, k, k);
    cairo_surface_set_device_offset(surface_, -x0 * k, -y0 * k);
    canvas_ = std::make_unique<CairoCanvas>(surface_, list_width_, list_height_, nullptr);
    cursor_ = ReplayCursor{};
  }
  if (ms < 0) {
    caught_up_ = list.replay_more(*canvas_, cursor_, true);
  } else {
    // Slices of the list until the time is up.
    timespec start, now;
    clock_gettime(CLOCK_MONOTONIC, &start);
    do {
      caught_up_ = list.replay_more(*canvas_, cursor_, true, size_t{4} << 10);
      clock_gettime(CLOCK_MONOTONIC, &now);
    } while (!caught_up_ && (now.tv_sec - start.tv_sec) * 1e3 + (now.tv_nsec - start.tv_nsec) / 1e6 < ms);
  }
  canvas_->finish();
  cairo_surface_flush(surface_);
  cairo_surface_mark_dirty(plain_);
  return true;
}

namespace {

// A snapshot of the list drawn at `scale` onto a surface of its own and
// written as PNG (on any thread).
bool write_scaled_snapshot(const RecordingCanvas::Snapshot& list, double scale, const std::string& path) {
  const int width = scaled_size(list.width, scale), height = scaled_size(list.height, scale);
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    errno = ENOMEM;
    return false;
  }
  cairo_surface_set_device_scale(surface, scale, scale);
  {
    CairoCanvas canvas(surface, list.width, list.height, nullptr);
    RecordingCanvas::replay(list, canvas, true);
    canvas.finish();
  }
  cairo_surface_flush(surface);
  FileOutput out(path);
  const bool written = out.open() &&
                       write_rgb24_png(cairo_image_surface_get_data(surface), width, height,
                                       cairo_image_surface_get_stride(surface), out) &&
                       out.commit();
  cairo_surface_destroy(surface);
  return written;
}

}  // namespace

bool write_scaled_png(RecordingCanvas& list, double scale, const std::string& path) {
  if (!list.complete()) return false;
  return write_scaled_snapshot(list.snapshot(), scale, path);
}

std::unique_ptr<BesideTask> start_png_file(RecordingCanvas& list, double scale, const std::string& path) {
  if (scale == 1) return list.start_png_write(path);
  if (!list.complete()) return nullptr;
  // Drawn again on a thread of its own from the list as it is now.
  return std::make_unique<ThreadTask>([list = list.snapshot(), scale, path](const std::atomic<bool>&) {
    return write_scaled_snapshot(list, scale, path);
  });
}

}  // namespace lumo::server
