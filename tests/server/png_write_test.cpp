// Pictures written beside the command loop: a window's PNG holds the
// picture as it was asked for, whatever is drawn, resized or cleared while
// it is written (each first waits for the file, or the file is drawn from
// the list as it was), and the pictures written at a program's end let the
// other programs be served meanwhile.
#include <cairo.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "server/canvas/cairo_canvas.h"
#include "server/canvas/scaled_view.h"
#include "server/core/display_list.h"
#include "common/block_access.h"
#include "server/core/server.h"
#include "tests/server/server_fixture.h"
#include "tests/support/temp_folder.h"

namespace lumo::server {
namespace {

// The pixels of a PNG file as 0xRRGGBB, empty when it cannot be read.
std::vector<uint32_t> png_pixels(const std::string& path, int* width, int* height) {
  cairo_surface_t* read = cairo_image_surface_create_from_png(path.c_str());
  std::vector<uint32_t> pixels;
  if (cairo_surface_status(read) == CAIRO_STATUS_SUCCESS) {
    cairo_surface_flush(read);
    *width = cairo_image_surface_get_width(read);
    *height = cairo_image_surface_get_height(read);
    const unsigned char* data = cairo_image_surface_get_data(read);
    const int stride = cairo_image_surface_get_stride(read);
    for (int y = 0; y < *height; ++y) {
      const auto* row = reinterpret_cast<const uint32_t*>(data + static_cast<size_t>(y) * stride);
      for (int x = 0; x < *width; ++x) pixels.push_back(row[x] & 0xFFFFFF);
    }
  }
  cairo_surface_destroy(read);
  return pixels;
}

TEST(PngBesideTheLoop, AFileHoldsThePictureAsItWasAskedFor) {
  // Large enough that the file takes a good part of a second to write.
  constexpr int kW = 3000, kH = 2000;
  const testing_support::TempFolder folder("lumo_png_beside");
  const Brush black{{0, 0, 0}, kBrushSolid, 0};
  Pen none;
  none.style = kInvisible;
  none.blend = Blend::kCrisp;
  const struct {
    const char* name;
    void (*change)(RecordingCanvas&, const Pen&, const Brush&);
  } changes[] = {
      {"drawn over", [](RecordingCanvas& c, const Pen& p, const Brush& b) { c.rect(p, b, {0, 0}, {kW, kH}); }},
      {"resized", [](RecordingCanvas& c, const Pen&, const Brush&) { c.resize(40, 30, Rgb{0, 0, 0}); }},
      {"cleared", [](RecordingCanvas& c, const Pen&, const Brush&) { c.clear(Rgb{0, 0, 0}); }},
  };
  // The picture's own pixels, and the picture drawn again at another
  // scale (compared with the view a HiDPI screen shows).
  for (const double scale : {1.0, 1.5}) {
    for (const auto& change : changes) {
      SCOPED_TRACE(std::string(change.name) + " at " + std::to_string(scale));
      // Drawn again at another scale, a smaller picture does.
      const int pw = scale == 1 ? kW : kW / 3, ph = scale == 1 ? kH : kH / 3;
      RecordingCanvas list(std::make_unique<CairoCanvas>(pw, ph, Rgb{250, 250, 240}), Rgb{250, 250, 240});
      list.set_slice(0.02);
      list.rect(none, Brush{{30, 90, 200}, kBrushSolid, 0}, {100, 100}, {pw - 100, ph - 100});
      Pen pen;
      pen.width = 3;
      pen.colour = {200, 20, 20};
      list.line(pen, {0, 0}, {pw, ph});
      const std::string path = folder.path() + "/picture.png", before = folder.path() + "/before.png";
      int want_w = pw, want_h = ph;
      std::vector<uint32_t> want;
      if (scale == 1) {
        ASSERT_TRUE(list.save_png(before));
        want = png_pixels(before, &want_w, &want_h);
      } else {
        ScaledView view;
        want_w = scaled_size(pw, scale), want_h = scaled_size(ph, scale);
        ASSERT_TRUE(view.update(list, want_w, want_h, scale, 0, 0));
        ASSERT_TRUE(cairo_surface_write_to_png(view.surface(), before.c_str()) == CAIRO_STATUS_SUCCESS);
        want = png_pixels(before, &want_w, &want_h);
      }
      std::unique_ptr<BesideTask> write = start_png_file(list, scale, path);
      ASSERT_TRUE(write);
      change.change(list, none, black);
      while (!write->wait(1)) {
      }
      EXPECT_TRUE(write->succeeded());
      write.reset();
      int w = 0, h = 0;
      const std::vector<uint32_t> got = png_pixels(path, &w, &h);
      EXPECT_EQ(w, want_w);
      EXPECT_EQ(h, want_h);
      ASSERT_EQ(got.size(), want.size());
      size_t differ = 0;
      for (size_t i = 0; i < got.size(); ++i) differ += got[i] != want[i];
      EXPECT_EQ(differ, 0u);
    }
  }
}

// A program's end, or its closing of the window, waits for the window's
// pictures (PNG, then SVG, each written beside the loop) and the lines that
// say where they went; another program's question is answered meanwhile.
TEST(PicturesAtAProgramsEnd, AreWrittenWhileOtherProgramsAreServed) {
  using test_support::MemoryHost;
  using test_support::ScriptedFrontend;
  const struct {
    const char* what;
    std::string command;
  } ends[] = {{"its program ends", "L,1,"}, {"its window is closed", std::string{wire::kCmdClose, 33}}};
  for (const auto& end : ends) {
    SCOPED_TRACE(end.what);
    const testing_support::TempFolder folder("lumo_end_pictures");
    MemoryHost host;
    ScriptedFrontend frontend;
    CairoCanvasFactory canvases;
    Options options;
    options.key = 4242;
    options.slice_seconds = 0.02;
    options.png_dir = folder.path() + "/png";
    options.figure_dir = folder.path() + "/figs";
    options.figure_formats = {FigureFormat::kSvg};
    std::vector<std::pair<int, std::string>> told;  // told until the server goes
    Server server(host, frontend, canvases, options);
    ASSERT_TRUE(server.start());
    server.tell_program = [&](int client, const std::string& t) { told.push_back({client, t}); };
    auto text = [&](int client, const std::string& t) {
      return server.handle(client, reinterpret_cast<const unsigned char*>(t.c_str()),
                           static_cast<uint32_t>(t.size() + 1));
    };
    ASSERT_EQ(text(1, "K,4242,/d;/p/chart;Version  0.99.9b"), 4242);
    ASSERT_EQ(text(1, "I,0,4000,3000,-1,-1,-1,Plot"), 1);
    ASSERT_EQ(text(1, "I,0,200,100,-1,-1,-1,Small"), 2);
    Pen none;
    none.style = kInvisible;
    server.window(1)->canvas().rect(none, Brush{{30, 90, 200}, kBrushSolid, 0}, {100, 100}, {3900, 2900});
    const std::string reference = folder.path() + "/reference.png";
    ASSERT_TRUE(server.window(1)->canvas().save_png(reference));

    text(1, end.command);
    EXPECT_TRUE(server.holding(1));  // its answer waits for the pictures
    EXPECT_TRUE(told.empty());
    EXPECT_FALSE(server.holding(2));
    const unsigned char palette[3] = {wire::kCmdRequest, 34, 0};
    write_i32(host.block("LumoView1:2"), wire::kArg1, wire::kRequestPalette);
    write_i32(host.block("LumoView1:2"), wire::kArg2, 1);
    EXPECT_EQ(server.handle(2, palette, 3), 1);  // another program's question
    EXPECT_TRUE(server.holding(1));
    while (server.holding(1)) server.continue_work();

    const std::string line =
        "window 1 written to " + options.png_dir + "/chart-1.png, " + options.figure_dir + "/chart-1.svg";
    EXPECT_TRUE(std::any_of(told.begin(), told.end(), [&](const auto& t) { return t.second == line; }));
    int w = 0, h = 0, rw = 0, rh = 0;
    EXPECT_EQ(png_pixels(options.png_dir + "/chart-1.png", &w, &h), png_pixels(reference, &rw, &rh));
    EXPECT_EQ(w, 4000);
    EXPECT_FALSE(png_pixels(reference, &rw, &rh).empty());
    EXPECT_EQ(access((options.figure_dir + "/chart-1.svg").c_str(), F_OK), 0);
  }
}

// A program without a channel sends its command with no copy of the window
// block.  Held back while the window's PNG is written, the command keeps the
// arguments it was sent with, whatever a joined program writes there
// meanwhile; the file holds the picture as asked for.
TEST(PngBesideTheLoop, AHeldCommandKeepsItsArguments) {
  using test_support::MemoryHost;
  using test_support::ScriptedFrontend;
  const testing_support::TempFolder folder("lumo_held_command");
  MemoryHost host;
  ScriptedFrontend frontend;
  CairoCanvasFactory canvases;
  Options options;
  options.key = 4242;
  options.slice_seconds = 0.02;
  Server server(host, frontend, canvases, options);
  ASSERT_TRUE(server.start());
  auto text = [&](int client, const std::string& t) {
    return server.handle(client, reinterpret_cast<const unsigned char*>(t.c_str()),
                         static_cast<uint32_t>(t.size() + 1));
  };
  ASSERT_EQ(text(1, "K,4242," + folder.path() + ";/p/chart;Version  0.99.9b"), 4242);
  ASSERT_EQ(text(1, "I,0,4000,3000,-1,-1,-1,Plot"), 1);
  unsigned char* block = host.block("LumoView1:1");
  const unsigned char window_command[2][3] = {{wire::kCmdRequest, 33, 0}, {wire::kCmdDraw, 33, 0}};
  const unsigned char metric[3] = {wire::kCmdMetric, 33, 0};
  write_i32(block, wire::kArg1, 1);
  ASSERT_EQ(server.handle(2, metric, 3), 1);  // program 2 joined the window
  // Program 1 asks for the window's PNG: written beside the loop.
  const std::string path = folder.path() + "/asked.png";
  write_i32(block, wire::kArg1, wire::kRequestDrawingFile);
  write_i32(block, wire::kArg2, 0);  // save
  std::memcpy(block + wire::kDataArea, path.c_str(), path.size() + 1);
  server.handle(1, window_command[0], 3);
  ASSERT_TRUE(server.holding(1));
  ASSERT_TRUE(server.window(1)->writing());
  // Program 2 sets a pixel: held back.
  const auto pixel_at = [&](int x, int y, int32_t colour) {
    write_i32(block, wire::kArg1, wire::kDrawPixel);
    write_i32(block, wire::kArg2, x);
    write_i32(block, wire::kArg3, y);
    write_i32(block, wire::kResult0, colour);
  };
  pixel_at(10, 20, 0x0000FF);
  EXPECT_TRUE(server.command_waits(2, window_command[1], 3));
  EXPECT_TRUE(server.holding(2));
  EXPECT_FALSE(server.command_waits(3, metric, 3));
  pixel_at(30, 40, 0x00FF00);  // another program's arguments meanwhile
  while (server.holding(1) || server.holding(2)) server.continue_work();
  EXPECT_FALSE(server.command_waits(2, window_command[1], 3));
  EXPECT_EQ(server.handle(2, window_command[1], 3), 1);
  Rgb at_sent{}, at_overwritten{}, background{};
  ASSERT_TRUE(server.window(1)->canvas().get_pixel({10, 20}, &at_sent));
  ASSERT_TRUE(server.window(1)->canvas().get_pixel({30, 40}, &at_overwritten));
  ASSERT_TRUE(server.window(1)->canvas().get_pixel({1000, 1000}, &background));
  EXPECT_FALSE(at_sent == background) << "the held pixel was not set where it was sent";
  EXPECT_TRUE(at_overwritten == background) << "the held pixel was set where another program's arguments said";
  int w = 0, h = 0;
  const std::vector<uint32_t> file = png_pixels(path, &w, &h);
  ASSERT_EQ(file.size(), 4000u * 3000u);
  EXPECT_EQ(file[20 * 4000 + 10], file[40 * 4000 + 30]) << "the held pixel is in the file";
}

}  // namespace
}  // namespace lumo::server
