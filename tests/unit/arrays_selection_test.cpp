// Point arrays in chunks, window selection, transformation and requests.
#include <vector>

#include "include/lumo.h"
#include "tests/unit/test_support.h"

using namespace lumo;
using namespace lumo::wire;
using testing_support::DrawTest;

namespace {

int32_t data_word(const fake::Command& c, int i) {
  int32_t v;
  std::memcpy(&v, c.raw_data.data() + 4 * i, 4);
  return v;
}

std::vector<float> points(int n) {
  std::vector<float> xy;
  for (int i = 0; i < n; ++i) {
    xy.push_back(static_cast<float>(i % 10));
    xy.push_back(1.0f);
  }
  return xy;
}

}  // namespace

TEST_F(DrawTest, PolygonChunksAt256Points) {
  LmSetWorld(0, 0, 10, 10);
  take();
  auto xy = points(256);
  EXPECT_EQ(LmPolygon(xy.data(), 256, 1), 1);
  auto c = take();
  ASSERT_EQ(c.size(), 3u);
  EXPECT_EQ(c[0].letter, 'N');
  EXPECT_EQ(c[0].arg[0], 28);
  EXPECT_EQ(c[0].arg[1], 256);
  EXPECT_EQ(c[1].arg[1], 0);
  EXPECT_EQ(c[1].arg[2], 2048);
  EXPECT_EQ(data_word(c[1], 2), 50);   // x = 1
  EXPECT_EQ(data_word(c[1], 3), 450);  // y = 1
  EXPECT_EQ(c[2].arg[0], 37);
  EXPECT_EQ(word(kFillMode), 2);

  xy = points(257);
  LmPolygon(xy.data(), 257, 0);
  c = take();
  ASSERT_EQ(c.size(), 4u);
  EXPECT_EQ(c[2].arg[1], 2048);
  EXPECT_EQ(c[2].arg[2], 8);
  EXPECT_EQ(data_word(c[2], 0), 300);  // point 256: x = 6
  EXPECT_EQ(word(kFillMode), 1);
}

TEST_F(DrawTest, PointCountsAndFillRules) {
  auto xy = points(7);
  set_word(kFillMode, 2);
  EXPECT_EQ(LmPolygon(xy.data(), 2, 0), 0);
  EXPECT_EQ(word(kFillMode), 2);
  EXPECT_TRUE(take().empty());
  EXPECT_EQ(LmPolygon(xy.data(), 5, 7), 1);
  EXPECT_EQ(word(kFillMode), 2);
  EXPECT_EQ(LmPolyline(xy.data(), 1), 0);
  EXPECT_EQ(LmBezier(xy.data(), 7), 1);
  EXPECT_EQ(LmBezier(xy.data(), 6), 0);
  std::vector<int> dev(14, 3);
  EXPECT_EQ(LmDevBezier(1, dev.data(), 6), 1);
  EXPECT_EQ(LmDevBezier(1, dev.data(), 3), 0);
}

TEST_F(DrawTest, DevicePolygonSetsTheRuleOfItsOwnWindow) {
  hold_window(2);
  area(500, 500);
  LmSelectWindow(2);
  std::vector<int> xy = {0, 0, 10, 0, 10, 10};
  set_word(kFillMode, 1, 1);
  take();
  EXPECT_EQ(LmDevPolygon(1, xy.data(), 3, 1), 1);
  EXPECT_EQ(word(kFillMode, 1), 2);
  const auto c = take();
  EXPECT_EQ(c[0].text(), "N!");
  EXPECT_EQ(c[0].arg[1], 3);
  EXPECT_EQ(c[1].arg[2], 24);
}

TEST_F(DrawTest, RefusedChunkCancelsAndFails) {
  auto xy = points(300);
  fake::server().replies = {1, 1, 0};
  EXPECT_EQ(LmPolyline(xy.data(), 300), 0);
  const auto c = take();
  ASSERT_EQ(c.size(), 4u);
  EXPECT_EQ(c[3].arg[0], 38);
}

TEST_F(DrawTest, SeriesConvertAlongTheirAxis) {
  LmSetWorld(0, 0, 10, 10);
  take();
  const float values[3] = {1, 2, 3};
  EXPECT_EQ(LmSeries(0, -3, 1, 2, 0.5f, 4, 2, 1, values), 1);
  auto c = take();
  EXPECT_EQ(c[0].arg[0], 32);
  EXPECT_EQ(c[0].arg[1], -3);
  EXPECT_EQ(c[0].arg[2], 0);
  EXPECT_EQ(c[0].word[0], 450);  // Y(1)
  EXPECT_EQ(c[0].word[1], 400);  // Y(2)
  EXPECT_EQ(c[0].word[2], 25);   // LY(0.5)
  EXPECT_EQ(c[0].word[3], 200);  // X(4)
  EXPECT_EQ(data_word(c[1], 0), 350);  // Y(2 * 1 + 1)
  EXPECT_EQ(data_word(c[1], 2), 150);  // Y(7)

  LmSeries(2, 3, 1, 2, 3.9f, -2.7f, 1, 0, values);
  c = take();
  EXPECT_EQ(c[0].word[0], 50);  // X(1)
  EXPECT_EQ(c[0].word[2], 3);
  EXPECT_EQ(c[0].word[3], -2);
  EXPECT_EQ(LmSeries(0, 0, 0, 0, 0, 0, 0, 0, values), 0);
  std::vector<int> dev = {1, 2};
  EXPECT_EQ(LmDevSeries(1, 5, -2, 7, 8, 9, 10, dev.data()), 1);
  c = take();
  EXPECT_EQ(c[0].arg[1], -2);
  EXPECT_EQ(c[0].arg[2], 5);
  EXPECT_EQ(c[0].word[3], 10);
  EXPECT_EQ(c[1].arg[2], 8);
}

TEST_F(DrawTest, WindowEnumerationAndSelection) {
  release_link(-1);
  link_console({2, 5});
  EXPECT_EQ(LmFirstWindow(), 2);
  EXPECT_EQ(LmNextWindow(2), 5);
  EXPECT_EQ(LmNextWindow(5), 0);
  EXPECT_EQ(LmNextWindow(-1), 0);
  EXPECT_EQ(LmSelectWindow(2), 2);
  EXPECT_EQ(g_link.current_window_code, '"');
  EXPECT_EQ(LmSelectWindow(64), 2);
  EXPECT_EQ(LmSelectWindow(3), 2);
  EXPECT_EQ(g_link.current_view, window_view(2));
}

TEST_F(DrawTest, TransformationWords) {
  take();
  LmSetTransform(nullptr);
  auto c = take()[0];
  EXPECT_EQ(c.arg[0], 7);
  EXPECT_EQ(c.arg[1], 0);
  EXPECT_EQ(c.arg[2], 0);
  EXPECT_EQ(c.word[0], 65536);
  EXPECT_EQ(c.word[1], 0);
  EXPECT_EQ(c.word[3], 65536);

  set_word(kPixelMode, 1);
  const float t[6] = {0, 1, 0.5f, 0, 0, 1};
  LmSetTransform(t);
  c = take()[0];
  EXPECT_EQ(c.arg[1], 0);
  EXPECT_EQ(c.arg[2], 0);
  EXPECT_EQ(c.word[0], 65536);
  EXPECT_EQ(c.word[1], -32768);
  EXPECT_EQ(c.word[2], 0);
  EXPECT_EQ(c.word[3], 65536);

  fake::server().handler = [](const fake::Command& c) {
    if (c.arg[0] == 30) {
      unsigned char* v = window_view(1);
      write_i32(v, kArg2, 12);
      write_i32(v, kArg3, 34);
      write_i32(v, kResult0, 32768);
      write_i32(v, kResult3, -65536);
    }
    return 1;
  };
  float got[6];
  EXPECT_EQ(LmGetTransform(got), 1);
  EXPECT_EQ(got[0], 12);
  EXPECT_EQ(got[1], 0.5f);
  EXPECT_EQ(got[3], 34);
  EXPECT_EQ(got[5], -1.0f);
}

TEST_F(DrawTest, SimpleRequestsForwardTheirNumbers) {
  LmSetWindowMode(1, 11);
  LmSetWindowMode(1, 10);
  LmSetServerMode(20);
  LmDevRequest16(0, 3);
  EXPECT_EQ(LmDevRequest16(1, 9), 0);
  LmRequest16(8);
  LmDevAction18(1, -1);
  LmAction18(5);
  LmRequest24(3);
  LmRequest25(4);
  LmWindowOp();
  const auto c = take();
  ASSERT_EQ(c.size(), 11u);
  EXPECT_EQ(c[0].letter, 'G');
  EXPECT_EQ(c[0].arg[0], -2);
  EXPECT_EQ(c[1].arg[0], 25);
  EXPECT_EQ(c[2].bytes, std::string("G \x0f\0", 4));
  EXPECT_EQ(c[3].bytes, std::string("B0#\0", 4));
  EXPECT_EQ(c[4].arg[0], 16);
  EXPECT_EQ(c[4].arg[1], 8);
  EXPECT_EQ(c[5].arg[0], 27);
  EXPECT_EQ(c[6].arg[0], 28);
  EXPECT_EQ(c[7].arg[0], 18);
  EXPECT_EQ(c[7].word[0], 5);
  EXPECT_EQ(c[8].arg[0], 24);
  EXPECT_EQ(c[8].arg[1], 3);
  EXPECT_EQ(c[9].arg[0], 25);
  EXPECT_EQ(c[10].letter, 'A');
  EXPECT_EQ(c[10].arg[0], 2);
}

TEST_F(DrawTest, QueriesReadTheirResultWords) {
  for (int i = 0; i < 4; ++i) set_word(kResult0 + 4 * i, 10 + i);
  int a = 0, b = 0;
  EXPECT_EQ(LmGetMetric14(&a, &b), 1);
  EXPECT_EQ(a, 12);
  EXPECT_EQ(b, 10);
  int r[4] = {0, 0, 0, 0};
  fake::server().default_reply = 9;
  EXPECT_EQ(LmDevQuery4(1, &r[0], &r[1], &r[2], &r[3]), 9);
  EXPECT_EQ(r[3], 13);
  fake::server().default_reply = 0;
  a = -1;
  EXPECT_EQ(LmGetMetric14(&a, nullptr), 0);
  EXPECT_EQ(a, -1);
}
