// Contour lines of a field by marching squares over its cell centres; each
// crossing of a level is a straight segment across one square.

#include "include/lumo.h"
#include "lib/draw/coords.h"
#include "lib/plot/plot.h"
#include "lib/plot/plotmath.h"

namespace lumo {
namespace plot {

namespace {

struct Square {
  double x[4], y[4], v[4];  // corners counter-clockwise from the lower left, device pixels
};

// The point on the edge from corner a to corner b where the level lies.
void crossing(const Square& q, int a, int b, double level, double* x, double* y) {
  const double t = (level - q.v[a]) / (q.v[b] - q.v[a]);
  *x = q.x[a] + t * (q.x[b] - q.x[a]);
  *y = q.y[a] + t * (q.y[b] - q.y[a]);
}

int segment(int w, const Square& q, int e1, int e2, double level) {
  double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  crossing(q, e1, (e1 + 1) % 4, level, &x1, &y1);
  crossing(q, e2, (e2 + 1) % 4, level, &x2, &y2);
  device_line(w, x1, y1, x2, y2);
  return 1;
}

// Segments of one level in one square; edges are numbered by their first
// corner (edge k joins corner k and corner k + 1).
int march(int w, const Square& q, double level) {
  int index = 0;
  for (int k = 0; k < 4; ++k) index |= (q.v[k] >= level ? 1 : 0) << k;
  switch (index) {
    case 0:
    case 15:
      return 0;
    case 1: case 14: return segment(w, q, 3, 0, level);
    case 2: case 13: return segment(w, q, 0, 1, level);
    case 3: case 12: return segment(w, q, 3, 1, level);
    case 4: case 11: return segment(w, q, 1, 2, level);
    case 6: case 9: return segment(w, q, 0, 2, level);
    case 7: case 8: return segment(w, q, 2, 3, level);
    default: {
      // Saddle (5 or 10): the mean of the corners says which corners join.
      const bool high_middle = (q.v[0] + q.v[1] + q.v[2] + q.v[3]) / 4 >= level;
      const bool joined = (index == 5) == high_middle;
      if (joined) return segment(w, q, 0, 1, level) + segment(w, q, 2, 3, level);
      return segment(w, q, 3, 0, level) + segment(w, q, 1, 2, level);
    }
  }
}

}  // namespace

}  // namespace plot
}  // namespace lumo

using namespace lumo::plot;

extern "C" {

int LmContour(int nx, int ny, const float* values, int nlevels, const float* levels) {
  State* s = current_state();
  if (!s || nx < 2 || ny < 2 || !values || nlevels < 1) return 0;
  double vmin = 1e300, vmax = -1e300;
  for (long k = 0; k < static_cast<long>(nx) * ny; ++k) {
    if (!finite_value(values[k])) continue;
    if (values[k] < vmin) vmin = values[k];
    if (values[k] > vmax) vmax = values[k];
  }
  if (!(vmin < vmax)) return 0;
  if (!axes_ready(s) && !make_axes(s, 0, nx, 0, ny, 0)) return 0;
  const int w = current_window();
  Saved saved;
  save_settings(w, &saved);
  LmDevSetPen(w, LM_KEEP, LM_KEEP, LM_KEEP, LM_MODE_SMOOTH);
  const double dx = (s->x.hi - s->x.lo) / nx, dy = (s->y.hi - s->y.lo) / ny;
  int segments = 0;
  for (int j = 0; j + 1 < ny; ++j) {
    for (int i = 0; i + 1 < nx; ++i) {
      Square q;
      const int ci[4] = {i, i + 1, i + 1, i};
      const int cj[4] = {j, j, j + 1, j + 1};
      bool ok = true;
      for (int k = 0; k < 4 && ok; ++k) {
        q.v[k] = values[static_cast<long>(cj[k]) * nx + ci[k]];
        ok = finite_value(q.v[k]) && to_x(s, s->x.lo + (ci[k] + 0.5) * dx, &q.x[k]) &&
             to_y(s, s->y.lo + (cj[k] + 0.5) * dy, &q.y[k]);
      }
      if (!ok) continue;
      for (int l = 0; l < nlevels; ++l) {
        const double level = levels ? levels[l] : vmin + (l + 1) * (vmax - vmin) / (nlevels + 1);
        segments += march(w, q, level);
      }
    }
  }
  restore_settings(w, saved);
  return segments;
}

}  // extern "C"
