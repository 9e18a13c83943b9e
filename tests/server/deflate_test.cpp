// The server's deflate, read back by zlib: every stream inflates to its
// input, and none is more than 2% longer than zlib's own at its default
// level.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

#include "server/canvas/deflate.h"

namespace {

std::vector<unsigned char> inflated(const std::vector<unsigned char>& z, size_t expected) {
  std::vector<unsigned char> out(expected + 1);
  uLongf n = static_cast<uLongf>(out.size());
  const int status = uncompress(out.data(), &n, z.data(), static_cast<uLong>(z.size()));
  EXPECT_EQ(status, Z_OK);
  out.resize(status == Z_OK ? n : 0);
  return out;
}

// Bytes from a small generator: `alphabet` different values, and every
// `period` bytes the earlier bytes again (0: no repeats).
std::vector<unsigned char> sample(size_t size, unsigned alphabet, size_t period, uint32_t seed) {
  std::vector<unsigned char> out(size);
  for (size_t i = 0; i < size; ++i) {
    seed = seed * 1664525u + 1013904223u;
    out[i] = period && i >= period ? out[i - period] : static_cast<unsigned char>((seed >> 24) % alphabet);
  }
  return out;
}

TEST(Deflate, EveryStreamInflatesToItsInputAndRepeatsArePacked) {
  const std::string text = "max  number3 : 0.010000\nmin  number5 : -0.005000\n";
  std::vector<unsigned char> words;
  for (int i = 0; i < 4000; ++i) words.insert(words.end(), text.begin(), text.end() - (i % 7));
  const struct {
    const char* what;
    std::vector<unsigned char> data;
  } cases[] = {
      {"nothing", {}},
      {"one byte", {42}},
      {"three bytes", {1, 2, 3}},
      {"300 kB of one value", std::vector<unsigned char>(300000, 7)},
      {"random bytes past one stored piece", sample(70000, 256, 0, 1)},
      {"four values, many blocks of literals", sample(300000, 4, 0, 2)},
      {"repeats at the window's far end", sample(100000, 256, 32768, 3)},
      {"repeats just past the window", sample(70000, 256, 32769, 4)},
      {"lines of text", words},
      {"repeats of 258 and 259 bytes", sample(50000, 256, 259, 5)},
  };
  for (const auto& c : cases) {
    const std::vector<unsigned char> z = lumo::server::zlib_compress(c.data.data(), c.data.size());
    EXPECT_EQ(inflated(z, c.data.size()), c.data) << c.what;
    uLongf n = compressBound(static_cast<uLong>(c.data.size()));
    std::vector<unsigned char> theirs(n);
    ASSERT_EQ(compress2(theirs.data(), &n, c.data.data(), static_cast<uLong>(c.data.size()), 6), Z_OK);
    EXPECT_LE(z.size(), n + n / 50) << c.what;
  }
}

}  // namespace
