#include "server/canvas/png_stream.h"

#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace lumo::server {
namespace {

constexpr int kLevel = 2;
constexpr size_t kChunkBytes = 64 * 1024;

void put32(unsigned char* at, uint32_t v) {
  at[0] = static_cast<unsigned char>(v >> 24);
  at[1] = static_cast<unsigned char>(v >> 16);
  at[2] = static_cast<unsigned char>(v >> 8);
  at[3] = static_cast<unsigned char>(v);
}

bool chunk(FileOutput& out, const char* type, const unsigned char* data, size_t size) {
  unsigned char head[8], tail[4];
  put32(head, static_cast<uint32_t>(size));
  std::memcpy(head + 4, type, 4);
  uLong crc = crc32(0, head + 4, 4);
  if (size > 0) crc = crc32(crc, data, static_cast<uInt>(size));
  put32(tail, static_cast<uint32_t>(crc));
  return out.write(head, sizeof head) && (size == 0 || out.write(data, size)) && out.write(tail, sizeof tail);
}

// How often a row's bytes change from one to the next under each filter
// (none, left, up): runs are what deflate packs, whatever their value.
int choose_filter(const unsigned char* row, const unsigned char* above, size_t bytes, unsigned char* left,
                  unsigned char* up) {
  size_t changes[3] = {0, 0, 0};
  unsigned char last[3] = {0, 0, 0};
  for (size_t i = 0; i < bytes; ++i) {
    const unsigned char r[3] = {row[i], static_cast<unsigned char>(row[i] - (i >= 3 ? row[i - 3] : 0)),
                                static_cast<unsigned char>(row[i] - above[i])};
    for (int f = 0; f < 3; ++f) {
      changes[f] += r[f] != last[f];
      last[f] = r[f];
    }
    left[i] = r[1];
    up[i] = r[2];
  }
  int best = 0;
  for (int f = 1; f < 3; ++f) {
    if (changes[f] < changes[best]) best = f;
  }
  return best;
}

class Deflater {
 public:
  explicit Deflater(FileOutput& out) : out_(out), buffer_(kChunkBytes) {
    ok_ = deflateInit(&z_, kLevel) == Z_OK;
    started_ = ok_;
  }
  ~Deflater() {
    if (started_) deflateEnd(&z_);
  }
  bool ok() const { return ok_; }

  bool feed(const unsigned char* data, size_t size, int flush) {
    z_.next_in = const_cast<unsigned char*>(data);
    z_.avail_in = static_cast<uInt>(size);
    do {
      z_.next_out = buffer_.data() + used_;
      z_.avail_out = static_cast<uInt>(buffer_.size() - used_);
      const int r = deflate(&z_, flush);
      if (r == Z_STREAM_ERROR) return ok_ = false;
      used_ = buffer_.size() - z_.avail_out;
      if (used_ == buffer_.size() || (flush == Z_FINISH && used_ > 0)) {
        if (!chunk(out_, "IDAT", buffer_.data(), used_)) return ok_ = false;
        used_ = 0;
      }
      if (flush == Z_FINISH && r == Z_STREAM_END) return ok_;
    } while (z_.avail_in > 0 || z_.avail_out == 0 || flush == Z_FINISH);
    return ok_;
  }

 private:
  FileOutput& out_;
  z_stream z_{};
  std::vector<unsigned char> buffer_;
  size_t used_ = 0;
  bool ok_ = false, started_ = false;
};

}  // namespace

bool write_rgb24_png(cairo_surface_t* surface, FileOutput& out) {
  if (cairo_surface_get_type(surface) != CAIRO_SURFACE_TYPE_IMAGE ||
      cairo_image_surface_get_format(surface) != CAIRO_FORMAT_RGB24) {
    return false;
  }
  cairo_surface_flush(surface);
  return write_rgb24_png(cairo_image_surface_get_data(surface), cairo_image_surface_get_width(surface),
                         cairo_image_surface_get_height(surface), cairo_image_surface_get_stride(surface), out);
}

bool write_rgb24_png(const unsigned char* data, int width, int height, int stride, FileOutput& out) {
  if (width <= 0 || height <= 0 || !data) return false;

  static const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  unsigned char header[13];
  put32(header, static_cast<uint32_t>(width));
  put32(header + 4, static_cast<uint32_t>(height));
  const unsigned char rest[5] = {8, 2, 0, 0, 0};  // 8 bits, RGB, deflate, filters per row, no interlace
  std::memcpy(header + 8, rest, sizeof rest);
  if (!out.write(kSignature, sizeof kSignature) || !chunk(out, "IHDR", header, sizeof header)) return false;

  const size_t bytes = 3 * static_cast<size_t>(width);
  // One buffer per candidate row, each with its filter byte in front.
  std::vector<unsigned char> rows[3], above(bytes, 0);
  for (auto& r : rows) r.resize(1 + bytes);
  rows[0][0] = 0;
  rows[1][0] = 1;
  rows[2][0] = 2;
  Deflater z(out);
  if (!z.ok()) return false;
  for (int y = 0; y < height; ++y) {
    const uint32_t* source = reinterpret_cast<const uint32_t*>(data + static_cast<size_t>(y) * stride);
    unsigned char* row = rows[0].data() + 1;
    for (int x = 0; x < width; ++x) {
      row[3 * x] = static_cast<unsigned char>(source[x] >> 16);
      row[3 * x + 1] = static_cast<unsigned char>(source[x] >> 8);
      row[3 * x + 2] = static_cast<unsigned char>(source[x]);
    }
    const int filter = choose_filter(row, above.data(), bytes, rows[1].data() + 1, rows[2].data() + 1);
    if (!z.feed(rows[filter].data(), 1 + bytes, Z_NO_FLUSH)) return false;
    std::memcpy(above.data(), row, bytes);
  }
  return z.feed(nullptr, 0, Z_FINISH) && chunk(out, "IEND", nullptr, 0);
}

}  // namespace lumo::server
