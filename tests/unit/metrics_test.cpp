// Metrics, switches and number queries.
#include "include/lumo.h"
#include "include/lumo_ref.h"
#include "lib/window/metrics.h"
#include "tests/unit/test_support.h"

using namespace lumo;
using testing_support::LinkTest;

TEST_F(LinkTest, ScreenSizeWithoutALinkComesFromTheSystem) {
  int w = -5;
  int h = -5;
  EXPECT_EQ(LmMetric(2, &w, &h), 1);
  EXPECT_EQ(w, 1280);
  EXPECT_EQ(h, 1024);
  EXPECT_EQ(LmMetric(2, nullptr, &h), 1);
  w = h = -5;
  EXPECT_EQ(LmMetric(3, &w, &h), 0);
  EXPECT_EQ(w, -5);
  EXPECT_TRUE(fake::server().launches.empty());
  EXPECT_TRUE(log().empty());
}

TEST_F(LinkTest, WindowMetricsReadAndSetThroughTheWindowBlock) {
  link_console({1});
  unsigned char* v = window_view(1);
  write_i32(v, wire::kResult0, 640);
  write_i32(v, wire::kResult1, 480);
  int w = 0, h = 0;
  EXPECT_EQ(LmMetric(3, &w, &h), 1);
  EXPECT_EQ(log()[0].text(), "E!");
  EXPECT_EQ(log()[0].arg[0], 3);
  EXPECT_EQ(w, 640);
  EXPECT_EQ(h, 480);

  h = 77;
  LmMetric(-4, nullptr, &h);
  EXPECT_EQ(log()[1].arg[0], -4);
  EXPECT_EQ(log()[1].arg[1], 0);
  EXPECT_EQ(log()[1].arg[2], 0);
  w = 5;
  LmMetric(-3, &w, &h);
  EXPECT_EQ(log()[2].arg[1], 5);
  EXPECT_EQ(log()[2].arg[2], 77);

  EXPECT_EQ(LmMetric(15, &w, &h), 0);
  EXPECT_EQ(LmMetric(0, &w, &h), 0);
  EXPECT_EQ(LmMetric(-15, &w, &h), 0);
  EXPECT_EQ(log().size(), 3u);
}

TEST_F(LinkTest, MetricsOfAWindowNotHeldSendNothing) {
  link_console({1});
  int a = 3, b = 4;
  EXPECT_EQ(window_metric(9, 3, &a, &b), 0);
  EXPECT_EQ(server_switch(9, 4, -1), 0);
  EXPECT_EQ(query_number(9, 1), 0);
  EXPECT_EQ(a, 3);
  EXPECT_TRUE(log().empty());
}

TEST_F(LinkTest, AspectFromMetricsOrFromTheWorldScales) {
  link_console({1});
  unsigned char* v = window_view(1);
  write_f32(v, 0, 2.0f);
  write_f32(v, 4, -4.0f);
  write_i32(v, 52, 0);
  EXPECT_FLOAT_EQ(LmAspect(0), 0.5f);
  write_i32(v, 52, 1);
  EXPECT_FLOAT_EQ(LmAspect(0), 1.0f);
  write_i32(v, wire::kResult0, 300);
  write_i32(v, wire::kResult1, 200);
  EXPECT_FLOAT_EQ(LmAspect(3), 1.5f);
  write_i32(v, wire::kResult1, 0);
  EXPECT_FLOAT_EQ(LmAspect(3), 0.0f);  // a zero height gives 0, not a division by zero
}

TEST_F(LinkTest, SwitchesAndNumberQueries) {
  link_console({1});
  fake::server().replies = {1, 1, 0};
  EXPECT_EQ(LmServerSwitch(4, -1), 1);
  EXPECT_EQ(log()[0].arg[0], 10);
  EXPECT_EQ(log()[0].arg[1], 4);
  EXPECT_EQ(log()[0].arg[2], -1);

  std::strcpy(window_data(1), "12,rest");
  EXPECT_EQ(LmQueryNumber(7), 12);
  EXPECT_EQ(log()[1].arg[0], 15);
  EXPECT_EQ(log()[1].arg[1], 7);
  std::strcpy(window_data(1), "12,rest");
  EXPECT_EQ(LmQueryNumber(7), 0);  // refused
  fake::server().default_reply = 1;
  std::strcpy(window_data(1), "abc");
  EXPECT_EQ(LmQueryNumber(7), 0);
  std::strcpy(window_data(1), "12");
  EXPECT_EQ(LmQueryNumber(7), 12);  // the comma after the number may be missing
  std::strcpy(window_data(1), "-3;");
  EXPECT_EQ(LmQueryNumber(7), -3);
}

TEST_F(LinkTest, ServerLevelQueriesNeedALink) {
  EXPECT_EQ(query_number(0, 1), 0);
  link_console({1});
  fake::server().default_reply = 33;
  EXPECT_EQ(query_number(0, 1), 33);
  EXPECT_EQ(log().back().bytes, std::string("P !\0", 4));
}

TEST_F(LinkTest, MetricTwinsAndMaxFloat) {
  int result = 0, what = 2, a = 0, b = 0;
  EXPECT_EQ(lmmetric(&result, &what, &a, &b), 1);
  EXPECT_EQ(result, 1);
  EXPECT_EQ(a, 1280);
  EXPECT_EQ(LmMaxFloat(), 3.4028235e38f);
  EXPECT_EQ(lmmaxfloat(), LmMaxFloat());
}
