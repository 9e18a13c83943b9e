// World and device coordinates, the current position, and attributes.
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "include/lumo.h"
#include "tests/unit/test_support.h"

using namespace lumo;
using namespace lumo::wire;
using testing_support::DrawTest;

TEST_F(DrawTest, EmptyWorldSelectsPixelModeWithTheAreaFromTheServer) {
  fake::server().handler = [](const fake::Command& c) {
    if (c.letter == 'E' && c.arg[0] == 1) {
      write_i32(window_view(1), kResult0, 640);
      write_i32(window_view(1), kResult1, 480);
    }
    return 1;
  };
  EXPECT_EQ(LmSetWorld(0, 0, 0, 0), 1);
  const auto cmds = take();
  ASSERT_EQ(cmds.size(), 2u);
  EXPECT_EQ(cmds[1].letter, 'B');
  EXPECT_EQ(cmds[1].arg[0], 41);
  EXPECT_EQ(word(kPixelMode), 1);
  int ix = 0, iy = 0;
  LmWorldToDevice(10.4f, 20.6f, &ix, &iy);
  EXPECT_EQ(ix, 10);
  EXPECT_EQ(iy, 21);
  float x1, y1, x2, y2;
  LmGetWorld(&x1, &y1, &x2, &y2);
  EXPECT_EQ(x1, 0);
  EXPECT_EQ(y1, 0);
  EXPECT_EQ(x2, 639);
  EXPECT_EQ(y2, 479);
  // Rounding adds one half and truncates toward zero.
  LmWorldToDevice(-2.6f, -0.4f, &ix, &iy);
  EXPECT_EQ(ix, -2);
  EXPECT_EQ(iy, 0);
  LmWorldToDevice(2.5f, 0, &ix, nullptr);
  EXPECT_EQ(ix, 3);
}

TEST_F(DrawTest, WorldMappingOf50PixelsPerUnit) {
  LmSetWorld(0, 0, 10, 10);
  EXPECT_FLOAT_EQ(field(kScaleX), 50);
  EXPECT_FLOAT_EQ(field(kScaleY), 50);
  EXPECT_EQ(word(kPixelMode), 0);
  int ix = 0, iy = 0;
  LmWorldToDevice(5, 5, &ix, &iy);
  EXPECT_EQ(ix, 250);
  EXPECT_EQ(iy, 250);
  LmWorldToDevice(-0.1f, 10, &ix, &iy);
  EXPECT_EQ(ix, -4);  // -5 + 0.5 truncates to -4
  EXPECT_EQ(iy, 0);
}

TEST_F(DrawTest, WorldEmptyAlongOneAxisGetsEqualScales) {
  set_field(kViewX2, 2);
  set_field(kViewY2, 1);
  LmSetWorld(5, 0, 5, 10);
  float x1, y1, x2, y2;
  LmGetWorld(&x1, &y1, &x2, &y2);
  EXPECT_FLOAT_EQ(x1, -5);
  EXPECT_FLOAT_EQ(x2, 15);
  EXPECT_FLOAT_EQ(y2, 10);
  EXPECT_FLOAT_EQ(field(kScaleX), field(kScaleY));
  LmSetWorld(0, 3, 8, 3);
  LmGetWorld(&x1, &y1, &x2, &y2);
  EXPECT_FLOAT_EQ(y1, 1);
  EXPECT_FLOAT_EQ(y2, 5);
}

TEST_F(DrawTest, MirroredWorldsKeepLengthsPositive) {
  LmSetWorld(10, 10, 0, 0);
  EXPECT_LT(field(kScaleX), 0);
  int iw = 0, ih = 0;
  LmWorldToDeviceSize(2, 3, &iw, &ih);
  EXPECT_EQ(iw, 100);
  EXPECT_EQ(ih, 150);
}

TEST_F(DrawTest, NonFiniteCoordinatesGiveDefinedPixels) {
  LmSetWorld(0, 0, 10, 10);
  int ix = 7, iy = 7;
  LmWorldToDevice(std::numeric_limits<float>::quiet_NaN(),
                  std::numeric_limits<float>::infinity(), &ix, &iy);
  EXPECT_EQ(ix, 0);
  EXPECT_EQ(iy, INT32_MIN);
  LmWorldToDevice(1e30f, -1e30f, &ix, &iy);
  EXPECT_EQ(ix, INT32_MAX);
  EXPECT_EQ(iy, INT32_MAX);
}

TEST_F(DrawTest, EmptyViewportMeansTheWholeArea) {
  area(800, 400);
  LmSetWorld(0, 0, 10, 10);
  take();
  EXPECT_EQ(LmSetViewport(0.5f, 0.5f, 0.5f, 0.9f), 1);
  float v[4];
  LmGetViewport(&v[0], &v[1], &v[2], &v[3]);
  EXPECT_EQ(v[0], 0);
  EXPECT_EQ(v[2], 2);
  EXPECT_EQ(v[3], 1);
  EXPECT_EQ(word(kUnit), 400);
  EXPECT_FLOAT_EQ(field(kScaleX), 80);
  EXPECT_EQ(take()[0].arg[0], 19);

  area(300, 600);
  LmSetViewport(0, 0, 0, 0);
  LmGetViewport(&v[0], &v[1], &v[2], &v[3]);
  EXPECT_EQ(v[2], 1);
  EXPECT_EQ(v[3], 2);
  EXPECT_EQ(word(kUnit), 300);
}

TEST_F(DrawTest, ViewportToRectUsesTheCurrentMapping) {
  LmSetWorld(0, 0, 10, 10);
  LmSetViewportToRect(2, 2, 6, 8);
  float v[4];
  LmGetViewport(&v[0], &v[1], &v[2], &v[3]);
  EXPECT_FLOAT_EQ(v[0], 0.2f);
  EXPECT_FLOAT_EQ(v[1], 0.2f);
  EXPECT_FLOAT_EQ(v[2], 0.6f);
  EXPECT_FLOAT_EQ(v[3], 0.8f);
}

TEST_F(DrawTest, LinesSaveMovesThatTheCurrentPositionMakesNeedless) {
  LmSetWorld(0, 0, 10, 10);
  LmMoveTo(9, 9);
  take();
  LmLine(1, 1, 2, 2);
  LmLine(2, 2, 3, 1);
  const auto cmds = take();
  ASSERT_EQ(cmds.size(), 3u);
  EXPECT_EQ(cmds[0].arg[0], 11);
  EXPECT_EQ(cmds[0].arg[1], 50);
  EXPECT_EQ(cmds[0].arg[2], 450);
  EXPECT_EQ(cmds[1].arg[0], 20);
  EXPECT_EQ(cmds[2].arg[0], 20);
  EXPECT_EQ(cmds[2].arg[1], 150);
  EXPECT_EQ(cmds[2].arg[2], 450);
  float x, y;
  EXPECT_EQ(LmGetPosition(&x, &y), 1);
  EXPECT_FLOAT_EQ(x, 3);
  EXPECT_FLOAT_EQ(y, 1);
}

TEST_F(DrawTest, PenResetForgetsThePositionSoTheNextLineToMoves) {
  LmSetWorld(0, 0, 10, 10);
  LmMoveTo(1, 1);
  take();
  LmSetPen(-1, -1, -1, -1);
  auto cmds = take();
  ASSERT_EQ(cmds.size(), 1u);
  EXPECT_EQ(cmds[0].arg[0], 11);
  EXPECT_EQ(cmds[0].arg[1], -1);
  EXPECT_EQ(cmds[0].arg[2], -1);
  LmSetPen(-1, -1, -1, -1);  // already without a position: nothing sent
  EXPECT_TRUE(take().empty());
  LmLineTo(2, 2);
  EXPECT_EQ(take()[0].arg[0], 11);
  float x = 42, y = 43;
  LmSetPen(-1, -1, -1, -1);
  EXPECT_EQ(LmGetPosition(&x, &y), 0);
  EXPECT_EQ(x, 42);
  EXPECT_EQ(y, 43);
}

// Only the reset value means "no position": a line from any point off the
// area, left of it or above it, is a line (the server draws its visible part).
TEST_F(DrawTest, PositionsOffTheAreaAreStillPositions) {
  struct Case { int x, y; bool position; } cases[] = {
      {-10, 300, true}, {300, -10, true}, {-5, -5, true}, {-1, 0, true}, {0, -1, true},
      {-1, -1, false}};
  for (const Case& c : cases) {
    LmSetPen(-1, -1, -1, -1);
    LmDevMoveTo(1, c.x, c.y);
    take();
    LmDevLineTo(1, 200, 300);
    const auto cmds = take();
    ASSERT_EQ(cmds.size(), 1u);
    EXPECT_EQ(cmds[0].arg[0], c.position ? kDrawLine : kDrawMove) << c.x << "," << c.y;
    LmDevMoveTo(1, c.x, c.y);
    int x = 7, y = 7;
    EXPECT_EQ(LmDevGetPosition(1, &x, &y), c.position ? 1 : 0);
    EXPECT_EQ(x, c.position ? c.x : 7);
  }
  LmSetWorld(0, 0, 10, 10);  // the origin at the left edge: x = -1 is left of it
  LmSetPen(-1, -1, -1, -1);
  take();
  LmLine(-1, 2, 5, 2);
  const auto cmds = take();
  ASSERT_EQ(cmds.size(), 2u);
  EXPECT_EQ(cmds[0].arg[0], kDrawMove);
  EXPECT_EQ(cmds[1].arg[0], kDrawLine);
  float x, y;
  EXPECT_EQ(LmGetPosition(&x, &y), 1);
  EXPECT_FLOAT_EQ(x, 5);
}

TEST_F(DrawTest, RefusedMoveKeepsTheOldPosition) {
  LmDevMoveTo(1, 5, 6);
  fake::server().replies = {0};
  EXPECT_EQ(LmDevMoveTo(1, 7, 8), 0);
  int x, y;
  EXPECT_EQ(LmDevGetPosition(1, &x, &y), 1);
  EXPECT_EQ(x, 5);
  EXPECT_EQ(y, 6);
}

TEST_F(DrawTest, PenValuesAreStoredAndMarkedWheneverValid) {
  set_word(kPenStyle, 2);
  set_word(kPenWidth, 3);
  LmSetPen(13, -1, -1, 4);
  EXPECT_EQ(word(kChanged), 0x00C);
  int c, s, w, m;
  LmGetPen(&c, &s, &w, &m);
  EXPECT_EQ(c, 13);
  EXPECT_EQ(s, 2);
  EXPECT_EQ(w, 3);
  EXPECT_EQ(m, 4);
  EXPECT_EQ(take()[0].arg[0], 6);

  set_word(kChanged, 0);
  LmSetPen(5, 10, -3, 32);
  EXPECT_EQ(word(kChanged), 0x004);
  LmGetPen(&c, &s, &w, &m);
  EXPECT_EQ(c, 5);
  EXPECT_EQ(s, 2);
  EXPECT_EQ(m, 4);
  set_word(kChanged, 0);
  LmSetPen(5, 2, 3, 4);  // equal values still set their bits
  EXPECT_EQ(word(kChanged), 0x00F);
  EXPECT_EQ(take().size(), 2u);
}

TEST_F(DrawTest, BrushKeepsWhatIsNotGiven) {
  set_word(kBrushHatch, 3);
  LmSetBrush(7, 0, -1);
  int c, s, h;
  LmGetBrush(&c, &s, &h);
  EXPECT_EQ(c, 7);
  EXPECT_EQ(s, 0);
  EXPECT_EQ(h, 3);
  EXPECT_EQ(word(kChanged), 0x030);
  LmSetBrush(-1, 8, 6);
  EXPECT_EQ(word(kChanged), 0x030);
  EXPECT_EQ(take().size(), 2u);
}

TEST_F(DrawTest, MarkerSizesAndChangeBits) {
  LmSetWorld(0, 0, 25, 25);  // |sy| = 20
  set_word(kMarkerType, 5);
  LmSetMarker(0, 2.9f, -1, -1, -1);
  EXPECT_EQ(word(kMarkerSize), 2);  // type 0: truncated, unscaled
  LmSetMarker(3, 0.5f, -1, -1, -1);
  EXPECT_EQ(word(kMarkerSize), 10);
  LmDevSetMarker(1, 0, -4, -1, -1, -1);
  EXPECT_EQ(word(kMarkerSize), 0);

  LmDevSetMarker(1, 2, 6, 7, 8, 9);
  set_word(kChanged, 0);
  take();
  LmDevSetMarker(1, 2, 6, 7, 8, 9);
  EXPECT_EQ(word(kChanged), 0);
  EXPECT_EQ(take().size(), 1u);  // A/6 still sent
  int t, c1, c2, p;
  float size;
  LmGetMarker(&t, &size, &c1, &c2, &p);
  EXPECT_EQ(t, 2);
  EXPECT_FLOAT_EQ(size, 0.3f);
  EXPECT_EQ(p, 9);
}

TEST_F(DrawTest, OperationsWithoutACurrentWindowDoNothing) {
  g_link.current_window = 0;
  g_link.current_view = nullptr;
  float x = 1;
  int i = 1;
  EXPECT_EQ(LmSetWorld(0, 0, 1, 1), 0);
  EXPECT_EQ(LmLine(0, 0, 1, 1), 0);
  EXPECT_EQ(LmSetPen(1, 1, 1, 1), 0);
  EXPECT_EQ(LmGetMarker(&i, &x, &i, &i, &i), 0);
  EXPECT_EQ(LmRect(0, 0, 1, 1), 0);
  EXPECT_EQ(LmText(0, 0, "x"), 0);
  EXPECT_EQ(LmPolyline(&x, 2), 0);
  EXPECT_EQ(LmSetTransform(nullptr), 0);
  EXPECT_EQ(LmDevLine(9, 0, 0, 1, 1), 0);
  EXPECT_TRUE(log().empty());
}

// The smooth pen mode sends the world-level figures in the sub-pixel form,
// each value's whole pixel the one LmWorldToDevice gives and its fraction
// the world point's; the crisp mode and the LmDev calls send whole pixels.
TEST_F(DrawTest, SmoothWorldFiguresTravelBetweenPixels) {
  LmSetWorld(0, 0, 500, 500);  // one unit a pixel, y up from the bottom row
  write_i32(view(), kPenMode, kSubpixelPenMode);
  std::mt19937 random(3);
  std::uniform_real_distribution<float> coord(-20, 520);
  for (int i = 0; i < 300; ++i) {
    const float x = coord(random), y = coord(random);
    int ix = 0, iy = 0;
    LmWorldToDevice(x, y, &ix, &iy);
    take();
    const float xy[4] = {x, y, y, x};
    LmMarker(x, y);
    LmPolyline(xy, 2);
    const auto c = take();
    ASSERT_EQ(c.size(), 4u);
    EXPECT_EQ(c[0].arg[0], kDrawMarker + kDrawSubpixel);
    EXPECT_EQ(c[1].arg[0], kBlockPolyline + kBlockSubpixel);
    int32_t sent[4];
    std::memcpy(sent, c[2].raw_data.data(), sizeof sent);
    const int32_t* sources[2] = {&c[0].word[1], &sent[0]};
    for (const int32_t* p : sources) {
      EXPECT_EQ(subpixel_whole(p[0]), ix) << x;
      EXPECT_EQ(subpixel_whole(p[1]), iy) << y;
      // Off the band just below pixel 0 the value is the world point's
      // (within 1/256: the half-pixel boundary stays on its pixel's side).
      if (ix > 0) {
        EXPECT_NEAR(p[0] / 256.0, x, 1.0 / 256 + 1e-4) << x;
      }
      if (iy > 0) {
        EXPECT_NEAR(p[1] / 256.0, 500 - y, 1.0 / 256 + 1e-4) << y;
      }
    }
  }
  // Lines a third of a pixel apart, one after the other: the second needs
  // its move (another position between the same pixels), a line back along
  // the same points does not.
  LmLine(20, 100.1f, 180, 100.1f);
  LmLine(20, 100.4f, 180, 100.4f);
  LmLineTo(20, 100.4f);
  auto c = take();
  ASSERT_EQ(c.size(), 5u);
  const int32_t expected[5][3] = {{kDrawMove, 20 * 256, 102374}, {kDrawLine, 180 * 256, 102374},
                                  {kDrawMove, 20 * 256, 102298}, {kDrawLine, 180 * 256, 102298},
                                  {kDrawLine, 20 * 256, 102298}};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(c[i].arg[0], expected[i][0] + kDrawSubpixel) << i;
    EXPECT_EQ(c[i].arg[1], expected[i][1]) << i;
    EXPECT_NEAR(c[i].arg[2], expected[i][2], 1) << i;
  }
  EXPECT_EQ(word(kPosX), 20);
  EXPECT_EQ(word(kPosY), 400);
  // The device calls, and every call in the crisp mode, keep whole pixels.
  LmDevLine(1, 3, 4, 30, 40);
  write_i32(view(), kPenMode, 13);
  LmLine(20, 100.1f, 180, 100.4f);
  LmEllipse(1.5f, 2.5f, 30.25f, 40.75f);
  c = take();
  ASSERT_EQ(c.size(), 5u);
  const int32_t whole[5] = {kDrawMove, kDrawLine, kDrawMove, kDrawLine, kDrawEllipse};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(c[i].arg[0], whole[i]) << i;
  EXPECT_EQ(c[3].arg[2], 400);
}
