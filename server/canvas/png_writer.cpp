#include "server/canvas/png_writer.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "server/canvas/deflate.h"

namespace lumo::server {
namespace {

uint32_t crc32(const unsigned char* data, size_t n, uint32_t crc = 0) {
  crc = ~crc;
  for (size_t i = 0; i < n; ++i) {
    crc ^= data[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  return ~crc;
}

void put32(std::vector<unsigned char>& out, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<unsigned char>(v >> s));
}

void chunk(std::vector<unsigned char>& png, const char* type, const std::vector<unsigned char>& data) {
  put32(png, static_cast<uint32_t>(data.size()));
  std::vector<unsigned char> body(type, type + 4);
  body.insert(body.end(), data.begin(), data.end());
  png.insert(png.end(), body.begin(), body.end());
  put32(png, crc32(body.data(), body.size()));
}

// Each row is filtered the way that leaves the smallest bytes (as signed
// values), the usual guess at what deflate packs best.
std::vector<unsigned char> filtered_rows(const uint32_t* pixels, int width, int height, int stride_pixels) {
  const size_t row_bytes = 3 * static_cast<size_t>(width);
  std::vector<unsigned char> out;
  out.reserve(static_cast<size_t>(height) * (1 + row_bytes));
  std::vector<unsigned char> above(row_bytes, 0), row(row_bytes), trial(row_bytes), best(row_bytes);
  for (int y = 0; y < height; ++y) {
    const uint32_t* source = pixels + static_cast<size_t>(y) * static_cast<size_t>(stride_pixels);
    for (int x = 0; x < width; ++x) {
      row[3 * static_cast<size_t>(x)] = static_cast<unsigned char>(source[x] >> 16);
      row[3 * static_cast<size_t>(x) + 1] = static_cast<unsigned char>(source[x] >> 8);
      row[3 * static_cast<size_t>(x) + 2] = static_cast<unsigned char>(source[x]);
    }
    unsigned char best_filter = 0;
    uint64_t best_cost = UINT64_MAX;
    for (unsigned char filter = 0; filter < 5; ++filter) {
      uint64_t cost = 0;
      for (size_t i = 0; i < row_bytes; ++i) {
        const int left = i >= 3 ? row[i - 3] : 0;
        const int up = above[i];
        const int up_left = i >= 3 ? above[i - 3] : 0;
        int predicted = 0;
        switch (filter) {
          case 1: predicted = left; break;
          case 2: predicted = up; break;
          case 3: predicted = (left + up) / 2; break;
          case 4: {
            const int p = left + up - up_left;
            const int pa = std::abs(p - left), pb = std::abs(p - up), pc = std::abs(p - up_left);
            predicted = pa <= pb && pa <= pc ? left : pb <= pc ? up : up_left;
            break;
          }
          default: break;
        }
        trial[i] = static_cast<unsigned char>(row[i] - predicted);
        cost += static_cast<uint64_t>(std::abs(static_cast<int>(static_cast<signed char>(trial[i]))));
      }
      if (cost < best_cost) {
        best_cost = cost;
        best_filter = filter;
        best.swap(trial);
      }
    }
    out.push_back(best_filter);
    out.insert(out.end(), best.begin(), best.end());
    above.swap(row);
  }
  return out;
}

}  // namespace

std::string encode_png(const uint32_t* pixels, int width, int height, int stride_pixels) {
  const std::vector<unsigned char> raw = filtered_rows(pixels, width, height, stride_pixels);
  const std::vector<unsigned char> z = zlib_compress(raw.data(), raw.size());

  std::vector<unsigned char> png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  std::vector<unsigned char> header;
  put32(header, static_cast<uint32_t>(width));
  put32(header, static_cast<uint32_t>(height));
  header.insert(header.end(), {8, 2, 0, 0, 0});  // 8-bit RGB
  chunk(png, "IHDR", header);
  chunk(png, "IDAT", z);
  chunk(png, "IEND", {});
  return std::string(png.begin(), png.end());
}

bool write_png(const std::string& path, const uint32_t* pixels, int width, int height,
               int stride_pixels) {
  const std::string png = encode_png(pixels, width, height, stride_pixels);
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(png.data(), 1, png.size(), f) == png.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace lumo::server
