// The pixels of a wide outline gathered in a one-bit surface, so that an
// exclusive-or or inverting outline drawn in pieces still changes each of
// its pixels once, as GDI's own call does: the pieces are drawn into the
// mask in the copy mode (where pieces give the pixels of the whole), and
// the mask is then put on the picture a band of rows at a time.
#ifndef LUMO_SERVER_CANVAS_GDI_MASK_H
#define LUMO_SERVER_CANVAS_GDI_MASK_H

#include <windows.h>

#include <cstdint>

#include "server/canvas/pixel_rules.h"

namespace lumo::server {

class OutlineMask {
 public:
  OutlineMask() = default;
  ~OutlineMask() { release(); }
  OutlineMask(OutlineMask&& other) noexcept { take(other); }
  OutlineMask& operator=(OutlineMask&& other) noexcept {
    if (this != &other) {
      release();
      take(other);
    }
    return *this;
  }
  OutlineMask(const OutlineMask&) = delete;
  OutlineMask& operator=(const OutlineMask&) = delete;

  // A clear mask of width x height pixels whose DC draws as `like` does
  // (its graphics mode, world transformation and viewport origin); false
  // when GDI has no room for it.
  bool make(HDC like, int width, int height);
  bool made() const { return dc_ != nullptr; }
  HDC dc() const { return dc_; }
  int height() const { return height_; }
  bool at(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return false;
    return (bits_[static_cast<size_t>(y) * stride_ + (x >> 3)] >> (7 - (x & 7))) & 1;
  }
  // The runs of marked pixels of row y within x < limit, into the sink.
  void row(int y, int limit, pixels::Sink& sink) const;

 private:
  void release();
  void take(OutlineMask& other);

  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ old_bitmap_ = nullptr;
  const uint8_t* bits_ = nullptr;
  int width_ = 0, height_ = 0;
  size_t stride_ = 0;  // bytes a row
};

// A fill's spans less the mask's pixels (the inside of a polygon whose wide
// outline GDI draws with a raster operation stops at the outline).
class OutsideMaskSink : public pixels::Sink {
 public:
  OutsideMaskSink(pixels::Sink& inner, const OutlineMask& mask) : inner_(inner), mask_(mask) {}
  void span(int y, int x0, int x1) override;

 private:
  pixels::Sink& inner_;
  const OutlineMask& mask_;
};

}  // namespace lumo::server

#endif
