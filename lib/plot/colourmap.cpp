// Colour maps of images and colour bars: a few anchor colours each, joined
// by straight lines in RGB.

#include "include/lumo.h"
#include "lib/plot/plot.h"
#include "lib/plot/plotmath.h"

namespace lumo {
namespace plot {

namespace {

struct Map {
  int count;
  unsigned char rgb[9][3];
};

// Indexed by the LM_MAP_ numbers.
constexpr Map kMaps[] = {
    {2, {{0, 0, 0}, {255, 255, 255}}},  // LM_MAP_GREY
    {9,
     {{68, 1, 84},
      {71, 44, 122},
      {59, 81, 139},
      {44, 113, 142},
      {33, 144, 141},
      {39, 173, 129},
      {92, 200, 99},
      {170, 220, 50},
      {253, 231, 37}}},  // LM_MAP_VIRIDIS
    {5,
     {{59, 76, 192}, {141, 176, 254}, {221, 221, 221}, {244, 154, 123}, {180, 4, 38}}},  // LM_MAP_COOLWARM
    {6,
     {{0, 0, 0}, {120, 28, 109}, {188, 55, 84}, {237, 105, 37}, {251, 180, 26}, {252, 255, 164}}},  // LM_MAP_HEAT
};

}  // namespace

bool known_map(int map) { return map >= LM_MAP_GREY && map <= LM_MAP_HEAT; }

bool map_colour(int map, double t, int* r, int* g, int* b) {
  if (!known_map(map)) return false;
  const Map& m = kMaps[map - LM_MAP_GREY];
  if (!(t > 0)) t = 0;  // NaN too
  if (t > 1) t = 1;
  const double pos = t * (m.count - 1);
  int i = static_cast<int>(pos);
  if (i >= m.count - 1) i = m.count - 2;
  const double f = pos - i;
  int* out[3] = {r, g, b};
  for (int c = 0; c < 3; ++c) {
    *out[c] = static_cast<int>(round_of(m.rgb[i][c] + f * (m.rgb[i + 1][c] - m.rgb[i][c])));
  }
  return true;
}

}  // namespace plot
}  // namespace lumo
