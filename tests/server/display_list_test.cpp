// The display list against the picture it was kept beside: replayed onto a
// fresh canvas it must give the window's very pixels, whatever was drawn
// (every figure, mode, transformation, resize and clear), also when its
// memory bound turned part of it into images.
#include <gtest/gtest.h>

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <random>

#include "server/canvas/scaled_view.h"
#include "server/core/figure_files.h"
#include "server/frontend/view_place.h"
#include "tests/server/server_fixture.h"
#include "tests/support/temp_folder.h"

namespace lumo::server::test_support {
namespace {

class DisplayListReplay : public ServerCoreTest, public ::testing::WithParamInterface<size_t> {
 protected:
  void SetUp() override {
    options.list_limit = GetParam();
    ServerCoreTest::SetUp();
    ASSERT_EQ(text("I,1,160,120,-1,-1,-1,"), 1);
  }

  int pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random_); }
  int32_t colour() { return 0x02000000 | static_cast<int32_t>(random_() & 0xFFFFFF); }
  int coordinate() { return pick(0, 300) == 0 ? pick(-3000, 3000) : pick(-20, 200); }

  // One random drawing command on window 1, as a program would send it.
  void draw_something() {
    unsigned char* b = block(1);
    words(1, coordinate(), coordinate(), coordinate(), coordinate());
    static const int kModes[] = {13, 13, 4, 4, 4, 1, 6, 7, 16, 0};
    switch (pick(0, 17)) {
      case 0:
        write_i32(b, kPenColour, colour());
        write_i32(b, kPenStyle, pick(0, 9));
        write_i32(b, kPenWidth, pick(0, 4) == 0 ? pick(2, 9) : 1);
        write_i32(b, kPenMode, kModes[pick(0, 9)]);
        write_i32(b, kBrushColour, colour());
        write_i32(b, kBrushStyle, pick(0, 3));
        write_i32(b, kBrushHatch, pick(0, 5));
        write_i32(b, kChanged, 0x07F);
        command(1, 'A', kDrawAttributes);
        break;
      case 1:
        if (pick(0, 3) == 0) {
          words(1, 65536, 0, 0, 65536);
          command(1, 'A', kDrawTransform, 0, 0);  // back to none
        } else {
          words(1, pick(40000, 90000), pick(-20000, 20000), pick(-20000, 20000), pick(40000, 90000));
          command(1, 'A', kDrawTransform, pick(-30, 30), pick(-30, 30));
        }
        break;
      case 2: {
        write_i32(b, kTextHeight, pick(6, 30));
        write_i32(b, kTextAngle, pick(0, 2) == 0 ? pick(0, 3600) : 0);
        write_i32(b, kTextAlign, pick(0, 8));
        write_i32(b, kTextColour, colour());
        b[kDataArea] = 0;
        command(1, 'A', kDrawFont);
        std::snprintf(reinterpret_cast<char*>(b + kDataArea), 64, "Lumo %d \x80\xE9", pick(0, 999));
        command(1, 'A', kDrawText, coordinate(), coordinate());
        break;
      }
      case 3: command(1, 'A', kDrawPixel, coordinate(), coordinate()); break;
      case 4: command(1, 'A', kDrawPointOp, coordinate(), coordinate()); break;
      case 5:
      case 6:
        command(1, 'A', kDrawMove, coordinate(), coordinate());
        command(1, 'A', kDrawLine, coordinate(), coordinate());
        break;
      case 7: command(1, 'A', kDrawRect); break;
      case 8: command(1, 'A', kDrawRectMode, pick(0, 4)); break;
      case 9: command(1, 'A', kDrawRoundRect, pick(0, 40), pick(0, 40)); break;
      case 10: command(1, 'A', kDrawEllipse); break;
      case 11: {
        const int32_t radial[4] = {coordinate(), coordinate(), coordinate(), coordinate()};
        std::memcpy(b + kDataArea, radial, sizeof radial);
        command(1, 'A', kDrawArc + pick(0, 2));
        break;
      }
      case 12:
      case 13: {
        // Now and then a long polyline, a walk whose points the canvas takes
        // (at whole pixels or between them).
        const bool walk = long_walks_ && pick(0, 30) == 0, between = walk && pick(0, 1) == 0;
        std::vector<int32_t> p(static_cast<size_t>(2 * (walk ? 40000 : pick(2, 30))));
        for (size_t i = 0; i < p.size(); ++i) p[i] = walk && i > 1 ? p[i - 2] + pick(-2, 2) : coordinate();
        if (between) {
          for (int32_t& v : p) v = v * 256 + pick(0, 255);
        }
        const int kinds[] = {kBlockPolygon, kBlockPolyline, kBlockBezier};
        write_i32(b, kFillMode, pick(1, 2));
        const int kind = walk ? kBlockPolyline + (between ? kBlockSubpixel : 0) : kinds[pick(0, 2)];
        command(1, 'N', kind, static_cast<int32_t>(p.size() / 2));
        for (size_t at = 0; at < 4 * p.size(); at += kDataSize) {
          const size_t size = std::min<size_t>(kDataSize, 4 * p.size() - at);
          std::memcpy(b + kDataArea, reinterpret_cast<const unsigned char*>(p.data()) + at, size);
          command(1, 'B', kBlockChunk, static_cast<int32_t>(at), static_cast<int32_t>(size));
        }
        command(1, 'B', kBlockCommit);
        if (walk) expect_replay_matches(between ? "after a long walk between pixels" : "after a long walk");
        break;
      }
      case 14: command(1, 'A', kDrawMarker, coordinate(), coordinate()); break;
      case 15:
        if (pick(0, 5) == 0) command(1, 'B', 5 /* resize */, pick(20, 220), pick(20, 160));
        break;
      case 16:
        if (pick(0, 20) == 0) command(1, 'B', 4 /* clear */);
        break;
      default:
        b[kDataArea] = static_cast<unsigned char>('A' + pick(0, 25));
        command(1, 'A', kDrawSymbol, coordinate(), coordinate());
        break;
    }
  }

  // The pixels of the window and of its list replayed onto a new canvas.
  void expect_replay_matches(const std::string& when) {
    Window& w = *server->window(1);
    const int width = w.canvas().width(), height = w.canvas().height();
    CairoCanvas fresh(width, height, Rgb{1, 2, 3});
    w.display_list().replay(fresh, false);
    std::vector<uint32_t> live(static_cast<size_t>(width) * height), again(live.size());
    ASSERT_TRUE(w.canvas().read_pixels(0, 0, width, height, live.data()));
    ASSERT_TRUE(fresh.read_pixels(0, 0, width, height, again.data()));
    size_t differ = 0, first = live.size();
    for (size_t i = 0; i < live.size(); ++i) {
      if (live[i] != again[i] && differ++ == 0) first = i;
    }
    ASSERT_EQ(differ, 0u) << when << ": first at (" << first % width << "," << first / width << ")";
  }

  // Long walks thinned at the window's scale differ at other scales
  // more than a few pixels: only the replay at the same scale has them.
  bool long_walks_ = false;
  std::mt19937 random_{std::getenv("LUMO_FUZZ_SEED") ? static_cast<unsigned>(std::atoi(std::getenv("LUMO_FUZZ_SEED"))) : 20261208u};
};

TEST_P(DisplayListReplay, GivesTheWindowsVeryPixels) {
  long_walks_ = true;
  for (int round = 1; round <= 16; ++round) {
    for (int i = 0; i < 400; ++i) draw_something();
    expect_replay_matches("after round " + std::to_string(round));
  }
  const RecordingCanvas& list = server->window(1)->display_list();
  if (GetParam() < 100000) {
    EXPECT_TRUE(list.overflowed());
    EXPECT_LE(list.bytes(), GetParam() + 4 * 220 * 160 + 4096);  // the bound and one whole picture
  }
  EXPECT_GT(list.images(), 0u);  // invert, XOR and pixels were kept as images
}

namespace {

std::vector<uint32_t> pixels_of(cairo_surface_t* s, int x0, int y0, int w, int h) {
  cairo_surface_flush(s);
  const unsigned char* data = cairo_image_surface_get_data(s);
  const int stride = cairo_image_surface_get_stride(s);
  std::vector<uint32_t> out;
  for (int y = y0; y < y0 + h; ++y) {
    const uint32_t* row = reinterpret_cast<const uint32_t*>(data + static_cast<size_t>(y) * stride);
    for (int x = x0; x < x0 + w; ++x) out.push_back(row[x] & 0xFFFFFF);
  }
  return out;
}

size_t differing(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
  size_t n = 0;
  for (size_t i = 0; i < a.size(); ++i) n += a[i] != b[i];
  return n;
}

}  // namespace

// A view kept up to date a little at a time (only what is new drawn, in
// slices) shows what a view drawn whole does; a zoomed view is a cut of the picture drawn
// whole at the larger scale.
TEST_P(DisplayListReplay, ScaledViewsDrawOnlyWhatIsNewAndZoomsAreCuts) {
  ScaledView kept;
  for (int round = 1; round <= 8; ++round) {
    for (int i = 0; i < 200; ++i) draw_something();
    RecordingCanvas& list = server->window(1)->display_list();
    const int w = list.width(), h = list.height();
    // A slice at a time (one of a few kilobytes an update), as a window of a
    // program that draws without pause is kept.
    int slices = 0;
    do {
      ASSERT_TRUE(kept.update(list, 2 * w, 2 * h, 2, 0, 0, 0));
      ++slices;
    } while (!kept.caught_up());
    ScaledView whole, large, zoomed;
    ASSERT_TRUE(whole.update(list, 2 * w, 2 * h, 2, 0, 0));
    EXPECT_EQ(differing(pixels_of(kept.surface(), 0, 0, 2 * w, 2 * h), pixels_of(whole.surface(), 0, 0, 2 * w, 2 * h)),
              0u)
        << "round " << round << ", " << slices << " slices";
    // Zoom 4 at the screen's scale 2, the view's top left at device (w/4, h/4).
    const int x0 = w / 4, y0 = h / 4;
    ASSERT_TRUE(large.update(list, 8 * w, 8 * h, 8, 0, 0));
    ASSERT_TRUE(zoomed.update(list, 2 * w, 2 * h, 2, 0, 0));  // first 1:1, as a window is
    ASSERT_TRUE(zoomed.update(list, 2 * w, 2 * h, 8, x0, y0));
    // (cairo cuts far-off figures and places glyphs a shade apart: a few
    // pixels along edges; a wrong place or scale differs nearly everywhere.)
    EXPECT_LT(differing(pixels_of(zoomed.surface(), 0, 0, 2 * w, 2 * h),
                        pixels_of(large.surface(), 8 * x0, 8 * y0, 2 * w, 2 * h)),
              static_cast<size_t>(4 * w * h / 100))
        << "round " << round;
  }
}

// A polygon of very many points filled in the xor or inverting mode goes in
// slices; the list keeps such a figure as the image of the pixels it
// changed.  Another program's figure or a replay of the list (a scaled view,
// a vector file) coming between its slices still finds it whole: the list
// replayed gives the picture's very pixels.
// The pixels of the list's picture, once its drawing is done, that differ
// from the list replayed onto a fresh surface.
size_t differs_from_replay(RecordingCanvas& list) {
  while (list.continue_work()) {
  }
  const int w = list.width(), h = list.height();
  CairoCanvas fresh(w, h, Rgb{1, 2, 3});
  list.replay(fresh, false);
  std::vector<uint32_t> live(static_cast<size_t>(w) * h), again(live.size());
  if (!list.read_pixels(0, 0, w, h, live.data()) || !fresh.read_pixels(0, 0, w, h, again.data())) return live.size();
  size_t differ = 0;
  for (size_t i = 0; i < live.size(); ++i) differ += live[i] != again[i];
  return differ;
}

TEST(DisplayListSlices, ARasterFillBetweenSlicesIsRecordedWhole) {
  constexpr int kW = 200, kH = 150;
  std::mt19937 random(7);
  std::vector<Point> p(8000);
  for (Point& q : p) q = {static_cast<int>(random() % (kW - 20)) + 10, static_cast<int>(random() % (kH - 20)) + 10};
  for (Blend blend : {Blend::kXor, Blend::kInvert}) {
    for (bool replay_between : {false, true}) {
      RecordingCanvas list(std::make_unique<CairoCanvas>(kW, kH, Rgb{255, 255, 255}), Rgb{255, 255, 255});
      list.set_slice(1e-9);
      Pen crisp;
      crisp.blend = Blend::kCrisp;
      crisp.style = kInvisible;
      list.rect(crisp, Brush{{30, 160, 200}, kBrushSolid, 0}, Point{0, 0}, Point{kW / 2, kH});
      Pen pen;
      pen.blend = blend;
      pen.colour = {40, 200, 90};
      list.polygon(pen, Brush{{200, 100, 50}, kBrushSolid, 0}, p.data(), static_cast<int>(p.size()), false);
      ASSERT_TRUE(list.work_left());
      if (replay_between) {
        CairoCanvas view(kW, kH, Rgb{0, 0, 0});
        list.replay(view, false);
      } else {
        list.rect(crisp, Brush{{0, 0, 255}, kBrushSolid, 0}, Point{kW / 2 - 30, kH - 40}, Point{kW / 2 + 30, kH - 5});
      }
      EXPECT_EQ(differs_from_replay(list), 0u) << (blend == Blend::kXor ? "xor" : "inverting")
                            << (replay_between ? ", replayed between slices" : ", a figure between slices");
    }
  }
}

// A long figure that takes the list past its bound: the list goes on from
// an image of the picture, which must hold that figure whole, not the
// slice of it drawn so far.
TEST(DisplayListSlices, AFigurePastTheBoundIsInTheImageWhole) {
  constexpr int kW = 200, kH = 150;
  std::mt19937 random(9);
  std::vector<Point> p(20000);
  for (Point& q : p) q = {static_cast<int>(random() % kW), static_cast<int>(random() % kH)};
  RecordingCanvas list(std::make_unique<CairoCanvas>(kW, kH, Rgb{255, 255, 255}), Rgb{255, 255, 255}, 64 * 1024);
  list.set_slice(1e-9);
  Pen pen;
  pen.blend = Blend::kSmooth;
  pen.width = 3;
  pen.colour = {200, 30, 30};
  list.polyline(pen, p.data(), static_cast<int>(p.size()));
  ASSERT_TRUE(list.overflowed());
  EXPECT_EQ(differs_from_replay(list), 0u);
}

// The place of a zoomed picture: the point under the pointer stays there,
// the zoom goes by notches of 1.25 up to 32, the picture never leaves the
// window, and input comes back in the program's pixels.
TEST(ViewPlaceTest, ZoomsAboutThePointerWithinThePicture) {
  struct Case {
    double scale;
    int sx, sy, notches;
    double zoom;
    const char* title;
  } cases[] = {{1, 100, 50, 1, 1.25, " - 125%"}, {2, 0, 0, 3, 1.953125, " - 195%"},
               {1.5, 449, 299, 40, 32, " - 3200%"}, {2, 599, 399, -2, 1, ""}};
  for (const Case& c : cases) {
    ViewPlace p;
    p.scale = c.scale;
    p.resized(300, 200);
    int ux = 0, uy = 0, x = 0, y = 0;
    p.device_at(c.sx, c.sy, &ux, &uy);
    EXPECT_EQ(p.zoom_about(c.sx, c.sy, c.notches), c.zoom != 1) << c.notches;
    EXPECT_DOUBLE_EQ(p.zoom(), c.zoom);
    EXPECT_EQ(p.title_suffix(), c.title);
    p.device_at(c.sx, c.sy, &x, &y);
    EXPECT_NEAR(x, ux, 1) << c.sx;
    EXPECT_NEAR(y, uy, 1) << c.sy;
    EXPECT_GE(p.x0(), 0);
    EXPECT_LE(p.x0() + p.screen_width() / p.k(), 300 + 1e-9);
    p.pan(-1e6, -1e6);  // as far as it goes: the bottom right corner shows
    p.device_at(p.screen_width() - 1, p.screen_height() - 1, &x, &y);
    EXPECT_EQ(x, 299);
    EXPECT_EQ(y, 199);
    p.reset();
    p.device_at(p.screen_width() - 1, 0, &x, &y);
    EXPECT_EQ(x, 299);
    EXPECT_EQ(y, 0);
  }
  double s = 0;
  EXPECT_TRUE(parse_view_scale("1.25", &s) && s == 1.25);
  EXPECT_FALSE(parse_view_scale("1.3", &s) || parse_view_scale("2x", &s) || parse_view_scale("", &s));
  EXPECT_EQ(scale_of_dpi(96), 1);
  EXPECT_EQ(scale_of_dpi(192), 2);
  EXPECT_EQ(scale_of_dpi(140), 1.5);
}

INSTANTIATE_TEST_SUITE_P(Bounds, DisplayListReplay,
                         ::testing::Values(kDefaultListLimit, size_t{3000}));

TEST(FigureFiles, FormatsFromNamesAndSettings) {
  struct Name {
    const char* path;
    FigureFormat format;
  } names[] = {{"a.svg", FigureFormat::kSvg}, {"dir.v/A.PDF", FigureFormat::kPdf},
               {"x.Eps", FigureFormat::kEps}, {"x.png", FigureFormat::kPng},
               {"x.lmd", FigureFormat::kPng}, {"svg", FigureFormat::kPng},
               {"dir.svg/file", FigureFormat::kPng}, {"C:\\a.pdf\\b", FigureFormat::kPng}};
  for (const Name& n : names) EXPECT_EQ(figure_format_of(n.path), n.format) << n.path;

  struct Target {
    const char* value;
    bool ok;
    const char* dir;
    std::vector<FigureFormat> formats;
  } targets[] = {
      {"out:png,svg,pdf", true, "out", {FigureFormat::kPng, FigureFormat::kSvg, FigureFormat::kPdf}},
      {"/tmp/figs:EPS,eps", true, "/tmp/figs", {FigureFormat::kEps}},
      {"C:\\figs", true, "C:\\figs", {FigureFormat::kPng}},
      {"C:\\figs:svg", true, "C:\\figs", {FigureFormat::kSvg}},
      {"out:png,gif", false, "", {}},
      {"./figs.2026:v1", false, "", {}},
      {"/tmp/a:b/figs", true, "/tmp/a:b/figs", {FigureFormat::kPng}},
      {":svg", false, "", {}},
      {"", false, "", {}},
  };
  for (const Target& t : targets) {
    std::string dir = "unchanged", error;
    std::vector<FigureFormat> formats;
    EXPECT_EQ(parse_figure_target(t.value, &dir, &formats, &error), t.ok) << t.value;
    EXPECT_EQ(error.empty(), t.ok) << t.value;
    if (!t.ok) continue;
    EXPECT_EQ(dir, t.dir) << t.value;
    EXPECT_EQ(formats, t.formats) << t.value;
  }
}

}  // namespace
}  // namespace lumo::server::test_support

namespace lumo::server::test_support {
namespace {

// The drawing file request saves in the format the name asks for; a file
// that cannot be written is a failure, and a link planted at the name is
// replaced, never followed.
// Drawing files written and pictures read at once, and beside the loop
// (slices set): the same replies, files and lines for the program.
class BesideTheLoop : public ServerCoreTest, public ::testing::WithParamInterface<double> {
 protected:
  void SetUp() override {
    options.slice_seconds = GetParam();
    ServerCoreTest::SetUp();
  }
};
INSTANTIATE_TEST_SUITE_P(AtOnceAndBeside, BesideTheLoop, ::testing::Values(0.0, 0.02));

TEST_P(BesideTheLoop, DrawingFilesTakeTheFormatTheirNameAsks) {
  ASSERT_EQ(text("I,1,64,48,-1,-1,-1,"), 1);
  words(1, 5, 5, 40, 30);
  command(1, 'A', kDrawEllipse);
  const testing_support::TempFolder folder("lumo_drawing_files");
  const std::string& dir = folder.path();
  struct Case {
    const char* name;
    const char* starts;
  } cases[] = {{"/a.svg", "<?xml"}, {"/b.PDF", "%PDF-"}, {"/c.eps", "%!PS-Adobe-3.0 EPSF"},
               {"/d.png", "\x89PNG"}, {"/e.lmd", "\x89PNG"}};
  for (const Case& c : cases) {
    const std::string path = dir + c.name;
    std::snprintf(reinterpret_cast<char*>(block(1) + kDataArea), 512, "%s", path.c_str());
    EXPECT_EQ(command(1, 'B', kRequestDrawingFile, 0 /* save */), 1) << c.name;
    std::ifstream in(path, std::ios::binary);
    std::string head(std::strlen(c.starts), '\0');
    in.read(&head[0], static_cast<std::streamsize>(head.size()));
    EXPECT_EQ(head, c.starts) << c.name;
  }
  const std::string planted = dir + "/planted.svg";
  ASSERT_EQ(symlink((dir + "/elsewhere").c_str(), planted.c_str()), 0);
  for (const std::string& path : {dir + "/missing/x.pdf", planted}) {
    std::snprintf(reinterpret_cast<char*>(block(1) + kDataArea), 512, "%s", path.c_str());
    EXPECT_EQ(command(1, 'B', kRequestDrawingFile, 0 /* save */), path == planted ? 1 : 0) << path;
  }
  struct stat st;
  ASSERT_EQ(lstat(planted.c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));  // the link was replaced by the figure
  EXPECT_NE(lstat((dir + "/elsewhere").c_str(), &st), 0);  // nothing written through the link
}

// A PNG whose header promises a picture larger than the windows' pictures
// may take is refused before it is read, and the program is told why; a
// picture within the bound is loaded.
TEST_P(BesideTheLoop, AHugePictureIsRefusedBeforeItIsRead) {
  ASSERT_EQ(text("I,1,64,48,-1,-1,-1,"), 1);
  std::vector<std::string> complaints;
  server->complaint = [&](const std::string& t) { complaints.push_back(t); };
  const testing_support::TempFolder folder("lumo_huge_pictures");
  const std::string saved = folder.path() + "/saved.png", huge = folder.path() + "/huge.png";
  auto request = [&](const std::string& path, int what) {
    std::snprintf(reinterpret_cast<char*>(block(1) + kDataArea), 512, "%s", path.c_str());
    return command(1, 'B', kRequestDrawingFile, what);
  };
  ASSERT_EQ(request(saved, 0 /* save */), 1);
  EXPECT_EQ(request(saved, 1 /* load */), 1);
  // The same file, its header saying 60,000 x 60,000 pixels (14 GB).
  std::ifstream in(saved, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), {});
  ASSERT_GT(bytes.size(), 40u);
  const std::string whole = bytes;
  const unsigned char side[4] = {0x00, 0x00, 0xEA, 0x60};
  for (int at : {16, 20}) std::memcpy(&bytes[static_cast<size_t>(at)], side, 4);
  std::ofstream(huge, std::ios::binary) << bytes;
  complaints.clear();
  EXPECT_EQ(request(huge, 1 /* load */), 0);
  ASSERT_EQ(complaints.size(), 1u);
  EXPECT_NE(complaints[0].find("60000 x 60000 pixels"), std::string::npos) << complaints[0];
  // Files that hold no picture are refused with the reason.
  const struct {
    std::string bytes;
    const char* reason;
  } unreadable[] = {{whole.substr(0, 20), "not a PNG file"},
                    {"GIF89a and more than twenty-four bytes", "not a PNG file"},
                    {whole.substr(0, 40), "could not be read"}};
  for (const auto& u : unreadable) {
    std::ofstream(huge, std::ios::binary | std::ios::trunc) << u.bytes;
    complaints.clear();
    EXPECT_EQ(request(huge, 1 /* load */), 0) << u.reason;
    ASSERT_EQ(complaints.size(), 1u) << u.reason;
    EXPECT_NE(complaints[0].find("huge.png: "), std::string::npos) << complaints[0];
    EXPECT_NE(complaints[0].find(u.reason), std::string::npos) << complaints[0];
  }
}

// A drawing file is written from the list as it was asked for, though
// another program clears the window and draws on while it is written.
TEST_P(BesideTheLoop, AFileHoldsTheListAsItWasAskedFor) {
  ASSERT_EQ(text("I,1,320,240,-1,-1,-1,"), 1);
  std::vector<int32_t> p(2 * 100000);
  for (size_t i = 0; i < p.size(); ++i) p[i] = static_cast<int32_t>((i * 7919) % (i % 2 ? 240 : 320));
  // The first `n` points as a polyline sent by `client`, not committed yet.
  auto send = [&](int client, size_t n) {
    command(1, 'N', kBlockPolyline, static_cast<int32_t>(n), 0, client);
    for (size_t at = 0; at < 8 * n; at += kDataSize) {
      const size_t size = std::min<size_t>(kDataSize, 8 * n - at);
      std::memcpy(block(1) + kDataArea, reinterpret_cast<const unsigned char*>(p.data()) + at, size);
      command(1, 'B', kBlockChunk, static_cast<int32_t>(at), static_cast<int32_t>(size), client);
    }
  };
  // Many records: the writer reads the list for as long as it writes.
  for (int i = 0; i < 2000; ++i) {
    send(1, 50);
    ASSERT_EQ(command(1, 'B', kBlockCommit), 1);
  }
  const testing_support::TempFolder folder("lumo_beside_files");
  const std::string first = folder.path() + "/first.svg", second = folder.path() + "/second.svg";
  std::snprintf(reinterpret_cast<char*>(block(1) + kDataArea), 512, "%s", first.c_str());
  ASSERT_EQ(command(1, 'B', kRequestDrawingFile, 0 /* save */), 1);
  send(2, p.size() / 2);
  std::snprintf(reinterpret_cast<char*>(block(1) + kDataArea), 512, "%s", second.c_str());
  write_i32(block(1), kArg1, kRequestDrawingFile);
  write_i32(block(1), kArg2, 0);
  const unsigned char request[3] = {'B', 1 + 32, 0};
  const int32_t reply = server->handle(1, request, 3);
  EXPECT_EQ(server->holding(1), GetParam() > 0);
  // While it is written, program 2 draws past the list's memory and clears
  // the window.
  EXPECT_EQ(command(1, 'B', kBlockCommit, 0, 0, 2), 1);
  EXPECT_EQ(command(1, 'B', 4 /* clear */, 0, 0, 2), 1);
  command(1, 'A', kDrawLine, 300, 200, 2);
  while (server->holding(1) && server->continue_work()) {
  }
  EXPECT_EQ(server->held_reply(1, reply), 1);
  std::ifstream a(first, std::ios::binary), b(second, std::ios::binary);
  const std::string written((std::istreambuf_iterator<char>(a)), {}), again((std::istreambuf_iterator<char>(b)), {});
  EXPECT_GT(written.size(), 100000u);
  EXPECT_EQ(written, again);
}

// A file its user may not write is not replaced (0, the file as it was, a
// complaint naming it); one that may be replaced keeps its permissions.
// Another account may not replace a root's file in a folder open to all,
// nor another user's file in a shared folder with the sticky bit.
TEST_F(ServerCoreTest, DrawingFilesLeaveProtectedFilesAlone) {
  ASSERT_EQ(text("I,1,64,48,-1,-1,-1,"), 1);
  std::vector<std::string> complaints;
  server->complaint = [&](const std::string& t) { complaints.push_back(t); };
  const testing_support::TempFolder folder("lumo_kept_files");
  const std::string dir = folder.path();
  auto save = [&](const std::string& path) {
    std::snprintf(reinterpret_cast<char*>(block(1) + kDataArea), 512, "%s", path.c_str());
    return command(1, 'B', kRequestDrawingFile, 0 /* save */);
  };
  auto plant = [](const std::string& path, mode_t mode) {
    std::ofstream(path) << "kept";
    chmod(path.c_str(), mode);
  };
  auto contents = [](const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  auto mode_of = [](const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
  };
  for (const char* ext : {"svg", "pdf", "eps", "png", "lmd"}) {
    const std::string locked = dir + "/locked." + ext, open = dir + "/open." + ext;
    plant(locked, 0400);
    plant(open, 0640);
    complaints.clear();
    EXPECT_EQ(save(locked), 0) << locked;
    EXPECT_EQ(contents(locked), "kept") << locked;
    EXPECT_EQ(mode_of(locked), 0400u) << locked;
    ASSERT_EQ(complaints.size(), 1u) << locked;
    EXPECT_NE(complaints[0].find(locked + " is write-protected"), std::string::npos) << complaints[0];
    EXPECT_EQ(save(open), 1) << open;
    EXPECT_NE(contents(open), "kept") << open;
    EXPECT_EQ(mode_of(open), 0640u) << open;
  }
  if (geteuid() != 0) return;  // another account is needed for the rest
  // Its folders where another account can reach them: the test's own
  // temporary folder may be closed to others.
  char open_pattern[] = "/tmp/lumo_kept_open_XXXXXX";
  ASSERT_NE(mkdtemp(open_pattern), nullptr);
  const std::string open_dir = open_pattern;
  struct Remove {
    std::string path;
    ~Remove() { testing_support::temp_folder_detail::remove_tree(path); }
  } remove_open{open_dir};
  chmod(open_dir.c_str(), 0755);
  const std::string everyone = open_dir + "/everyone", shared = open_dir + "/shared";
  mkdir(everyone.c_str(), 0777);
  chmod(everyone.c_str(), 0777);
  mkdir(shared.c_str(), 0777);
  chmod(shared.c_str(), 01777);
  struct Case {
    std::string path;
    mode_t mode;
  } cases[] = {{everyone + "/root.png", 0644}, {everyone + "/root.svg", 0444}, {shared + "/root.pdf", 0666}};
  for (const Case& c : cases) plant(c.path, c.mode);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // As nobody: each save refused, each file as it was.
    int wrong = setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0 ? 100 : 0;
    for (const Case& c : cases) {
      if (save(c.path) != 0 || contents(c.path) != "kept") ++wrong;
    }
    if (save(everyone + "/new.png") != 1) ++wrong;  // a new file is written
    _exit(wrong);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace lumo::server::test_support
