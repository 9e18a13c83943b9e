// Where figures land: under a whole-pixel translation, from far away, and
// from radial points that give no direction.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/block_access.h"
#include "common/lumo_wire.h"
#include "tests/server/server_fixture.h"

using namespace lumo;
using namespace lumo::server;
using namespace lumo::wire;
using lumo::server::test_support::ServerCoreTest;

namespace {

constexpr int kW = 160, kH = 120;
constexpr int32_t kDx = 20, kDy = 10;

struct Figure {
  const char* name;
  int32_t code, arg;                // command and its argument word 2
  Point a, b, start, end;           // corners; radial points of the arc figures
  bool own_fill;                    // fills whatever the brush (invisible pen, hollow brush: ink)
};

// Each figure once, with radial points that give arcs a part of their
// ellipse and one whose start is its centre.
const Figure kFigures[] = {
    {"rectangle", kDrawRect, 0, {10, 10}, {60, 50}, {}, {}, false},
    {"rectangle, corners swapped", kDrawRect, 0, {60, 50}, {10, 10}, {}, {}, false},
    {"rectangle with a colour", kDrawRectEx, 3, {10, 10}, {60, 50}, {}, {}, true},
    {"rectangle with a bad colour", kDrawRectEx, -5, {10, 10}, {60, 50}, {}, {}, false},
    {"rectangle mode 0", kDrawRectMode, 0, {10, 10}, {60, 50}, {}, {}, false},
    {"rectangle mode 1", kDrawRectMode, 1, {10, 10}, {60, 50}, {}, {}, true},
    {"rectangle mode 2", kDrawRectMode, 2, {10, 10}, {60, 50}, {}, {}, true},
    {"rectangle mode 3", kDrawRectMode, 3, {10, 10}, {60, 50}, {}, {}, true},
    {"rectangle mode 4", kDrawRectMode, 4, {10, 10}, {60, 50}, {}, {}, true},
    {"rounded rectangle", kDrawRoundRect, 14, {10, 10}, {70, 60}, {}, {}, false},
    {"ellipse", kDrawEllipse, 0, {10, 10}, {71, 58}, {}, {}, false},
    {"arc", kDrawArc, 0, {10, 10}, {71, 58}, {200, 5}, {-100, 90}, false},
    {"chord", kDrawChord, 0, {10, 10}, {71, 58}, {200, 5}, {-100, 90}, false},
    {"pie", kDrawPie, 0, {10, 10}, {71, 58}, {200, 5}, {-100, 90}, false},
    {"pie from its centre", kDrawPie, 0, {10, 10}, {70, 58}, {40, 34}, {40, -100}, false},
    {"line", kDrawLine, 0, {5, 7}, {90, 70}, {}, {}, false},
};

struct PenKind {
  const char* name;
  int32_t style, width;
};

const PenKind kPens[] = {
    {"solid", 0, 1}, {"dashed", 1, 1}, {"dash-dot", 3, 1}, {"invisible", 5, 1},
    {"inside frame", 6, 5}, {"wide", 0, 3},
};

struct BrushKind {
  const char* name;
  int32_t style, hatch;
};

const BrushKind kBrushes[] = {{"solid", 0, 0}, {"hollow", 1, 0}, {"hatched", 2, 5}, {"half", 3, 0}};

// Smooth, crisp, exclusive or, inverting.
const int32_t kModes[] = {4, 13, 7, 6};

class Placement : public ServerCoreTest {
 protected:
  void SetUp() override {
    ServerCoreTest::SetUp();
    for (int w = 1; w <= 2; ++w) {
      ASSERT_EQ(text("I," + std::to_string(w) + "," + std::to_string(kW) + "," + std::to_string(kH) +
                     ",-1,-1,-1,"),
                w);
    }
    // Window 1 draws under the translation, window 2 without one.
    words(1, 65536, 0, 0, 65536);
    ASSERT_EQ(command(1, 'A', kDrawTransform, kDx, kDy), 1);
  }
  void attributes(int w, int32_t mode, const PenKind& p, const BrushKind& b) {
    write_i32(block(w), kPenColour, 0x020000C0);
    write_i32(block(w), kPenStyle, p.style);
    write_i32(block(w), kPenWidth, p.width);
    write_i32(block(w), kPenMode, mode);
    write_i32(block(w), kBrushColour, 0x0200A000);
    write_i32(block(w), kBrushStyle, b.style);
    write_i32(block(w), kBrushHatch, b.hatch);
    write_i32(block(w), kChanged, 0x07F);
    command(w, 'A', kDrawAttributes);
  }
  void line(int w, Point a, Point b) {
    command(w, 'A', kDrawMove, a.x, a.y);
    command(w, 'A', kDrawLine, b.x, b.y);
  }
  // The figure, moved by (dx, dy) first.
  void draw(int w, const Figure& f, int32_t dx, int32_t dy) {
    auto moved = [&](Point p) { return Point{p.x + dx, p.y + dy}; };
    const Point a = moved(f.a), b = moved(f.b);
    if (f.code == kDrawLine) {
      line(w, a, b);
      return;
    }
    words(w, a.x, a.y, b.x, b.y);
    const Point s = moved(f.start), e = moved(f.end);
    const int32_t radial[4] = {s.x, s.y, e.x, e.y};
    std::memcpy(block(w) + kDataArea, radial, sizeof radial);
    command(w, 'A', f.code, f.arg, f.code == kDrawRoundRect ? f.arg : 0);
  }
  std::vector<uint32_t> picture(int w) {
    std::vector<uint32_t> p(static_cast<size_t>(kW) * kH);
    EXPECT_TRUE(server->window(w)->canvas().read_pixels(0, 0, kW, kH, p.data()));
    return p;
  }
};

}  // namespace

// A whole-pixel translation only moves what is drawn: every figure, with
// every kind of pen and brush in every mode, drawn under a translation must
// leave exactly the pixels of the same figure drawn with its coordinates
// already moved.
TEST_F(Placement, ATranslationMovesEveryFigureAsItsMovedCoordinatesDraw) {
  int combinations = 0, inked = 0;
  std::string failures;
  for (int32_t mode : kModes) {
    for (const PenKind& pen : kPens) {
      for (const BrushKind& brush : kBrushes) {
        for (const Figure& f : kFigures) {
          for (int w = 1; w <= 2; ++w) {
            // A grey ground: the inverting and exclusive-or modes show too.
            server->window(w)->canvas().clear(Rgb{200, 180, 160});
            attributes(w, mode, pen, brush);
            draw(w, f, w == 1 ? 0 : kDx, w == 1 ? 0 : kDy);
          }
          const std::vector<uint32_t> translated = picture(1), moved = picture(2);
          int differing = 0;
          for (size_t i = 0; i < translated.size(); ++i) {
            differing += translated[i] != moved[i];
            inked += moved[i] != 0xC8B4A0u;
          }
          ++combinations;
          // An invisible pen and a hollow brush leave no ink.
          if (pen.style == kInvisible && brush.style == kBrushHollow && !f.own_fill) {
            for (uint32_t p : translated) differing += p != 0xC8B4A0u;
          }
          if (differing) {
            failures += std::string("\n  mode ") + std::to_string(mode) + ", " + pen.name + " pen, " +
                        brush.name + " brush, " + f.name + ": " + std::to_string(differing) + " px";
          }
        }
      }
    }
  }
  EXPECT_EQ(combinations, 4 * 6 * 4 * 16);
  EXPECT_GT(inked, combinations * 100) << "the figures must draw something";
  EXPECT_TRUE(failures.empty()) << "drawn under the translation, not as moved:" << failures;
}

// A styled one-pixel line whose visible steps lie far outside the window
// (a coordinate beyond what cairo holds, or beyond 2^29 where points are
// pulled in) draws nothing; one that crosses the window from far away keeps
// its pattern's phase: it draws what the same line started a whole number
// of pattern periods closer draws.
TEST_F(Placement, FarDashedLinesDrawOnlyWhatIsVisible) {
  const std::pair<Point, Point> kFar[] = {
      {{539954908, 225}, {539954838, 485}},          // steep, beyond 2^29 to the right
      {{-600000000, 40}, {-600000100, -300}},        // steep, beyond 2^29 to the left
      {{-100000000, 50}, {50, -100000000}},          // its columns reach the window, its rows not
      {{30, 90000000}, {130, 90000400}},             // far below
      {{-20000000, -20000000}, {20000000, -19999000}},
  };
  ASSERT_EQ(text("I,3,300,500,-1,-1,-1,"), 3);
  for (int32_t mode : {4, 13}) {
    for (int32_t style : {1, 2, 3, 4, 7, 8, 9}) {
      attributes(3, mode, PenKind{"styled", style, 1}, kBrushes[1]);
      for (const auto& [a, b] : kFar) {
        server->window(3)->canvas().clear(Rgb{255, 255, 255});
        line(3, a, b);
        std::vector<uint32_t> p(300 * 500);
        ASSERT_TRUE(server->window(3)->canvas().read_pixels(0, 0, 300, 500, p.data()));
        int inked = 0;
        for (uint32_t c : p) inked += c != 0xFFFFFFu;
        EXPECT_EQ(inked, 0) << "mode " << mode << ", style " << style << ", line (" << a.x << ","
                            << a.y << ")-(" << b.x << "," << b.y << ")";
      }
    }
  }
  // The line through (150, 80) along (4, 1), from 6,000,148 and from 100
  // steps back: 6,000,048 steps of 4 pixels are a whole number of every
  // pattern's period (6, 24, 48, 57 and 2 pixels all divide 24,000,192).
  const Point end{150, 80};
  const Point far{end.x - 4 * 6000148, end.y - 6000148}, near{end.x - 400, end.y - 100};
  for (int32_t style : {1, 2, 3, 4, 7, 8, 9}) {
    attributes(2, 4, PenKind{"styled", style, 1}, kBrushes[1]);
    server->window(2)->canvas().clear(Rgb{255, 255, 255});
    line(2, far, end);
    const std::vector<uint32_t> from_far = picture(2);
    server->window(2)->canvas().clear(Rgb{255, 255, 255});
    line(2, near, end);
    const std::vector<uint32_t> from_near = picture(2);
    int differing = 0, inked = 0;
    for (size_t i = 0; i < from_far.size(); ++i) {
      differing += from_far[i] != from_near[i];
      inked += from_near[i] != 0xFFFFFFu;
    }
    EXPECT_GT(inked, 40) << "style " << style;
    EXPECT_EQ(differing, 0) << "style " << style;
  }
}

// The radial points of arcs, chords and pies point from the middle of the
// corners in whole pixels, as GDI takes them: a point next to that middle
// gives the same figure as a point far away in the same direction, and the
// middle itself points east (a pie from there to the east is whole).
TEST_F(Placement, RadialPointsPointFromTheCornersMiddle) {
  const Point kNear[] = {{0, 0}, {1, 0}, {0, 1}, {-1, 0}, {0, -1}, {1, 1}, {-1, -1}, {2, -1}};
  const Point a{10, 10}, b{36, 46};  // 26 x 36 pixels: the middle (23, 28) is off the box's centre
  const Point middle{23, 28};
  for (int32_t mode : {4, 13}) {
    for (int32_t code : {kDrawArc, kDrawChord, kDrawPie}) {
      attributes(2, mode, kPens[0], kBrushes[0]);
      for (const Point& d : kNear) {
        std::vector<uint32_t> pictures[2];
        for (int far = 0; far < 2; ++far) {
          const int32_t reach = far ? 1000 : 1;
          const Point start = d.x == 0 && d.y == 0 && far ? Point{middle.x + 1000, middle.y}
                                                           : Point{middle.x + reach * d.x, middle.y + reach * d.y};
          // From the point to the north-west, or from the north-west to it.
          const Point other{middle.x - 1000, middle.y - 700};
          server->window(2)->canvas().clear(Rgb{255, 255, 255});
          words(2, a.x, a.y, b.x, b.y);
          const int32_t radial[4] = {start.x, start.y, other.x, other.y};
          std::memcpy(block(2) + kDataArea, radial, sizeof radial);
          command(2, 'A', code);
          const int32_t reversed[4] = {other.x + 50, other.y, start.x + 50, start.y};
          words(2, a.x + 50, a.y, b.x + 50, b.y);
          std::memcpy(block(2) + kDataArea, reversed, sizeof reversed);
          command(2, 'A', code);
          pictures[far] = picture(2);
        }
        int differing = 0;
        for (size_t i = 0; i < pictures[0].size(); ++i) differing += pictures[0][i] != pictures[1][i];
        EXPECT_EQ(differing, 0) << "mode " << mode << ", code " << code << ", point (" << d.x << ","
                                << d.y << ") from the middle";
      }
    }
  }
}
