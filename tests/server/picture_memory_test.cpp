// Pictures in kept memory: a window opened where another's picture was, or
// made larger into such memory, shows only its own background and what
// its own program drew, never the pixels of the picture before; and the
// memory kept for later stays within its bound.  A large picture's memory
// is made beside the loop while the program that asked waits.
#include <gtest/gtest.h>
#include <cairo.h>

#include <cstdint>
#include <cstring>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <functional>
#include <memory>
#include <random>
#include <vector>

#include "common/block_access.h"
#include "common/lumo_wire.h"
#include "server/canvas/cairo_canvas.h"
#include "server/canvas/picture_memory.h"
#include "server/core/server.h"
#include "tests/server/server_fixture.h"

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

// A window opened or made larger past the memory kept for later (so none
// is found warm): the program that asked waits, untaken, while its
// picture's memory is made beside the loop, and a program that joined
// another window is answered meanwhile.  The picture is then its
// background (and keeps what was drawn, when made larger), and no memory
// made is left over, also when the program goes before its window opens.
TEST(PictureMemory, ALargePictureIsMadeWhileOtherProgramsAreServed) {
  using test_support::MemoryHost;
  using test_support::ScriptedFrontend;
  MemoryHost host;
  ScriptedFrontend frontend;
  CairoCanvasFactory canvases;
  Options options;
  options.key = 4242;
  Server server(host, frontend, canvases, options);
  ASSERT_TRUE(server.start());
  const auto bytes = [](const std::string& t) { return reinterpret_cast<const unsigned char*>(t.c_str()); };
  const auto size = [](const std::string& t) { return static_cast<uint32_t>(t.size() + 1); };
  ASSERT_EQ(server.handle(1, bytes("K,4242,/d;/p/chart;Version  0.99.9b"), size("K,4242,/d;/p/chart;Version  0.99.9b")),
            4242);
  ASSERT_EQ(server.handle(1, bytes("I,0,640,480,-1,-1,-1,Small"), size("I,0,640,480,-1,-1,-1,Small")), 1);
  const unsigned char metric[3] = {wire::kCmdMetric, 33, 0}, read_pixel[3] = {wire::kCmdPixel, 33, 0};
  unsigned char* small = host.block("LumoView1:1");
  write_i32(small, wire::kArg1, 1);
  ASSERT_EQ(server.handle(2, metric, 3), 1);  // program 2 joined window 1

  // Waits until its memory is made, the other program answered meanwhile.
  const auto made_while_served = [&](int client, const unsigned char* command, uint32_t n,
                                     const std::function<void()>& meanwhile) {
    ASSERT_TRUE(server.command_waits(client, command, n)) << "the memory was made in the loop";
    meanwhile();
    int answered = 0;
    while (server.holding(client)) {
      server.continue_work();
      ASSERT_FALSE(server.command_waits(2, read_pixel, 3));
      write_i32(small, wire::kArg1, 1), write_i32(small, wire::kArg2, 1);
      server.handle(2, read_pixel, 3);
      ++answered;
    }
    EXPECT_GT(answered, 0);
    EXPECT_FALSE(server.command_waits(client, command, n));
  };
  // Pixels sampled outside the corner up to (from_x, from_y) that are not
  // the window's background.
  const auto not_background = [&](Window& w, int from_x, int from_y) {
    Canvas& canvas = w.canvas();
    const Rgb background = w.colours().background();
    size_t others = 0;
    for (int y = 0; y < canvas.height(); y += 7) {
      for (int x = y % 13; x < canvas.width(); x += 13) {
        Rgb got{};
        if (x >= from_x || y >= from_y) others += !canvas.get_pixel({x, y}, &got) || !(got == background);
      }
    }
    return others;
  };

  const std::string open = "I,0,5000,4000,9869874,-1,-1,Large";  // past what is kept
  made_while_served(1, bytes(open), size(open), [] {});
  ASSERT_EQ(server.handle(1, bytes(open), size(open)), 2);
  EXPECT_EQ(not_background(*server.window(2), 0, 0), 0u);
  EXPECT_EQ(picture_memory::prepared_bytes(), 0u);

  // Made larger: what was drawn stays, the rest is background.
  server.window(2)->canvas().set_pixel({4990, 3990}, Rgb{1, 2, 3});
  unsigned char* large = host.block("LumoView1:2");
  write_i32(large, wire::kArg1, wire::kRequestResize);
  write_i32(large, wire::kArg2, 6000), write_i32(large, wire::kArg3, 4500);
  const unsigned char resize[3] = {wire::kCmdRequest, 34, 0};
  // A joined program's arguments written meanwhile do not change the size.
  made_while_served(1, resize, 3, [&] { write_i32(large, wire::kArg2, 300), write_i32(large, wire::kArg3, 200); });
  ASSERT_EQ(server.handle(1, resize, 3), 1);
  Canvas& larger = server.window(2)->canvas();
  ASSERT_EQ(larger.width(), 6000);
  Rgb kept{};
  ASSERT_TRUE(larger.get_pixel({4990, 3990}, &kept));
  EXPECT_TRUE(kept == (Rgb{1, 2, 3}));
  EXPECT_EQ(not_background(*server.window(2), 5000, 4000), 0u);

  // Two programs' large windows: each waits for memory of its own (not
  // the other's, made first), and a small window meanwhile for none.
  ASSERT_EQ(server.handle(3, metric, 3), 1);  // program 3 joined window 1
  const std::string first = "I,0,5200,4000,-1,-1,-1,First", second = "I,0,5000,4100,-1,-1,-1,Second",
                    small_one = "I,0,300,200,-1,-1,-1,Small";
  ASSERT_TRUE(server.command_waits(1, bytes(first), size(first)));
  EXPECT_FALSE(server.command_waits(3, bytes(small_one), size(small_one)));
  while (server.holding(1)) server.continue_work();
  EXPECT_TRUE(server.command_waits(2, bytes(second), size(second))) << "the other program's memory was taken";
  while (server.holding(2)) server.continue_work();
  EXPECT_FALSE(server.command_waits(2, bytes(second), size(second)));
  EXPECT_GT(server.handle(2, bytes(second), size(second)), 0);
  EXPECT_GT(server.handle(1, bytes(first), size(first)), 0);
  EXPECT_EQ(picture_memory::prepared_bytes(), 0u);

  // A program that goes while its memory is made leaves none behind, once
  // it is made (the loop does not wait for it).
  const std::string another = "I,0,5500,4000,-1,-1,-1,Gone";
  ASSERT_TRUE(server.command_waits(1, bytes(another), size(another)));
  server.client_gone(1);
  while (server.continue_work()) {
  }
  EXPECT_EQ(picture_memory::prepared_bytes(), 0u);
}

// Where memory cannot be had for a picture (the process limited to its
// size now and a little), a window or a resize is refused and said, and
// the server goes on: once the server crashed at the next pixel read.
TEST(PictureMemory, APictureWithoutMemoryIsRefusedAndSaid) {
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "the sanitizer's own reservations do not go under an address-space limit";
#endif
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    long pages = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
      if (std::fscanf(f, "%ld", &pages) != 1) pages = 0;
      std::fclose(f);
    }
    const rlim_t limit = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + (rlim_t{120} << 20);
    const struct rlimit r = {limit, limit};
    if (pages == 0 || setrlimit(RLIMIT_AS, &r) != 0) _exit(90);
    test_support::MemoryHost host;
    test_support::ScriptedFrontend frontend;
    CairoCanvasFactory canvases;
    Options options;
    options.key = 4242;
    Server server(host, frontend, canvases, options);
    std::vector<std::string> told;
    server.tell_program = [&](int, const std::string& t) { told.push_back(t); };
    if (!server.start()) _exit(91);
    const auto text = [&](const std::string& t) {
      const auto* b = reinterpret_cast<const unsigned char*>(t.c_str());
      const auto n = static_cast<uint32_t>(t.size() + 1);
      while (server.command_waits(1, b, n)) server.continue_work();
      return server.handle(1, b, n);
    };
    if (text("K,4242,/d;/p/chart;Version  0.99.9b") != 4242) _exit(92);
    if (text("I,0,640,480,-1,-1,-1,Small") != 1) _exit(93);
    if (text("I,0,8000,6000,-1,-1,-1,Large") != 0) _exit(94);
    if (told.empty() || told.back().find("no memory could be had") == std::string::npos) _exit(95);
    unsigned char* b = host.block("LumoView1:1");
    write_i32(b, wire::kArg1, wire::kRequestResize);
    write_i32(b, wire::kArg2, 8000), write_i32(b, wire::kArg3, 6000);
    const unsigned char resize[3] = {wire::kCmdRequest, 33, 0};
    if (text(std::string(reinterpret_cast<const char*>(resize), 2)) != 0) _exit(96);
    if (told.back().find("window 1 cannot be made 8000 x 6000") == std::string::npos) _exit(97);
    Rgb got{};
    if (!server.window(1)->canvas().get_pixel({10, 10}, &got) || server.window(1)->canvas().width() != 640) _exit(98);
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "the server crashed (signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0) << ")";
  EXPECT_EQ(WEXITSTATUS(status), 0) << "90: no limit set, 94: the window was opened, 95: not said, 96/97: the resize";
}

}  // namespace
}  // namespace lumo::server
