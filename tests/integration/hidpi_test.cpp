// lumoview on a virtual X display at the screen's scale 2: the window is
// twice the program's size, drawn from the display list as sharp as the
// figure (compared with the window's SVG drawn by rsvg-convert), input
// comes back in the program's pixels, and Ctrl+wheel zooms and the middle
// button pans without the program's knowing.
#include <gtest/gtest.h>

#include <cairo.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/temp_folder.h"

// Xlib after the rest: its macros would clash with names in those headers.
#include <X11/Xlib.h>

using testing_support::ChildProcess;
using testing_support::PrivateSession;

namespace {

bool have(const std::string& path) { return access(path.c_str(), X_OK) == 0; }

// An xdotool command; its first line of output.
std::string xdo(std::vector<std::string> args) {
  args.insert(args.begin(), "/usr/bin/xdotool");
  ChildProcess p(args);
  const std::string line = p.read_line(10000);
  p.wait_exit(10000);
  return line;
}

// The pixels of a PNG file (0x00RRGGBB), w x h from (x0, y0), scaled by
// `zoom` with the nearest pixel.
struct Picture {
  int w = 0, h = 0;
  std::vector<uint32_t> px;
};
Picture load(const std::string& path, int x0, int y0, int w, int h, int zoom = 1) {
  Picture p;
  cairo_surface_t* s = cairo_image_surface_create_from_png(path.c_str());
  if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) return p;
  cairo_surface_flush(s);
  const unsigned char* data = cairo_image_surface_get_data(s);
  const int stride = cairo_image_surface_get_stride(s);
  const int sw = cairo_image_surface_get_width(s), sh = cairo_image_surface_get_height(s);
  p.w = w, p.h = h;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const int sx = (x0 + x) / zoom, sy = (y0 + y) / zoom;
      uint32_t v = 0xFFFFFF;
      if (sx < sw && sy < sh) v = reinterpret_cast<const uint32_t*>(data + static_cast<size_t>(sy) * stride)[sx];
      // rsvg's PNG has alpha: what it leaves clear is the page's white.
      const unsigned a = v >> 24;
      if (cairo_image_surface_get_format(s) == CAIRO_FORMAT_ARGB32 && a < 255) {
        uint32_t out = 0;
        for (int k = 0; k < 24; k += 8) out |= ((((v >> k) & 255) + 255 - a) & 255) << k;
        v = out;
      }
      p.px.push_back(v & 0xFFFFFF);
    }
  }
  cairo_surface_destroy(s);
  return p;
}

// The mean difference of two pictures, per channel (0 to 255).
double mean_difference(const Picture& a, const Picture& b) {
  if (a.px.empty() || a.px.size() != b.px.size()) return 255;
  double sum = 0;
  for (size_t i = 0; i < a.px.size(); ++i) {
    for (int k = 0; k < 24; k += 8) sum += std::abs(static_cast<int>((a.px[i] >> k) & 255) - static_cast<int>((b.px[i] >> k) & 255));
  }
  return sum / (3.0 * static_cast<double>(a.px.size()));
}

class HiDpiWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!have("/usr/bin/Xvfb") || !have("/usr/bin/xdotool") || !have("/usr/bin/rsvg-convert") ||
        !have("/usr/bin/xprop")) {
      GTEST_SKIP() << "Xvfb, xdotool, xprop or rsvg-convert is not installed";
    }
    session_ = std::make_unique<PrivateSession>();
    x_ = std::make_unique<ChildProcess>(std::vector<std::string>{
        "/usr/bin/Xvfb", "-displayfd", "1", "-screen", "0", "1600x1200x24", "-nolisten", "tcp", "-noreset"});
    const std::string number = x_->read_line(20000);
    ASSERT_FALSE(number.empty()) << "Xvfb did not start";
    setenv("DISPLAY", (":" + number).c_str(), 1);
    if (!resources_.empty()) {
      // The desktop's resources, as a session's xrdb leaves them.
      ChildProcess xprop({"/usr/bin/xprop", "-root", "-f", "RESOURCE_MANAGER", "8s", "-set", "RESOURCE_MANAGER",
                          resources_});
      ASSERT_EQ(xprop.wait_exit(10000), 0);
    } else {
      setenv("LUMOVIEW_SCALE", "2", 1);
    }
    setenv("LUMOVIEW_SAVE", (folder_.path() + ":png,svg").c_str(), 1);
    setenv("LUMOVIEW_READY_FD", "1", 1);
    server_ = std::make_unique<ChildProcess>(std::vector<std::string>{dir_ + "/../bin/lumoview"});
    unsetenv("LUMOVIEW_READY_FD");
    ASSERT_EQ(server_->read_line(20000), "ready");
  }

  void TearDown() override {
    server_.reset();
    for (const char* name : {"DISPLAY", "LUMOVIEW_SCALE", "LUMOVIEW_SAVE"}) unsetenv(name);
    x_.reset();
    session_.reset();
  }

  // The picker sample's window (its chart spans x -0.5..10.5, y -1.2..1.2
  // over 640 x 480 device pixels).
  std::string picker_window() {
    const std::string id = xdo({"search", "--sync", "--onlyvisible", "--name", "picker"});
    EXPECT_FALSE(id.empty());
    return id;
  }
  // The whole screen; the window sits at its top left.
  std::string screenshot(const std::string& name) {
    const std::string path = folder_.path() + "/" + name;
    usleep(300000);  // painted by now
    ChildProcess shot({dir_ + "/lumo_screenshot", path, "000000"});
    shot.read_line(10000);
    shot.wait_exit(10000);
    return path;
  }
  // What picker prints for a click on device pixel (x, y).
  static std::string point(int n, int x, int y, int button) {
    char line[128];
    std::snprintf(line, sizeof line, "point %d: x = %.3f  y = %.3f  (button %d)", n, -0.5 + 11.0 * x / 640,
                  1.2 - 2.4 * y / 480, button);
    return line;
  }

  std::string resources_;  // without: LUMOVIEW_SCALE=2
  const std::string dir_ = testing_support::binary_dir();
  const testing_support::TempFolder folder_{"lumo_hidpi"};
  std::unique_ptr<PrivateSession> session_;
  std::unique_ptr<ChildProcess> x_;
  std::unique_ptr<ChildProcess> server_;
};

// The window at scale 2, and its picture against the figure: at 1:1 and
// zoomed by three notches of Ctrl+wheel about a point (the figure drawn by
// rsvg-convert at the same scale and cut at the same place).
TEST_F(HiDpiWindow, TheWindowIsDrawnAtTheScreensScaleAndZoomsSharply) {
  ChildProcess picker({dir_ + "/../bin/picker"});
  ASSERT_NE(picker.read_line(20000).find("Click points"), std::string::npos);
  const std::string id = picker_window();
  EXPECT_EQ(xdo({"getwindowgeometry", id}), "Window " + id);
  ChildProcess geometry({"/usr/bin/xdotool", "getwindowgeometry", "--shell", id});
  std::string all, line;
  while (!(line = geometry.read_line(10000)).empty()) all += line + ";";
  geometry.wait_exit(10000);
  EXPECT_NE(all.find("WIDTH=1280;HEIGHT=960;"), std::string::npos) << all;
  // Where its inside lies on the screen (within its border).
  int left = 0, top = 0;
  {
    Display* d = XOpenDisplay(nullptr);
    ASSERT_NE(d, nullptr);
    ::Window child;
    XTranslateCoordinates(d, std::strtoul(id.c_str(), nullptr, 10), DefaultRootWindow(d), 0, 0, &left, &top, &child);
    XCloseDisplay(d);
  }
  const std::string one = screenshot("one.png");
  // Ctrl+wheel about screen pixel (200, 60): device (100.25, 30.25) stays.
  xdo({"mousemove", "--sync", "--window", id, "200", "60", "keydown", "ctrl", "click", "4", "click", "4", "click",
       "4", "keyup", "ctrl"});
  usleep(200000);
  EXPECT_EQ(xdo({"getwindowname", id}), "picker: click points - 195%");
  const std::string zoomed = screenshot("zoomed.png");
  xdo({"key", "--window", id, "ctrl+0"});
  usleep(200000);
  EXPECT_EQ(xdo({"getwindowname", id}), "picker: click points");
  xdo({"key", "--window", id, "q"});
  EXPECT_EQ(picker.wait_exit(20000), 0);

  const std::string svg = folder_.path() + "/picker-1.svg", png = folder_.path() + "/picker-1.png";
  // The server writes the window's files as it takes the program's end,
  // which may come after the program has gone (each appears whole).
  for (int i = 0; i < 300 && (access(svg.c_str(), F_OK) != 0 || access(png.c_str(), F_OK) != 0); ++i) usleep(100000);
  const double k = 2 * 1.953125;
  const int x0 = static_cast<int>(std::lround((100.25 - 200.5 / k) * k));
  const int y0 = static_cast<int>(std::lround((30.25 - 60.5 / k) * k));
  struct View {
    const char* name;
    std::string shot;
    double zoom;
    int x0, y0;
  } views[] = {{"1:1", one, 2, 0, 0}, {"zoomed", zoomed, k, x0, y0}};
  for (const View& v : views) {
    const std::string drawn = folder_.path() + "/rsvg-" + v.name + ".png";
    ChildProcess rsvg({"/usr/bin/rsvg-convert", "--zoom", std::to_string(v.zoom), "-o", drawn, svg});
    ASSERT_EQ(rsvg.wait_exit(30000), 0);
    const Picture screen = load(v.shot, left, top, 1280, 960);
    const Picture figure = load(drawn, v.x0, v.y0, 1280, 960);
    // The window's pixels magnified: what a window that is not drawn
    // again would show.
    const int zoom = static_cast<int>(std::lround(v.zoom));
    const Picture blocky = load(png, v.x0 * zoom / v.zoom, v.y0 * zoom / v.zoom, 1280, 960, zoom);
    const double to_figure = mean_difference(screen, figure), to_blocky = mean_difference(screen, blocky);
    std::printf("%s at (%d, %d): %.2f from the figure, %.2f from the magnified pixels\n", v.name, left, top, to_figure, to_blocky);
    EXPECT_LT(to_figure, 3.0) << v.name;
    EXPECT_LT(to_figure * 2, to_blocky) << v.name;
  }
}

// Input comes back in the program's pixels: at 1:1 (every device pixel two
// screen pixels), zoomed (Ctrl+wheel itself not passed on: the picker would
// zoom its y axis) and after a pan with the middle button.
TEST_F(HiDpiWindow, InputReachesTheProgramInItsOwnPixels) {
  ChildProcess picker({dir_ + "/../bin/picker"});
  ASSERT_NE(picker.read_line(20000).find("Click points"), std::string::npos);
  const std::string id = picker_window();
  xdo({"mousemove", "--sync", "--window", id, "641", "481", "click", "1"});
  EXPECT_EQ(picker.read_line(10000), point(1, 320, 240, 1));
  xdo({"mousemove", "--sync", "--window", id, "200", "60", "keydown", "ctrl", "click", "4", "click", "4", "click",
       "4", "keyup", "ctrl", "click", "3"});
  EXPECT_EQ(picker.read_line(10000), point(2, 100, 30, 3));
  // k = 2 x 1.25^3; the view's top left is device (100.25 - 200.5 / k,
  // 30.25 - 60.5 / k); a drag by (-200, -100) moves it by (200, 100) / k.
  const double k = 2 * 1.953125, x0 = 100.25 - 200.5 / k + 200 / k, y0 = 30.25 - 60.5 / k + 100 / k;
  xdo({"mousemove", "--sync", "--window", id, "600", "600", "mousedown", "2", "mousemove", "--sync", "--window", id,
       "400", "500", "mouseup", "2"});
  xdo({"mousemove", "--sync", "--window", id, "600", "600", "click", "2"});
  EXPECT_EQ(picker.read_line(10000), point(3, static_cast<int>(std::floor(x0 + 600.5 / k)),
                                           static_cast<int>(std::floor(y0 + 600.5 / k)), 2));
  xdo({"key", "--window", id, "ctrl+0"});
  xdo({"mousemove", "--sync", "--window", id, "1279", "959", "click", "1"});
  EXPECT_EQ(picker.read_line(10000), point(4, 639, 479, 1));
  xdo({"key", "--window", id, "q"});
  EXPECT_EQ(picker.wait_exit(20000), 0);
}

// Without LUMOVIEW_SCALE, the desktop's Xft.dpi sets the scale: 144 dots
// an inch is 1.5.
class XftDpiWindow : public HiDpiWindow {
 protected:
  XftDpiWindow() { resources_ = "Xft.dpi:\t144\n"; }
};

TEST_F(XftDpiWindow, TheDesktopsDpiSetsTheScale) {
  ChildProcess picker({dir_ + "/../bin/picker"});
  ASSERT_NE(picker.read_line(20000).find("Click points"), std::string::npos);
  const std::string id = picker_window();
  ChildProcess geometry({"/usr/bin/xdotool", "getwindowgeometry", "--shell", id});
  std::string all, line;
  while (!(line = geometry.read_line(10000)).empty()) all += line + ";";
  geometry.wait_exit(10000);
  EXPECT_NE(all.find("WIDTH=960;HEIGHT=720;"), std::string::npos) << all;
  xdo({"mousemove", "--sync", "--window", id, "300", "90", "click", "1"});
  EXPECT_EQ(picker.read_line(10000), point(1, 200, 60, 1));
  xdo({"key", "--window", id, "q"});
  EXPECT_EQ(picker.wait_exit(20000), 0);
}

}  // namespace
