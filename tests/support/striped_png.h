// A large PNG made in moments, for the tests and benchmarks that load one.
#ifndef LUMO_TESTS_SUPPORT_STRIPED_PNG_H
#define LUMO_TESTS_SUPPORT_STRIPED_PNG_H

#include <zlib.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace testing_support {

// An 8-bit RGB PNG of `side` x `side` pixels, every row the same: pixel x is
// (x % 256, 50, 200).  The row is deflated once, flushed to a byte edge, and
// its bytes repeated, so a picture that takes seconds to read is made in
// moments.
inline bool write_striped_png(const std::string& path, uint32_t side) {
  std::vector<unsigned char> row(1 + 3 * size_t{side}, 0);
  for (uint32_t x = 0; x < side; ++x) {
    row[1 + 3 * x] = static_cast<unsigned char>(x % 256), row[2 + 3 * x] = 50, row[3 + 3 * x] = 200;
  }
  z_stream z{};
  if (deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return false;
  std::vector<unsigned char> piece(deflateBound(&z, row.size()) + 64), last(64);
  z.next_in = row.data(), z.avail_in = static_cast<uInt>(row.size());
  z.next_out = piece.data(), z.avail_out = static_cast<uInt>(piece.size());
  deflate(&z, Z_FULL_FLUSH);
  piece.resize(piece.size() - z.avail_out);
  deflateReset(&z);
  z.next_in = nullptr, z.avail_in = 0, z.next_out = last.data(), z.avail_out = static_cast<uInt>(last.size());
  deflate(&z, Z_FINISH);  // an empty final block
  last.resize(last.size() - z.avail_out);
  deflateEnd(&z);
  uLong adler = adler32(1, nullptr, 0);
  const uLong row_adler = adler32(1, row.data(), static_cast<uInt>(row.size()));
  std::string idat = std::string("\x78\x01");
  for (uint32_t y = 0; y < side; ++y) {
    idat.append(reinterpret_cast<const char*>(piece.data()), piece.size());
    adler = adler32_combine(adler, row_adler, static_cast<z_off_t>(row.size()));
  }
  idat.append(reinterpret_cast<const char*>(last.data()), last.size());
  for (int shift = 24; shift >= 0; shift -= 8) idat += static_cast<char>((adler >> shift) & 0xFF);
  auto be32 = [](uint32_t v) {
    return std::string{static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
                       static_cast<char>(v)};
  };
  auto chunk = [&](const std::string& type, const std::string& data) {
    const std::string body = type + data;
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()));
    return be32(static_cast<uint32_t>(data.size())) + body + be32(static_cast<uint32_t>(crc));
  };
  const std::string header = be32(side) + be32(side) + std::string("\x08\x02\x00\x00\x00", 5);
  std::ofstream out(path, std::ios::binary);
  out << "\x89PNG\r\n\x1a\n" << chunk("IHDR", header) << chunk("IDAT", idat) << chunk("IEND", "");
  return static_cast<bool>(out);
}

}  // namespace testing_support

#endif
