// The ellipse whose rows are computed when asked (the Windows server's way
// with figures too large for GDI) against the pixel rules' table of rows,
// and the same figure drawn both ways.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "server/canvas/large_figures.h"
#include "server/canvas/pixel_rules.h"

namespace lumo::server::pixels {
namespace {

TEST(LargeFigures, RowsAreThePixelRulesRows) {
  std::mt19937 random(34);
  for (int trial = 0; trial < 3000; ++trial) {
    const int limit = trial < 2000 ? 60 : 40000;
    const int x0 = static_cast<int>(random() % 200) - 100, y0 = static_cast<int>(random() % 200) - 100;
    const Box box{x0, y0, x0 + static_cast<int>(random() % limit), y0 + static_cast<int>(random() % limit)};
    const Ellipse table(box);
    const LargeEllipse asked(box.x0, box.y0, box.x1, box.y1);
    for (int y = box.y0 - 1; y <= box.y1 + 1; ++y) {
      int l = 0, r = 0, al = 0, ar = 0;
      const bool in = table.row(y, &l, &r), ain = asked.row(y, &al, &ar);
      ASSERT_EQ(in, ain) << "box " << box.x0 << "," << box.y0 << " " << box.x1 << "," << box.y1 << " row " << y;
      if (in) {
        ASSERT_EQ(l, al) << "box " << box.x0 << "," << box.y0 << " " << box.x1 << "," << box.y1 << " row " << y;
        ASSERT_EQ(r, ar);
      }
    }
  }
}

// An ellipse, chord and pie drawn whole by the table of rows and the pixel
// rules' lines, and by draw_large: the same pixels.
TEST(LargeFigures, DrawnAsThePixelRulesDrawThem) {
  constexpr int kW = 120, kH = 90;
  Pen pen;
  pen.colour = {0, 0, 0};
  pen.blend = Blend::kCrisp;
  Brush brush;
  brush.style = kBrushSolid;
  brush.colour = {200, 30, 30};
  const Box clip{0, 0, kW - 1, kH - 1};
  const Box box{10, 8, 100, 70};
  const Ellipse shape(box);
  const double cx = shape.centre_x(), cy = shape.centre_y();
  const Point start{110, 20}, end{20, 85};
  for (int kind = 0; kind < 3; ++kind) {
    std::vector<uint32_t> mine(kW * kH, 0xFFFFFF), rules(kW * kH, 0xFFFFFF);
    LargeFigure f;
    f.whole = kind == 0;
    f.kind = kind == 1 ? ArcKind::kChord : ArcKind::kPie;
    f.x1 = box.x0, f.y1 = box.y0, f.x2 = box.x1 + 1, f.y2 = box.y1 + 1;
    f.sx = start.x, f.sy = start.y, f.ex = end.x, f.ey = end.y;
    draw_large(mine.data(), kW, kH, f, pen, brush, nullptr);
    const Point corner_a{box.x0, box.y0}, corner_b{box.x1 + 1, box.y1 + 1};
    const Direction start_at = radial_direction(corner_a, corner_b, start);
    const Direction end_at = radial_direction(corner_a, corner_b, end);
    const Sweep sweep(cx, cy, start_at, end_at);
    const Point from = shape.radial_point(start_at), to = shape.radial_point(end_at);
    const Point centre{static_cast<int>(std::floor(cx + 0.5)), static_cast<int>(std::floor(cy + 0.5))};
    const double ex = to.x - from.x, ey = to.y - from.y;
    auto side = [&](double x, double y) { return ex * (y - from.y) - ey * (x - from.x); };
    const double m = sweep.middle_angle();
    const double arc_side = side(cx + std::cos(m), cy - std::sin(m));
    Painter fill(rules.data(), kW, Blend::kCrisp, brush.colour);
    Painter ink(rules.data(), kW, Blend::kCrisp, pen.colour);
    for (int y = 0; y < kH; ++y) {
      int l, r;
      if (!shape.row(y, &l, &r)) continue;
      for (int x = l; x <= r; ++x) {
        const double s = side(x, y);
        if (kind == 0 || (kind == 2 ? sweep.contains(x, y) : (s == 0 || (s > 0) == (arc_side > 0)))) {
          fill.span(y, x, x);
        }
      }
    }
    outline_pixels(shape, box, clip,
                   [&](int x, int y) { return kind == 0 || (sweep.contains(x, y) && !(x == to.x && y == to.y)); },
                   ink);
    int64_t phase = 0;
    if (kind == 2) {
      line(to, centre, nullptr, &phase, clip, ink);
      line(centre, from, nullptr, &phase, clip, ink);
    } else if (kind == 1) {
      line(to, from, nullptr, &phase, clip, ink);
    }
    int differing = 0;
    for (size_t i = 0; i < mine.size(); ++i) differing += mine[i] != rules[i];
    EXPECT_EQ(differing, 0) << "figure " << kind;
  }
}

}  // namespace
}  // namespace lumo::server::pixels
