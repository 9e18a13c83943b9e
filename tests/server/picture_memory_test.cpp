// Pictures in kept memory: a window opened where another's picture was, or
// made larger into such memory, shows only its own background and what
// its own program drew, never the pixels of the picture before; and the
// memory kept for later stays within its bound.
#include <gtest/gtest.h>
#include <cairo.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "server/canvas/cairo_canvas.h"
#include "server/canvas/picture_memory.h"

namespace lumo::server {
namespace {

uint32_t pixel(cairo_surface_t* s, int x, int y) {
  cairo_surface_flush(s);
  uint32_t v;
  std::memcpy(&v, cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s) + 4 * x, 4);
  return v & 0xFFFFFFu;
}

uint32_t packed(Rgb c) { return (uint32_t{c.r} << 16) | (uint32_t{c.g} << 8) | c.b; }

// A copy of the picture's pixels, row by row.
std::vector<uint32_t> pixels_of(cairo_surface_t* s) {
  const int w = cairo_image_surface_get_width(s), h = cairo_image_surface_get_height(s);
  std::vector<uint32_t> out;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) out.push_back(pixel(s, x, y));
  }
  return out;
}

void scribble(cairo_surface_t* s, std::mt19937& random) {
  cairo_t* cr = cairo_create(s);
  for (int i = 0; i < 6; ++i) {
    cairo_set_source_rgb(cr, (random() % 256) / 255.0, (random() % 256) / 255.0, (random() % 256) / 255.0);
    cairo_rectangle(cr, random() % 200, random() % 200, 1 + random() % 300, 1 + random() % 300);
    cairo_fill(cr);
  }
  cairo_destroy(cr);
}

TEST(PictureMemory, AWindowShowsNothingOfThePictureWhoseMemoryItTakes) {
  std::mt19937 random(7);
  const int sizes[][2] = {{640, 480}, {641, 479}, {320, 240}, {1, 1}, {900, 700}, {640, 480}, {17, 3000}};
  std::vector<std::unique_ptr<CairoCanvas>> open;
  for (int round = 0; round < 60; ++round) {
    const int* size = sizes[random() % (sizeof sizes / sizeof sizes[0])];
    const Rgb background{static_cast<uint8_t>(random()), static_cast<uint8_t>(random()),
                         static_cast<uint8_t>(random())};
    const int action = static_cast<int>(random() % 3);
    if (action == 0 || open.empty()) {
      // A new window: every pixel its background.
      open.push_back(std::make_unique<CairoCanvas>(size[0], size[1], background));
      cairo_surface_t* s = open.back()->surface();
      ASSERT_EQ(cairo_image_surface_get_width(s), size[0]);
      ASSERT_EQ(cairo_image_surface_get_height(s), size[1]);
      const std::vector<uint32_t> got = pixels_of(s);
      for (size_t i = 0; i < got.size(); ++i) {
        ASSERT_EQ(got[i], packed(background)) << "round " << round << ", pixel " << i;
      }
      scribble(s, random);
    } else if (action == 1) {
      // A window made larger or smaller: what it showed in the corner they
      // share, its new background elsewhere.
      CairoCanvas& c = *open[random() % open.size()];
      cairo_surface_t* before = c.surface();
      const int old_w = cairo_image_surface_get_width(before), old_h = cairo_image_surface_get_height(before);
      const std::vector<uint32_t> old_pixels = pixels_of(before);
      c.resize(size[0], size[1], background);
      cairo_surface_t* s = c.surface();
      for (int y = 0; y < size[1]; ++y) {
        for (int x = 0; x < size[0]; ++x) {
          const uint32_t want =
              x < old_w && y < old_h ? old_pixels[static_cast<size_t>(y) * old_w + x] : packed(background);
          ASSERT_EQ(pixel(s, x, y), want) << "round " << round << " at " << x << "," << y;
        }
      }
    } else {
      open.erase(open.begin() + static_cast<std::ptrdiff_t>(random() % open.size()));
    }
    ASSERT_LE(picture_memory::kept_bytes(), picture_memory::kKeptBytes);
  }
  // Closed pictures' memory is kept for the next ones.
  open.clear();
  EXPECT_GT(picture_memory::kept_bytes(), 0u);
}

}  // namespace
}  // namespace lumo::server
