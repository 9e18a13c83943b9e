// The server's PNG writer, read back by libpng (through cairo's reader):
// every picture comes back pixel for pixel, in one IDAT chunk or many, and
// drawings and smooth pictures stay within half as large again as cairo's
// own writer makes them.
#include <gtest/gtest.h>
#include <cairo.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <random>
#include <string>

#include "server/canvas/file_output.h"
#include "server/canvas/png_stream.h"

namespace lumo::server {
namespace {

long file_size(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return -1;
  std::fseek(f, 0, SEEK_END);
  const long n = std::ftell(f);
  std::fclose(f);
  return n;
}

cairo_surface_t* picture(int w, int h, const std::function<void(cairo_t*, uint32_t*, int)>& draw) {
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
  cairo_t* cr = cairo_create(s);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  cairo_surface_flush(s);
  draw(cr, reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(s)), cairo_image_surface_get_stride(s) / 4);
  cairo_destroy(cr);
  return s;
}

TEST(PngStream, PicturesComeBackPixelForPixel) {
  char dir_template[] = "/tmp/lumo-png-XXXXXX";
  ASSERT_NE(mkdtemp(dir_template), nullptr);
  const std::string dir = dir_template;
  std::mt19937 random(7);
  const struct {
    const char* what;
    int w, h;
    bool near_cairo;  // a drawing or a smooth picture: size checked against cairo's writer
    std::function<void(cairo_t*, uint32_t*, int)> draw;
  } cases[] = {
      {"white", 640, 480, true, [](cairo_t*, uint32_t*, int) {}},
      {"lines and text", 640, 480, true,
       [&](cairo_t* cr, uint32_t*, int) {
         for (int i = 0; i < 800; ++i) {
           cairo_set_source_rgb(cr, (random() % 256) / 255.0, (random() % 256) / 255.0, 0.3);
           cairo_move_to(cr, random() % 6400 / 10.0, random() % 4800 / 10.0);
           cairo_line_to(cr, random() % 6400 / 10.0, random() % 4800 / 10.0);
           cairo_stroke(cr);
         }
         cairo_set_font_size(cr, 12);
         for (int y = 20; y < 480; y += 16) {
           cairo_move_to(cr, 10, y);
           cairo_show_text(cr, "max  number3 : 0.010000");
         }
       }},
      {"smooth", 640, 480, true,
       [](cairo_t*, uint32_t* p, int stride) {
         for (int y = 0; y < 480; ++y) {
           for (int x = 0; x < 640; ++x) {
             const double v = 0.5 + 0.5 * std::sin(x * 0.02) * std::cos(y * 0.03);
             p[y * stride + x] = (static_cast<uint32_t>(255 * v) << 16) | (static_cast<uint32_t>(128 * v) << 8) |
                                 static_cast<uint32_t>(255 * (1 - v));
           }
         }
       }},
      {"noise, many chunks", 700, 500, false,
       [&](cairo_t*, uint32_t* p, int stride) {
         for (int y = 0; y < 500; ++y) {
           for (int x = 0; x < 700; ++x) p[y * stride + x] = random() & 0xFFFFFFu;
         }
       }},
      {"one pixel", 1, 1, false, [](cairo_t*, uint32_t* p, int) { p[0] = 0x123456; }},
      {"one wide row", 3000, 1, false,
       [](cairo_t*, uint32_t* p, int) {
         for (int x = 0; x < 3000; ++x) p[x] = static_cast<uint32_t>(x * 2654435761u) & 0xFFFFFFu;
       }},
      {"one tall column", 1, 2000, false,
       [](cairo_t*, uint32_t* p, int stride) {
         for (int y = 0; y < 2000; ++y) p[y * stride] = static_cast<uint32_t>(y * 40503u) & 0xFFFFFFu;
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    cairo_surface_t* s = picture(c.w, c.h, c.draw);
    const std::string path = dir + "/picture.png", theirs = dir + "/cairo.png";
    {
      FileOutput out(path);
      ASSERT_TRUE(out.open());
      ASSERT_TRUE(write_rgb24_png(s, out));
      ASSERT_TRUE(out.commit());
    }
    cairo_surface_t* back = cairo_image_surface_create_from_png(path.c_str());
    ASSERT_EQ(cairo_surface_status(back), CAIRO_STATUS_SUCCESS);
    ASSERT_EQ(cairo_image_surface_get_width(back), c.w);
    ASSERT_EQ(cairo_image_surface_get_height(back), c.h);
    int differing = 0;
    for (int y = 0; y < c.h; ++y) {
      const auto* a = reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(s) +
                                                        y * cairo_image_surface_get_stride(s));
      const auto* b = reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(back) +
                                                        y * cairo_image_surface_get_stride(back));
      for (int x = 0; x < c.w; ++x) differing += (a[x] & 0xFFFFFFu) != (b[x] & 0xFFFFFFu);
    }
    EXPECT_EQ(differing, 0);
    if (c.near_cairo) {
      ASSERT_EQ(cairo_surface_write_to_png(s, theirs.c_str()), CAIRO_STATUS_SUCCESS);
      // (A few kilobytes more say nothing: an empty picture is 5 kB.)
      EXPECT_LE(file_size(path), 3 * file_size(theirs) / 2 + 8192) << file_size(path) << " against " << file_size(theirs);
    }
    cairo_surface_destroy(back);
    cairo_surface_destroy(s);
    std::remove(path.c_str());
    std::remove(theirs.c_str());
  }
  // Only opaque image surfaces are written.
  cairo_surface_t* alpha = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 4, 4);
  {
    FileOutput out(dir + "/alpha.png");
    EXPECT_FALSE(write_rgb24_png(alpha, out));
  }
  cairo_surface_destroy(alpha);
  EXPECT_EQ(rmdir(dir.c_str()), 0);
}

// Two files of one name written at once (a program's picture at its end,
// and the same program run again) both go through, the last renamed wins
// whole, and nothing is left beside it.
TEST(FileOutputs, OfOneNameAtOnceBothGoThrough) {
  char dir[] = "/tmp/lumo_outputs_XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string path = std::string(dir) + "/act-1.png";
  {
    FileOutput first(path), second(path);
    ASSERT_TRUE(first.open());
    ASSERT_TRUE(second.open()) << "the second write found the first one's file";
    EXPECT_TRUE(first.write("first", 5));
    EXPECT_TRUE(second.write("second", 6));
    EXPECT_TRUE(first.commit());
    EXPECT_TRUE(second.commit());
  }
  char got[16] = {};
  FILE* f = std::fopen(path.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  const size_t n = std::fread(got, 1, sizeof got, f);
  std::fclose(f);
  EXPECT_EQ(std::string(got, n), "second");
  EXPECT_EQ(std::remove(path.c_str()), 0);
  EXPECT_EQ(rmdir(dir), 0) << "a file was left beside it";
}

}  // namespace
}  // namespace lumo::server
