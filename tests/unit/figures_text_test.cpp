// Figures, text and symbols: the words each operation sends.
#include <cmath>

#include "include/lumo.h"
#include "lib/draw/trig.h"
#include "tests/unit/test_support.h"

using namespace lumo;
using namespace lumo::wire;
using testing_support::DrawTest;

TEST_F(DrawTest, RectangleSendsItsCornersInTheOrderGiven) {
  LmSetWorld(0, 0, 1, 1);
  take();
  EXPECT_EQ(LmRect(0, 0, 1, 1), 1);
  const auto c = take()[0];
  EXPECT_EQ(c.text(), "A!");
  EXPECT_EQ(c.arg[0], 21);
  EXPECT_EQ(c.word[0], 0);
  EXPECT_EQ(c.word[1], 500);
  EXPECT_EQ(c.word[2], 500);
  EXPECT_EQ(c.word[3], 0);
}

TEST_F(DrawTest, FigureArgumentLayouts) {
  LmSetWorld(10, 10, 0, 0);  // mirrored: corner sizes stay positive
  take();
  LmRoundRect(0, 0, 2, 2, 1, 2);
  LmRectEx(0, 0, 1, 1, -77);
  LmRectMode(0, 0, 1, 1, 7);
  LmRectMode(0, 0, 1, 1, 4);
  LmEllipse(1, 1, 2, 2);
  const auto c = take();
  EXPECT_EQ(c[0].arg[0], 23);
  EXPECT_EQ(c[0].arg[1], 50);
  EXPECT_EQ(c[0].arg[2], 100);
  EXPECT_EQ(c[1].arg[0], 22);
  EXPECT_EQ(c[1].arg[1], -77);
  EXPECT_EQ(c[2].arg[0], 8);
  EXPECT_EQ(c[2].arg[1], 0);
  EXPECT_EQ(c[3].arg[1], 4);
  EXPECT_EQ(c[4].arg[0], 24);
  EXPECT_EQ(c[4].word[0], 450);
}

TEST_F(DrawTest, ArcRadialPointsInPixelMode) {
  set_word(kPixelMode, 1);
  set_word(kUnit, 400);
  take();
  EXPECT_EQ(LmArc(50, 50, 150, 150, 0.25f, 0.5f), 1);
  const auto c = take()[0];
  EXPECT_EQ(c.arg[0], 25);
  auto data_word = [&](int i) {
    int32_t v;
    std::memcpy(&v, c.raw_data.data() + 4 * i, 4);
    return v;
  };
  EXPECT_EQ(data_word(0), 100);
  EXPECT_EQ(data_word(1), 500);
  EXPECT_EQ(data_word(2), 100);
  EXPECT_EQ(data_word(3), -299);
  LmChord(0, 0, 10, 10, 0.3f, 1.0f);  // a full turn: start and end coincide
  LmPie(0, 0, 10, 10, 0, 0.5f);
  const auto d = take();
  EXPECT_EQ(d[0].arg[0], 26);
  EXPECT_EQ(d[0].raw_data.substr(0, 8), d[0].raw_data.substr(8, 8));
  EXPECT_EQ(d[1].arg[0], 27);
}

TEST_F(DrawTest, MarkerAndPointOpLeaveTheCurrentPosition) {
  LmSetWorld(0, 0, 10, 10);
  LmMoveTo(1, 1);
  take();
  LmMarker(2, 2);
  LmPointOp(3, 3);
  LmLineTo(4, 4);
  const auto c = take();
  EXPECT_EQ(c[0].arg[0], 14);
  EXPECT_EQ(c[0].word[1], 100);
  EXPECT_EQ(c[0].word[2], 400);
  EXPECT_EQ(c[1].arg[0], 17);
  EXPECT_EQ(c[1].arg[1], 150);
  EXPECT_EQ(c[2].arg[0], 20);  // still a line from (1, 1)
}

TEST_F(DrawTest, FontHeightDefaultAndChangeCounts) {
  area(800, 600);
  LmSetWorld(0, 0, 8, 6);
  take();
  LmSetFont(0, 0, -1, -1, -1, nullptr);
  LmSetFont(0, 0, -1, -1, -1, nullptr);
  auto c = take();
  EXPECT_EQ(word(kTextHeight), 20);
  EXPECT_EQ(c[0].arg[0], 9);
  EXPECT_EQ(c[0].arg[1], 1);
  EXPECT_EQ(c[1].arg[1], 0);  // nothing changed, still sent

  LmSetFont(-1, -0.25f, 3, 13, 5, "Serif");
  c = take();
  EXPECT_EQ(word(kTextAngle), 2700);
  EXPECT_EQ(word(kTextAlign), 3);
  EXPECT_EQ(word(kTextParam), 5);
  EXPECT_EQ(c[0].arg[1], 3);  // angle, colour, face
  EXPECT_EQ(c[0].data, "Serif");
  LmSetFont(-1, 1.0f, 9, 13, -1, "");
  EXPECT_EQ(word(kTextAngle), 2700);  // a full turn is ignored
  EXPECT_EQ(word(kTextAlign), 3);
  EXPECT_EQ(take()[0].arg[1], 0);
}

TEST_F(DrawTest, SymbolFontWithNothingValidSendsNothing) {
  EXPECT_EQ(LmSetSymbolFont(-1, 1, -1, -1, -1, "Symbol"), 0);
  EXPECT_TRUE(take().empty());
  EXPECT_EQ(LmSetSymbolFont(-1, 1, 2, -1, -1, "Symbol"), 1);
  const auto c = take();
  EXPECT_EQ(c[0].arg[0], 10);
  EXPECT_EQ(c[0].arg[1], 1);  // the face counts, the alignment does not
}

TEST_F(DrawTest, TextBeyondTheWidenedWorldIsSentFarAway) {
  LmSetWorld(0, 0, 10, 10);
  take();
  LmText(25, 5, "far");
  LmText(20, 5, "edge");
  LmText(5, -10.5f, "below");
  const auto c = take();
  EXPECT_EQ(c[0].arg[0], 15);
  EXPECT_EQ(c[0].arg[1], 32767);
  EXPECT_EQ(c[0].arg[2], 32767);
  EXPECT_EQ(c[0].data, "far");
  EXPECT_EQ(c[1].arg[1], 1000);  // exactly on the boundary: converted
  EXPECT_EQ(c[2].arg[1], 32767);
}

TEST_F(DrawTest, SymbolsSendTheLowByteAndRememberTheCode) {
  LmDevSymbol(1, 3, 4, 321);
  LmDevSymbol(1, 5, 6, -1);
  const auto c = take();
  EXPECT_EQ(c[0].arg[0], 16);
  EXPECT_EQ(c[0].raw_data[0], 65);
  EXPECT_EQ(c[1].raw_data[0], 65);
  EXPECT_EQ(word(kSymbolCode), 321);
}

TEST_F(DrawTest, QuestionsAndExtents) {
  int answer = 0;
  fake::server().handler = [&](const fake::Command& c) {
    if (c.arg[0] == 3) write_i32(window_view(1), kResult0, answer);
    if (c.arg[0] == 17) {
      for (int i = 0; i < 4; ++i) write_i32(window_view(1), kResult0 + 4 * i, 100 * (i + 1));
    }
    return 1;
  };
  answer = 6;
  EXPECT_EQ(LmAsk("Sure?"), 1);
  answer = 7;
  EXPECT_EQ(LmAsk("Sure?"), -1);
  answer = 2;
  EXPECT_EQ(LmAsk("Sure?"), 0);
  EXPECT_EQ(log()[0].data, "Sure?");
  EXPECT_EQ(log()[0].arg[1], 0);

  LmSetWorld(0, 0, 10, 10);
  float e[4] = {0, 0, 0, 0};
  EXPECT_EQ(LmTextExtent(&e[0], &e[1], &e[2], &e[3], "abc"), 1);
  EXPECT_FLOAT_EQ(e[0], 2);
  EXPECT_FLOAT_EQ(e[3], 8);
  // Unequal scales: the width converts along x, height, ascent and descent
  // along y.
  LmSetWorld(0, 0, 10, 40);
  EXPECT_EQ(LmTextExtent(&e[0], &e[1], &e[2], &e[3], "abc"), 1);
  EXPECT_FLOAT_EQ(e[0], 2);
  EXPECT_FLOAT_EQ(e[1], 16);
  EXPECT_FLOAT_EQ(e[2], 24);
  EXPECT_FLOAT_EQ(e[3], 32);
  fake::server().handler = nullptr;
  fake::server().default_reply = 0;
  e[0] = -1;
  EXPECT_EQ(LmTextExtent(&e[0], nullptr, nullptr, nullptr, "abc"), 0);
  EXPECT_EQ(e[0], -1);
  EXPECT_EQ(LmMessage("hello"), 0);
}

TEST(Trigonometry, AgreesWithTheMathsLibrary) {
  for (double x = -40; x <= 40; x += 0.0137) {
    double s, c;
    lumo::sin_cos(x, &s, &c);
    EXPECT_NEAR(s, std::sin(x), 1e-15) << x;
    EXPECT_NEAR(c, std::cos(x), 1e-15) << x;
  }
  double s, c;
  lumo::sin_cos(std::nan(""), &s, &c);
  EXPECT_TRUE(std::isnan(s));
}
