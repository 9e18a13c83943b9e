// The samples' convenience layer: temporary colours, restored attributes.
#include "include/lumo.h"
#include "samples/lumo_convenience.h"
#include "tests/unit/test_support.h"

using namespace lumo;
using namespace lumo::wire;
using testing_support::DrawTest;

TEST_F(DrawTest, ColorLineDrawsInItsColourAndRestoresThePen) {
  LmSetWorld(0, 0, 10, 10);
  LmSetPen(2, 0, 1, 13);
  take();
  EXPECT_EQ(ColorLine(0, 0, 1, 1, 13), 1);
  const auto c = take();
  ASSERT_EQ(c.size(), 4u);  // pen, move, line, pen
  EXPECT_EQ(c[0].arg[0], 6);
  EXPECT_EQ(word(kPenColour), 2);
  EXPECT_EQ(c[1].arg[0], kDrawMove + kDrawSubpixel);  // drawn in the smooth mode
  EXPECT_EQ(c[2].arg[0], kDrawLine + kDrawSubpixel);
  EXPECT_EQ(c[3].arg[0], 6);
  int colour, style, width, mode;
  LmGetPen(&colour, &style, &width, &mode);
  EXPECT_EQ(colour, 2);
  EXPECT_EQ(style, 0);
  EXPECT_EQ(width, 1);
  EXPECT_EQ(mode, 13);
}

TEST_F(DrawTest, TemporaryPenAndBrushAreSentBeforeTheFigure) {
  LmSetWorld(0, 0, 10, 10);
  LmSetBrush(7, 3, 2);
  fake::server().handler = [this](const fake::Command& cmd) {
    if (cmd.letter == 'A' && cmd.arg[0] == 21) {
      // While the figure is drawn the block holds the temporary colour.
      seen_pen = word(kPenColour);
      seen_brush = word(kBrushColour);
      seen_style = word(kBrushStyle);
    }
    return 1;
  };
  EXPECT_EQ(ColorRectS0(1, 1, 2, 2, 5), 1);
  EXPECT_EQ(seen_pen, 5);
  EXPECT_EQ(seen_brush, 5);
  EXPECT_EQ(seen_style, 0);
  int colour, style, hatch;
  LmGetBrush(&colour, &style, &hatch);
  EXPECT_EQ(colour, 7);
  EXPECT_EQ(style, 3);
  EXPECT_EQ(hatch, 2);
}

TEST_F(DrawTest, RoundedRectangleCornersFollowTheRectangle) {
  LmSetWorld(0, 0, 10, 10);  // 50 pixels per unit
  take();
  ColorRoundRectS0(0, 0, 4, 2, 0.25f, 5);
  ColorRoundRectS1(4, 2, 0, 0, 0.25f, 5);
  std::vector<fake::Command> rects;
  for (const auto& c : take())
    if (c.arg[0] == 23) rects.push_back(c);
  ASSERT_EQ(rects.size(), 2u);
  EXPECT_EQ(rects[0].arg[1], 50);  // 1 world unit
  EXPECT_EQ(rects[0].arg[2], 25);  // 0.5
  EXPECT_EQ(rects[1].arg[1], 50);
  EXPECT_EQ(rects[1].arg[2], 25);
}

TEST_F(DrawTest, FullArcAndFailures) {
  LmSetWorld(0, 0, 10, 10);
  take();
  ColorFullArcS0(1, 1, 3, 3, 4);
  auto c = take();
  EXPECT_EQ(c[2].arg[0], kDrawArc + kDrawSubpixel);
  EXPECT_EQ(c[2].raw_data.substr(0, 8), c[2].raw_data.substr(8, 8));  // a full turn
  fake::server().replies = {1, 1, 1, 0};  // pen, brush, arc, then the pen restore fails
  EXPECT_EQ(ColorPieS1(1, 1, 3, 3, 0, 0.5f, 4), 0);
  EXPECT_EQ(take().size(), 4u);  // the brush is not restored
  g_link.current_view = nullptr;
  EXPECT_EQ(ColorEllipseS1(1, 1, 2, 2, 3), 0);
  EXPECT_EQ(ColorArcS1(1, 1, 2, 2, 0, 1, 3), 0);
  EXPECT_TRUE(take().empty());
}
