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
    if (c.letter != 'A' || c.arg[0] != lumo::wire::kDrawMarker) continue;
    ++markers;
    // (10, 1): a third of the way along x, half way up.
    EXPECT_NEAR(c.word[1], left + (right - left) / 3.0, 1);
    EXPECT_NEAR(c.word[2], (top + bottom) / 2.0, 1);
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
      if (cmd.letter == 'A' && cmd.arg[0] == lumo::wire::kDrawLine) ++pieces;  // a piece of two points
      if (cmd.letter == start_letter) ++pieces;
      if (cmd.letter != chunk_letter) continue;
      for (int i = 0; i + 1 < cmd.arg[2] / 4; i += 2) {
        int32_t px = 0, py = 0;
        std::memcpy(&px, cmd.raw_data.data() + 4 * i, 4);
        std::memcpy(&py, cmd.raw_data.data() + 4 * i + 4, 4);
        EXPECT_GE(px, left);
        EXPECT_LE(px, right);
        EXPECT_GE(py, top);
        EXPECT_LE(py, bottom);
      }
    }
    EXPECT_EQ(pieces, c.pieces) << c.x.size() << " points";
  }
}

}  // namespace
