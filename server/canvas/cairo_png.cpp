// The cairo canvas's PNG files: its picture written (at once, or on a
// thread of its own) and a picture read and put on it.
#include <cstdio>

#include "server/canvas/beside_thread.h"
#include "server/canvas/cairo_canvas.h"
#include "server/canvas/file_output.h"
#include "server/canvas/png_stream.h"

namespace lumo::server {

// Written the way every file of the server is (file_output.h).
bool CairoCanvas::save_png(const std::string& path) {
  finish_work();  // a file holds whole figures
  finish();
  if (vector_) return false;
  cairo_surface_flush(surface_);
  FileOutput out(path);
  if (!out.open()) return false;
  const bool written = write_rgb24_png(surface_, out);
  return written && out.commit();
}

std::unique_ptr<BesideTask> CairoCanvas::start_png_write(const std::string& path) {
  finish_work();  // a file holds whole figures
  finish();
  if (vector_) return nullptr;
  cairo_surface_flush(surface_);
  // The pixels written as they are on a thread of their own (the display
  // list keeps them so until the task has ended).
  const unsigned char* data = cairo_image_surface_get_data(surface_);
  const int width = width_, height = height_, stride = cairo_image_surface_get_stride(surface_);
  return std::make_unique<ThreadTask>([path, data, width, height, stride](const std::atomic<bool>&) {
    FileOutput out(path);
    return out.open() && write_rgb24_png(data, width, height, stride, out) && out.commit();
  });
}

namespace {

// A PNG file read into a cairo image surface on a thread of its own.  The
// file is read through a stream so that a read no longer wanted (its window
// closed) is broken off at the next piece.
class PngRead : public BesideTask {
 public:
  explicit PngRead(const std::string& path)
      : path_(path), thread_([this](const std::atomic<bool>& stop) { return read(stop); }) {}
  ~PngRead() override {
    thread_.end(true);
    if (image_) cairo_surface_destroy(image_);
  }
  bool wait(double seconds) override { return thread_.wait(seconds); }
  bool succeeded() const override { return thread_.succeeded(); }
  int error() const override { return thread_.error(); }
  cairo_surface_t* image() const { return image_; }

 private:
  struct Stream {
    FILE* file;
    const std::atomic<bool>* stop;
  };
  static cairo_status_t piece(void* closure, unsigned char* data, unsigned int length) {
    auto* s = static_cast<Stream*>(closure);
    if (s->stop->load(std::memory_order_relaxed)) return CAIRO_STATUS_READ_ERROR;
    return std::fread(data, 1, length, s->file) == length ? CAIRO_STATUS_SUCCESS : CAIRO_STATUS_READ_ERROR;
  }
  bool read(const std::atomic<bool>& stop) {
    FILE* file = std::fopen(path_.c_str(), "rb");
    if (!file) return false;
    Stream s{file, &stop};
    cairo_surface_t* image = cairo_image_surface_create_from_png_stream(&PngRead::piece, &s);
    std::fclose(file);
    if (cairo_surface_status(image) != CAIRO_STATUS_SUCCESS) {
      cairo_surface_destroy(image);
      return false;
    }
    image_ = image;
    return true;
  }

  const std::string path_;
  cairo_surface_t* image_ = nullptr;  // written by the thread before it ends
  BesideThread thread_;               // last: starts when the rest is made
};

}  // namespace

bool CairoCanvas::load_png(const std::string& path) {
  cairo_surface_t* image = cairo_image_surface_create_from_png(path.c_str());
  const bool ok = cairo_surface_status(image) == CAIRO_STATUS_SUCCESS;
  if (ok) put_picture(image);
  cairo_surface_destroy(image);
  return ok;
}

std::unique_ptr<BesideTask> CairoCanvas::start_png_read(const std::string& path) {
  return std::make_unique<PngRead>(path);
}

bool CairoCanvas::put_png_read(BesideTask& read) {
  // Only this canvas makes the reads it is handed.
  cairo_surface_t* image = static_cast<PngRead&>(read).image();
  if (!read.succeeded() || !image) return false;
  put_picture(image);
  return true;
}

void CairoCanvas::put_picture(cairo_surface_t* image) {
  finish_work();  // the picture comes over every figure before it
  finish();
  cairo_save(cr_);
  cairo_identity_matrix(cr_);
  cairo_set_operator(cr_, CAIRO_OPERATOR_OVER);
  cairo_set_source_surface(cr_, image, 0, 0);
  cairo_paint(cr_);
  cairo_restore(cr_);
}

}  // namespace lumo::server
