// Contour lines of a field by marching squares over its cell centres.  The
// segments of one level are followed from square to square and sent as
// polylines: drawn between pixels, separate segments would overlap at every
// joint and bead the line.  Squares are numbered by their lower left corner.

#include "include/lumo.h"
#include "lib/draw/coords.h"
#include "lib/plot/plot.h"
#include "lib/plot/plotmath.h"

namespace lumo {
namespace plot {

namespace {

// Fields up to this many squares are followed (one byte each, static);
// larger ones are drawn a segment at a time.
constexpr long kMaxFollowed = 1L << 18;
unsigned char g_used[kMaxFollowed];  // bit k: segment k of the square drawn

struct Field {
  const State* s;
  const float* values;
  int nx, ny;
  double dx, dy;
};

struct Square {
  double x[4], y[4], v[4];  // corners counter-clockwise from the lower left, device pixels
};

// The square with lower left corner (i, j); false beyond the field or with
// a value that is not a number.
bool square_at(const Field& f, int i, int j, Square* q) {
  if (i < 0 || j < 0 || i + 1 >= f.nx || j + 1 >= f.ny) return false;
  const int ci[4] = {i, i + 1, i + 1, i};
  const int cj[4] = {j, j, j + 1, j + 1};
  for (int k = 0; k < 4; ++k) {
    q->v[k] = f.values[static_cast<long>(cj[k]) * f.nx + ci[k]];
    if (!finite_value(q->v[k]) || !to_x(f.s, f.s->x.lo + (ci[k] + 0.5) * f.dx, &q->x[k]) ||
        !to_y(f.s, f.s->y.lo + (cj[k] + 0.5) * f.dy, &q->y[k])) {
      return false;
    }
  }
  return true;
}

// Where the level crosses edge e (edge k joins corner k and corner k + 1),
// reckoned from the edge's lower or left end, so that the two squares
// sharing an edge find the very same point.
void crossing(const Square& q, int e, double level, double* x, double* y) {
  static const int from[4] = {0, 1, 3, 0}, to[4] = {1, 2, 2, 3};
  const int a = from[e], b = to[e];
  const double t = (level - q.v[a]) / (q.v[b] - q.v[a]);
  *x = q.x[a] + t * (q.x[b] - q.x[a]);
  *y = q.y[a] + t * (q.y[b] - q.y[a]);
}

// The segments of one level in a square as pairs of edges; returns 0..2.
int segments_of(const Square& q, double level, int edges[2][2]) {
  int index = 0;
  for (int k = 0; k < 4; ++k) index |= (q.v[k] >= level ? 1 : 0) << k;
  static const int one[16][2] = {{-1, -1}, {3, 0}, {0, 1}, {3, 1}, {1, 2}, {-1, -1}, {0, 2}, {2, 3},
                                 {2, 3},   {0, 2}, {-1, -1}, {1, 2}, {3, 1}, {0, 1}, {3, 0}, {-1, -1}};
  if (index == 5 || index == 10) {
    // Saddle: the mean of the corners says which corners join.
    const bool high_middle = (q.v[0] + q.v[1] + q.v[2] + q.v[3]) / 4 >= level;
    const bool joined = (index == 5) == high_middle;
    const int pairs[2][2][2] = {{{3, 0}, {1, 2}}, {{0, 1}, {2, 3}}};
    for (int k = 0; k < 2; ++k) {
      edges[k][0] = pairs[joined][k][0];
      edges[k][1] = pairs[joined][k][1];
    }
    return 2;
  }
  if (one[index][0] < 0) return 0;
  edges[0][0] = one[index][0];
  edges[0][1] = one[index][1];
  return 1;
}

// The square across edge e of square (i, j), and the shared edge's number there.
void across(int e, int* i, int* j, int* shared) {
  static const int di[4] = {0, 1, 0, -1}, dj[4] = {-1, 0, 1, 0};
  *i += di[e];
  *j += dj[e];
  *shared = (e + 2) % 4;
}

// In square (i, j): the segment with an end on edge `in` not drawn yet, its
// other edge in *out; false when there is none.
bool step(const Field& f, double level, int i, int j, int in, Square* q, int* k, int* out) {
  int edges[2][2];
  if (!square_at(f, i, j, q)) return false;
  const int n = segments_of(*q, level, edges);
  for (*k = 0; *k < n; ++*k) {
    if (g_used[static_cast<long>(j) * f.nx + i] & (1 << *k)) continue;
    if (edges[*k][0] == in || edges[*k][1] == in) {
      *out = edges[*k][0] == in ? edges[*k][1] : edges[*k][0];
      return true;
    }
  }
  return false;
}

// Draws the line of `level` through the segment of square (i, j) with an
// end on edge e1, as far as it goes both ways; returns its segments.
int follow(int w, const Field& f, double level, int i, int j, int e1) {
  // Back along e1 to where the line begins (or once round a closed one).
  int bi = i, bj = j, entry = e1;
  for (long guard = 0; guard < kMaxFollowed; ++guard) {
    int ni = bi, nj = bj, shared = 0, k = 0, out = 0;
    Square q;
    across(entry, &ni, &nj, &shared);
    if (!step(f, level, ni, nj, shared, &q, &k, &out)) break;
    bi = ni;
    bj = nj;
    entry = out;
    if (bi == i && bj == j) break;  // closed
  }
  // Then forward, drawing and marking.
  Runs runs(w);
  int segments = 0, in = entry;
  for (int ci = bi, cj = bj;;) {
    Square q;
    int k = 0, out = 0;
    if (!step(f, level, ci, cj, in, &q, &k, &out)) break;
    g_used[static_cast<long>(cj) * f.nx + ci] |= static_cast<unsigned char>(1 << k);
    double x = 0, y = 0;
    if (runs.empty()) {
      crossing(q, in, level, &x, &y);
      runs.add(x, y);
    }
    crossing(q, out, level, &x, &y);
    runs.add(x, y);
    ++segments;
    int shared = 0;
    across(out, &ci, &cj, &shared);
    in = shared;
  }
  runs.flush();
  return segments;
}

// One level over the whole field.
int contour_level(int w, const Field& f, double level) {
  const long squares = static_cast<long>(f.nx) * f.ny;
  const bool followed = squares <= kMaxFollowed;
  if (followed) {
    for (long k = 0; k < squares; ++k) g_used[k] = 0;
  }
  int segments = 0;
  for (int j = 0; j + 1 < f.ny; ++j) {
    for (int i = 0; i + 1 < f.nx; ++i) {
      Square q;
      int edges[2][2];
      if (!square_at(f, i, j, &q)) continue;
      const int n = segments_of(q, level, edges);
      for (int k = 0; k < n; ++k) {
        if (followed) {
          if (!(g_used[static_cast<long>(j) * f.nx + i] & (1 << k))) {
            segments += follow(w, f, level, i, j, edges[k][0]);
          }
          continue;
        }
        double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
        crossing(q, edges[k][0], level, &x1, &y1);
        crossing(q, edges[k][1], level, &x2, &y2);
        device_line(w, x1, y1, x2, y2);
        ++segments;
      }
    }
  }
  return segments;
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
  const Field f{s, values, nx, ny, (s->x.hi - s->x.lo) / nx, (s->y.hi - s->y.lo) / ny};
  int segments = 0;
  for (int l = 0; l < nlevels; ++l) {
    segments += contour_level(w, f, levels ? levels[l] : vmin + (l + 1) * (vmax - vmin) / (nlevels + 1));
  }
  restore_settings(w, saved);
  return segments;
}

}  // extern "C"
