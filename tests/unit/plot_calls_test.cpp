// The plotting calls against the in-process server: refusals, the world
// their axes set, and values a log axis cannot show.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "include/lumo.h"
#include "tests/unit/test_support.h"

using testing_support::DrawTest;

namespace {

const float kX[3] = {1, 2, 3};
const float kY[3] = {1, 4, 9};
const float kField[4] = {0, 1, 2, 3};
const float kLevels[1] = {1.5f};

TEST_F(DrawTest, PlottingCallsRefuseBadInputAndDrawNothing) {
  const struct {
    const char* what;
    std::function<int()> call;
  } cases[] = {
      {"line, n < 1", [] { return LmPlotLine(0, kX, kY); }},
      {"line, no y", [] { return LmPlotLine(3, kX, nullptr); }},
      {"points, n < 1", [] { return LmPlotPoints(-2, kX, kY, 3); }},
      {"points, no such marker", [] { return LmPlotPoints(3, kX, kY, 7); }},
      {"error bars, n < 1", [] { return LmErrorBars(0, kX, kY, kY); }},
      {"histogram, bins < 1", [] { return LmHistogram(3, kX, 0, 0, 4); }},
      {"histogram, lo = hi", [] { return LmHistogram(3, kX, 4, 2, 2); }},
      {"histogram, lo > hi", [] { return LmHistogram(3, kX, 4, 3, 1); }},
      {"image, vmin = vmax", [] { return LmImage(2, 2, kField, 1, 1, LM_MAP_GREY); }},
      {"image, nx < 1", [] { return LmImage(0, 2, kField, 0, 3, LM_MAP_GREY); }},
      {"image, no such map", [] { return LmImage(2, 2, kField, 0, 3, 99); }},
      {"colour bar, vmin > vmax", [] { return LmColourBar(3, 0, LM_MAP_VIRIDIS, "v"); }},
      {"contour, no levels", [] { return LmContour(2, 2, kField, 0, kLevels); }},
      {"contour, one column", [] { return LmContour(1, 4, kField, 1, kLevels); }},
      {"axes, x1 = x2", [] { return LmAxes(1, 1, 0, 1, 0); }},
      {"axes, log x from 0", [] { return LmAxes(0, 10, 1, 10, LM_AXES_LOGX); }},
      {"axes, y not a number", [] { return LmAxes(0, 1, NAN, 1, 0); }},
      {"legend before a series", [] { return LmLegend("a"); }},
      {"legend box without names", [] { return LmShowLegend(LM_TOP_LEFT); }},
  };
  for (const auto& c : cases) {
    take();
    testing::internal::CaptureStderr();
    EXPECT_EQ(c.call(), 0) << c.what;
    testing::internal::GetCapturedStderr();
    EXPECT_TRUE(take().empty()) << c.what << " drew";
  }
  ASSERT_GT(LmPlotLine(3, kX, kY), 0);
  EXPECT_EQ(LmShowLegend(5), 0);
  EXPECT_EQ(LmShowLegend(0), 0);
}

// The axes' world puts data values on the frame; on log axes the world
// holds their logarithms, and values not above 0 are left out and counted.
TEST_F(DrawTest, LogAxesTakeDataValuesAndSayWhatTheyLeaveOut) {
  ASSERT_EQ(LmAxes(1, 1000, 0.01f, 100, LM_AXES_LOGX | LM_AXES_LOGY), 1);
  int left = 0, bottom = 0, right = 0, top = 0;
  LmWorldToDevice(0, -2, &left, &bottom);  // log10(1), log10(0.01)
  LmWorldToDevice(3, 2, &right, &top);
  EXPECT_LT(left, right);
  EXPECT_GT(bottom, top);
  take();
  const float x[5] = {-1, 0, 10, 100, NAN};
  const float y[5] = {10, 10, 1, 0, 5};
  testing::internal::CaptureStderr();
  EXPECT_EQ(LmPlotPoints(5, x, y, 3), 1);
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("LmPlotPoints: 4 of 5 values left out"), std::string::npos) << said;
  int markers = 0;
  for (const auto& c : take()) {
    if (c.letter != 'A' || lumo::wire::plain_draw_code(c.arg[0]) != lumo::wire::kDrawMarker) continue;
    ++markers;
    // (10, 1): a third of the way along x, half way up.
    EXPECT_NEAR(c.word[1] / 256.0, left + (right - left) / 3.0, 1);
    EXPECT_NEAR(c.word[2] / 256.0, (top + bottom) / 2.0, 1);
  }
  EXPECT_EQ(markers, 1);
}

// A line through points beyond the axes is cut at the frame: every point
// it sends lies inside the plot area, and the pieces inside are all there.
TEST_F(DrawTest, LinesStopAtTheFrame) {
  ASSERT_EQ(LmAxes(0, 10, 0, 10, 0), 1);
  int left = 0, bottom = 0, right = 0, top = 0;
  LmWorldToDevice(0, 0, &left, &bottom);
  LmWorldToDevice(10, 10, &right, &top);
  const int probe[4] = {1, 2, 3, 4};
  take();
  LmDevPolyline(1, probe, 2);
  const auto sent = take();  // how a polyline travels: a start, then its points
  const char start_letter = sent.at(0).letter, chunk_letter = sent.at(1).letter;
  const struct {
    std::vector<float> x, y;
    int pieces;
  } cases[] = {
      {{1, 5, 9}, {1, 9, 1}, 1},               // all inside
      {{1, 5, 9}, {1, 20, 1}, 2},              // out through the top and back
      {{-5, 5, 15}, {5, 5, 5}, 1},             // across from beyond both sides
      {{-5, -5}, {-5, 20}, 0},                 // never inside
      {{1, 2, 12, 13, 3}, {1, 2, 12, 13, 3}, 2},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LmPlotLine(static_cast<int>(c.x.size()), c.x.data(), c.y.data()), static_cast<int>(c.x.size()));
    int pieces = 0;
    for (const auto& cmd : take()) {
      if (cmd.letter == 'A' && lumo::wire::plain_draw_code(cmd.arg[0]) == lumo::wire::kDrawLine) ++pieces;  // a piece of two points
      if (cmd.letter == start_letter) ++pieces;
      if (cmd.letter != chunk_letter) continue;
      for (int i = 0; i + 1 < cmd.arg[2] / 4; i += 2) {
        int32_t px = 0, py = 0;  // in 1/256 pixel
        std::memcpy(&px, cmd.raw_data.data() + 4 * i, 4);
        std::memcpy(&py, cmd.raw_data.data() + 4 * i + 4, 4);
        EXPECT_GE(px, left * 256);
        EXPECT_LE(px, right * 256);
        EXPECT_GE(py, top * 256);
        EXPECT_LE(py, bottom * 256);
      }
    }
    EXPECT_EQ(pieces, c.pieces) << c.x.size() << " points";
  }
}

// The series reach the server between pixels: lines, markers, error bars and
// contour lines travel in the sub-pixel form, each data point where the
// axes' world puts it (to 1/256 pixel), while the window's world, viewport
// and the program's own pen stay as they were.
TEST_F(DrawTest, SeriesTravelBetweenPixelsAndLeaveTheWindowsStateAlone) {
  using namespace lumo::wire;
  LmSetPen(LM_RED, LM_PEN_DASH, 2, LM_MODE_CRISP);
  ASSERT_EQ(LmAxes(0, 7, 0, 3, 0), 1);  // scales that put most values between pixels
  float world[4], view[4], after[8];
  LmGetWorld(&world[0], &world[1], &world[2], &world[3]);
  LmGetViewport(&view[0], &view[1], &view[2], &view[3]);
  // The world's own mapping (one unit of viewport is 500 pixels).
  auto dev = [&](double x, double y) {
    return std::pair<double, double>{(x - world[0]) * 500 / (world[2] - world[0]),
                                     500 - (y - world[1]) * 500 / (world[3] - world[1])};
  };
  const float x[4] = {1.1f, 2.3f, 4.7f, 6.1f}, y[4] = {0.3f, 2.9f, 1.7f, 0.6f}, high[4] = {0.9f, 2.95f, 2.2f, 1.3f};
  const float field[9] = {0, 1, 2, 1, 2, 3, 2, 3, 4}, level[1] = {1.7f};
  const struct {
    const char* what;
    std::function<int()> call;
    std::vector<std::pair<double, double>> points;  // data points that must be sent
  } cases[] = {
      {"line", [&] { return LmPlotLine(4, x, y); }, {{1.1, 0.3}, {2.3, 2.9}, {4.7, 1.7}, {6.1, 0.6}}},
      {"points", [&] { return LmPlotPoints(4, x, y, LM_MARKER_CIRCLE); }, {{1.1, 0.3}, {6.1, 0.6}}},
      {"error bars", [&] { return LmErrorBars(4, x, y, high); }, {{2.3, 2.9}, {2.3, 2.95}, {6.1, 1.3}}},
      {"contour", [&] { return LmContour(3, 3, field, 1, level); }, {}},
  };
  for (const auto& c : cases) {
    take();
    ASSERT_GT(c.call(), 0) << c.what;
    std::vector<std::pair<int32_t, int32_t>> sent;
    int figures = 0;
    for (const auto& cmd : take()) {
      const bool draws = cmd.letter == kCmdDraw && draw_has_subpixel_form(plain_draw_code(cmd.arg[0]));
      if (draws || cmd.letter == kCmdBlock) {
        ++figures;
        EXPECT_TRUE(cmd.arg[0] & kDrawSubpixel) << c.what << ": code " << cmd.arg[0];
      }
      if (draws && plain_draw_code(cmd.arg[0]) == kDrawMarker) sent.push_back({cmd.word[1], cmd.word[2]});
      if (draws && plain_draw_code(cmd.arg[0]) != kDrawMarker) sent.push_back({cmd.arg[1], cmd.arg[2]});
      for (int i = 0; cmd.letter == kCmdRequest && cmd.arg[0] == kBlockChunk && i + 1 < cmd.arg[2] / 4; i += 2) {
        int32_t p[2];
        std::memcpy(p, cmd.raw_data.data() + 4 * i, sizeof p);
        sent.push_back({p[0], p[1]});
      }
    }
    EXPECT_GT(figures, 0) << c.what;
    int between = 0;
    for (const auto& p : sent) between += (p.first | p.second) % 256 != 0;
    EXPECT_GT(between, 0) << c.what;
    for (const auto& [dx, dy] : c.points) {
      const auto want = dev(dx, dy);
      bool found = false;
      for (const auto& p : sent) {
        found = found || (std::fabs(p.first / 256.0 - want.first) < 0.01 && std::fabs(p.second / 256.0 - want.second) < 0.01);
      }
      EXPECT_TRUE(found) << c.what << ": (" << dx << ", " << dy << ") at " << want.first << ", " << want.second;
    }
  }
  LmGetWorld(&after[0], &after[1], &after[2], &after[3]);
  LmGetViewport(&after[4], &after[5], &after[6], &after[7]);
  EXPECT_EQ(std::memcmp(after, world, sizeof world), 0);
  EXPECT_EQ(std::memcmp(after + 4, view, sizeof view), 0);
  int pen[4];
  LmGetPen(&pen[0], &pen[1], &pen[2], &pen[3]);
  EXPECT_EQ(pen[0], LM_RED);
  EXPECT_EQ(pen[1], LM_PEN_DASH);
  EXPECT_EQ(pen[2], 2);
  EXPECT_EQ(pen[3], LM_MODE_CRISP);
  LmLine(1.1f, 0.3f, 2.3f, 2.9f);  // the program's own crisp line: whole pixels
  const auto own = take();
  ASSERT_FALSE(own.empty());
  EXPECT_EQ(own.back().arg[0], kDrawLine);
}

// A contour line is followed from square to square and sent as one
// polyline (separate segments between pixels would overlap at each joint):
// a closed one ends where it began, with a point for every segment.
TEST_F(DrawTest, ContourLinesTravelAsPolylines) {
  using namespace lumo::wire;
  float bowl[8 * 8];
  for (int k = 0; k < 64; ++k) bowl[k] = static_cast<float>((k % 8 - 3.5) * (k % 8 - 3.5) + (k / 8 - 3.5) * (k / 8 - 3.5));
  const float level[1] = {5};
  ASSERT_EQ(LmAxes(0, 8, 0, 8, 0), 1);
  take();
  const int segments = LmContour(8, 8, bowl, 1, level);
  EXPECT_GE(segments, 8);
  int blocks = 0;
  std::vector<int32_t> points;
  for (const auto& cmd : take()) {
    blocks += cmd.letter == kCmdBlock;
    EXPECT_FALSE(cmd.letter == kCmdDraw && plain_draw_code(cmd.arg[0]) == kDrawLine) << "a segment alone";
    for (int i = 0; cmd.letter == kCmdRequest && cmd.arg[0] == kBlockChunk && i < cmd.arg[2] / 4; ++i) {
      int32_t v = 0;
      std::memcpy(&v, cmd.raw_data.data() + 4 * i, 4);
      points.push_back(v);
    }
  }
  EXPECT_EQ(blocks, 1);
  ASSERT_EQ(points.size(), 2u * (segments + 1));
  EXPECT_EQ(points[0], points[points.size() - 2]);
  EXPECT_EQ(points[1], points.back());
}

}  // namespace
