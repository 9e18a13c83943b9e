// A polygon's coverage worked out a few rows at a time (edges in buckets by
// row), against a reference that tests every pixel's 16 sample points
// against every edge.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "server/canvas/coverage_fill.h"

namespace lumo::server::pixels {
namespace {

constexpr int kW = 48, kH = 40;

struct Grid : CoverageSink {
  std::vector<int> cover = std::vector<int>(kW * kH, 0);
  int rows = 0;
  void coverage(int y, int x0, const uint8_t* c, int count, int full) override {
    EXPECT_EQ(full, 16);
    ++rows;
    for (int i = 0; i < count; ++i) cover[static_cast<size_t>(y * kW + x0 + i)] = c[i];
  }
};

// Sample (i, j) of pixel (x, y) lies at (x - 0.5 + (i + 0.5) / 4, y - 0.5 +
// (j + 0.5) / 4); an edge from top to bottom (top in, bottom out) counts
// for the samples at or right of where it crosses the sample's row.
std::vector<int> reference(const std::vector<Point>& p, bool winding) {
  std::vector<int> cover(kW * kH, 0);
  const size_t n = p.size();
  for (int y = 0; y < kH; ++y) {
    for (int j = 0; j < 4; ++j) {
      const double sy = y - 0.5 + (j + 0.5) / 4;
      for (int x = 0; x < kW; ++x) {
        for (int i = 0; i < 4; ++i) {
          const int k = 4 * x + i;  // the sample's index in the row
          int count = 0;
          for (size_t e = 0; e < n; ++e) {
            Point a = p[e], b = p[(e + 1) % n];
            if (a.y == b.y) continue;
            const int direction = b.y > a.y ? 1 : -1;
            if (b.y < a.y) std::swap(a, b);
            if (!(a.y <= sy && sy < b.y)) continue;
            const double slope = (static_cast<double>(b.x) - a.x) / (static_cast<double>(b.y) - a.y);
            const double cross = a.x - a.y * slope + sy * slope;
            if (k >= std::ceil((cross + 0.5) * 4 - 0.5)) count += winding ? direction : 1;
          }
          if (winding ? count != 0 : (count & 1) != 0) ++cover[static_cast<size_t>(y * kW + x)];
        }
      }
    }
  }
  return cover;
}

TEST(CoverageFill, EveryPixelHoldsTheSamplesInsideThePolygon) {
  std::mt19937 random(5);
  std::vector<std::vector<Point>> shapes = {
      {{5, 5}, {40, 8}, {22, 35}},                                    // a triangle
      {{24, 2}, {30, 36}, {4, 14}, {44, 14}, {18, 36}},               // a star: the rules differ inside
      {{-30, -20}, {90, 10}, {10, 90}},                               // beyond every side
      {{2, 10}, {40, 10}, {40, 30}, {20, 30}, {20, 20}, {2, 20}},     // level edges
      {{60, 50}, {90, 60}, {70, 80}},                                 // outside the picture
  };
  for (int s = 0; s < 40; ++s) {
    std::vector<Point> p(3 + random() % 200);
    for (Point& q : p) q = {static_cast<int>(random() % (kW + 40)) - 20, static_cast<int>(random() % (kH + 40)) - 20};
    shapes.push_back(p);
  }
  for (size_t s = 0; s < shapes.size(); ++s) {
    for (bool winding : {false, true}) {
      for (int rows : {1, 3, 1000}) {
        CoverageFill fill;
        fill.start(shapes[s].data(), static_cast<int>(shapes[s].size()), winding, Box{0, 0, kW - 1, kH - 1});
        Grid grid;
        int slices = 0;
        while (!fill.rows(grid, rows)) ++slices;
        EXPECT_EQ(grid.cover, reference(shapes[s], winding)) << "shape " << s << (winding ? ", winding" : "")
                                                             << ", " << rows << " rows a slice";
        if (rows == 1 && grid.rows > 1) {
          EXPECT_GE(slices, grid.rows - 1) << "shape " << s;
        }
      }
    }
  }
}

}  // namespace
}  // namespace lumo::server::pixels
