#include "server/canvas/gdi_mask.h"

#include <cstring>

namespace lumo::server {

bool OutlineMask::make(HDC like, int width, int height) {
  release();
  struct {
    BITMAPINFOHEADER header;
    RGBQUAD colours[2];
  } info;
  std::memset(&info, 0, sizeof info);
  info.header.biSize = sizeof info.header;
  info.header.biWidth = width;
  info.header.biHeight = -height;  // top down
  info.header.biPlanes = 1;
  info.header.biBitCount = 1;
  info.header.biCompression = BI_RGB;
  info.colours[1] = RGBQUAD{255, 255, 255, 0};
  dc_ = CreateCompatibleDC(like);
  if (!dc_) return false;
  void* bits = nullptr;
  bitmap_ = CreateDIBSection(dc_, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bitmap_ || !bits) {
    release();
    return false;
  }
  old_bitmap_ = SelectObject(dc_, bitmap_);
  bits_ = static_cast<const uint8_t*>(bits);
  width_ = width;
  height_ = height;
  stride_ = ((static_cast<size_t>(width) + 31) / 32) * 4;
  std::memset(bits, 0, stride_ * static_cast<size_t>(height));
  SetGraphicsMode(dc_, GetGraphicsMode(like));
  XFORM x;
  if (GetGraphicsMode(like) == GM_ADVANCED && GetWorldTransform(like, &x)) SetWorldTransform(dc_, &x);
  POINT origin{0, 0};
  GetViewportOrgEx(like, &origin);
  SetViewportOrgEx(dc_, origin.x, origin.y, nullptr);
  return true;
}

void OutlineMask::row(int y, int limit, pixels::Sink& sink) const {
  if (y < 0 || y >= height_) return;
  const uint8_t* r = bits_ + static_cast<size_t>(y) * stride_;
  const int end = limit < width_ ? limit : width_;
  int x = 0;
  while (x < end) {
    if (r[x >> 3] == 0 && (x & 7) == 0) {
      x += 8;
      continue;
    }
    if (!((r[x >> 3] >> (7 - (x & 7))) & 1)) {
      ++x;
      continue;
    }
    const int from = x;
    while (x < end && ((r[x >> 3] >> (7 - (x & 7))) & 1)) ++x;
    sink.span(y, from, x - 1);
  }
}

void OutsideMaskSink::span(int y, int x0, int x1) {
  int x = x0;
  while (x <= x1) {
    while (x <= x1 && mask_.at(x, y)) ++x;
    const int from = x;
    while (x <= x1 && !mask_.at(x, y)) ++x;
    if (from < x) inner_.span(y, from, x - 1);
  }
}

void OutlineMask::release() {
  if (dc_) {
    if (old_bitmap_) SelectObject(dc_, old_bitmap_);
    DeleteDC(dc_);
  }
  if (bitmap_) DeleteObject(bitmap_);
  dc_ = nullptr;
  bitmap_ = nullptr;
  old_bitmap_ = nullptr;
  bits_ = nullptr;
  width_ = height_ = 0;
  stride_ = 0;
}

void OutlineMask::take(OutlineMask& other) {
  dc_ = other.dc_;
  bitmap_ = other.bitmap_;
  old_bitmap_ = other.old_bitmap_;
  bits_ = other.bits_;
  width_ = other.width_;
  height_ = other.height_;
  stride_ = other.stride_;
  other.dc_ = nullptr;
  other.bitmap_ = nullptr;
  other.old_bitmap_ = nullptr;
  other.bits_ = nullptr;
  other.width_ = other.height_ = 0;
  other.stride_ = 0;
}

}  // namespace lumo::server
