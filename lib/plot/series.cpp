// Data series on axes: lines, markers, error bars and histograms.  Each
// call draws in the window's current pen, brush and marker settings (in the
// smooth mode) and makes fitted axes first when the window has none.

#include "include/lumo.h"
#include "lib/draw/coords.h"
#include "lib/plot/plot.h"
#include "lib/plot/plotmath.h"

namespace lumo {
namespace plot {

namespace {

constexpr int kMaxBins = 4096;  // counts kept on the stack
constexpr int kMarkerKinds = 7;
constexpr int kLeastMarker = 3;
constexpr int kDefaultMarker = 7;

struct Extent {
  double lo = 1e300, hi = -1e300;
  void add(double v) {
    if (!finite_value(v)) return;
    if (v < lo) lo = v;
    if (v > hi) hi = v;
  }
  bool empty() const { return lo > hi; }
};

// Axes for data spanning ex and ey; false (and nothing drawn) without them.
bool axes_for(State* s, const Extent& ex, const Extent& ey) {
  if (ex.empty() || ey.empty()) return axes_ready(s);
  return ensure_axes(s, ex.lo, ex.hi, ey.lo, ey.hi, 0);
}

void report_left_out(const char* call, int left_out, int n) {
  if (left_out > 0) {
    say("%s: %d of %d values left out (not a number, or not above 0 on a log axis)", call, left_out, n);
  }
}

// Liang-Barsky: the part [*t0, *t1] of the segment a-b inside the plot
// area; false when none of it is.
bool clip(const Area& r, const double* a, const double* b, double* t0, double* t1) {
  const double dx = b[0] - a[0], dy = b[1] - a[1];
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {a[0] - r.left, r.right - a[0], a[1] - r.top, r.bottom - a[1]};
  *t0 = 0;
  *t1 = 1;
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0) {
      if (q[i] < 0) return false;
      continue;
    }
    const double t = q[i] / p[i];
    if (p[i] < 0) {
      if (t > *t1) return false;
      if (t > *t0) *t0 = t;
    } else {
      if (t < *t0) return false;
      if (t < *t1) *t1 = t;
    }
  }
  return true;
}

bool inside(const Area& r, double x, double y) {
  return x >= r.left && x <= r.right && y >= r.top && y <= r.bottom;
}

void remember(State* s, int w, int kind) {
  s->last = current_look(w, kind);
  s->has_last = true;
}

}  // namespace

}  // namespace plot
}  // namespace lumo

using namespace lumo::plot;
using lumo::device_line;
using lumo::device_marker;

extern "C" {

int LmPlotLine(int n, const float* x, const float* y) {
  State* s = current_state();
  if (!s || n < 1 || !x || !y) return 0;
  Extent ex, ey;
  for (int i = 0; i < n; ++i) {
    ex.add(x[i]);
    ey.add(y[i]);
  }
  if (!axes_for(s, ex, ey)) return 0;
  const int w = current_window();
  Saved saved;
  save_settings(w, &saved);
  LmDevSetPen(w, LM_KEEP, LM_KEEP, LM_KEEP, LM_MODE_SMOOTH);
  Runs runs(w);
  const Area& area = s->area;
  double prev[2] = {0, 0};
  bool have_prev = false;
  int drawn = 0;
  for (int i = 0; i < n; ++i) {
    double p[2] = {0, 0};
    if (!to_x(s, x[i], &p[0]) || !to_y(s, y[i], &p[1])) {
      runs.flush();  // a gap in the line
      have_prev = false;
      continue;
    }
    ++drawn;
    double t0 = 0, t1 = 1;
    if (!have_prev) {
      if (inside(area, p[0], p[1])) runs.add(p[0], p[1]);
    } else if (!clip(area, prev, p, &t0, &t1)) {
      runs.flush();
    } else {
      if (t0 > 0 || runs.empty()) {  // coming in from beyond the frame
        runs.flush();
        runs.add(prev[0] + t0 * (p[0] - prev[0]), prev[1] + t0 * (p[1] - prev[1]));
      }
      runs.add(prev[0] + t1 * (p[0] - prev[0]), prev[1] + t1 * (p[1] - prev[1]));
      if (t1 < 1) runs.flush();  // going out
    }
    prev[0] = p[0];
    prev[1] = p[1];
    have_prev = true;
  }
  runs.flush();
  restore_settings(w, saved);
  remember(s, w, kLine);
  s->last_x = x;
  s->last_y = y;
  s->last_n = n;
  report_left_out("LmPlotLine", n - drawn, n);
  return drawn;
}

int LmPlotPoints(int n, const float* x, const float* y, int marker) {
  State* s = current_state();
  if (!s || n < 1 || !x || !y || marker < 0 || marker >= kMarkerKinds) return 0;
  Extent ex, ey;
  for (int i = 0; i < n; ++i) {
    ex.add(x[i]);
    ey.add(y[i]);
  }
  if (!axes_for(s, ex, ey)) return 0;
  const int w = current_window();
  Saved saved;
  save_settings(w, &saved);
  const int size = saved.marker[1] < kLeastMarker ? kDefaultMarker : LM_KEEP;
  LmDevSetMarker(w, marker, size, LM_KEEP, LM_KEEP, LM_KEEP);
  LmDevSetPen(w, LM_KEEP, LM_KEEP, LM_KEEP, LM_MODE_SMOOTH);
  int drawn = 0;
  for (int i = 0; i < n; ++i) {
    double px = 0, py = 0;
    if (!to_x(s, x[i], &px) || !to_y(s, y[i], &py)) continue;
    ++drawn;
    if (!inside(s->area, px, py)) continue;  // beyond the axes
    device_marker(w, px, py);
  }
  const Look line = s->last;
  const bool on_line = s->has_last && line.kind == kLine && s->last_n == n && s->last_x == x && s->last_y == y;
  remember(s, w, kPoints);
  if (on_line) {  // markers on the line just drawn: one series in the legend
    s->last.kind = kLinePoints;
    s->last.pen_colour = line.pen_colour;
    s->last.pen_style = line.pen_style;
    s->last.pen_width = line.pen_width;
  }
  restore_settings(w, saved);
  report_left_out("LmPlotPoints", n - drawn, n);
  return drawn;
}

int LmErrorBars(int n, const float* x, const float* low, const float* high) {
  State* s = current_state();
  if (!s || n < 1 || !x || !low || !high) return 0;
  Extent ex, ey;
  for (int i = 0; i < n; ++i) {
    ex.add(x[i]);
    ey.add(low[i]);
    ey.add(high[i]);
  }
  if (!axes_for(s, ex, ey)) return 0;
  const int w = current_window();
  Saved saved;
  save_settings(w, &saved);
  LmDevSetPen(w, LM_KEEP, LM_KEEP, LM_KEEP, LM_MODE_SMOOTH);
  const int cap = s->font_px / 3;
  int drawn = 0;
  for (int i = 0; i < n; ++i) {
    double px = 0, p1 = 0, p2 = 0;
    if (!to_x(s, x[i], &px) || !to_y(s, low[i], &p1) || !to_y(s, high[i], &p2)) continue;
    ++drawn;
    const Area& a = s->area;
    if (px < a.left || px > a.right) continue;  // beyond the axes
    const double lo = p1 > p2 ? p1 : p2, hi = p1 > p2 ? p2 : p1;  // device y runs down
    if (hi > a.bottom || lo < a.top) continue;
    const double y1 = lo > a.bottom ? a.bottom : lo;
    const double y2 = hi < a.top ? a.top : hi;
    device_line(w, px, y1, px, y2);
    if (lo <= a.bottom) device_line(w, px - cap, y1, px + cap, y1);  // caps at the ends that are shown
    if (hi >= a.top) device_line(w, px - cap, y2, px + cap, y2);
  }
  restore_settings(w, saved);
  remember(s, w, kErrorBars);
  report_left_out("LmErrorBars", n - drawn, n);
  return drawn;
}

int LmHistogram(int n, const float* values, int bins, float lo, float hi) {
  State* s = current_state();
  if (!s || n < 1 || !values || bins < 1 || !(lo < hi) || !finite_value(lo) || !finite_value(hi)) {
    return 0;
  }
  if (bins > kMaxBins) {
    say("LmHistogram: %d bins refused (at most %d)", bins, kMaxBins);
    return 0;
  }
  int counts[kMaxBins] = {};
  int counted = 0, most = 0;
  const double width = (static_cast<double>(hi) - lo) / bins;
  for (int i = 0; i < n; ++i) {
    const double v = values[i];
    if (!(v >= lo && v <= hi)) continue;
    int b = static_cast<int>((v - lo) / width);
    if (b >= bins) b = bins - 1;
    if (++counts[b] > most) most = counts[b];
    ++counted;
  }
  Extent ex, ey;
  ex.add(lo);
  ex.add(hi);
  ey.add(0);
  ey.add(most > 0 ? most : 1);
  if (!axes_for(s, ex, ey)) return 0;
  const int w = current_window();
  Saved saved;
  save_settings(w, &saved);
  LmDevSetPen(w, LM_KEEP, LM_KEEP, LM_KEEP, LM_MODE_SMOOTH);
  double base = 0;
  if (!to_y(s, s->y.log ? s->y.lo : 0.0, &base)) base = s->area.bottom;
  for (int b = 0; b < bins; ++b) {
    double x1 = 0, x2 = 0, top = 0;
    if (counts[b] == 0 || !to_x(s, lo + b * width, &x1) || !to_x(s, lo + (b + 1) * width, &x2) ||
        !to_y(s, counts[b], &top)) {
      continue;
    }
    const Area& a = s->area;
    if (x1 > x2) {
      const double t = x1;
      x1 = x2;
      x2 = t;
    }
    if (x2 < a.left || x1 > a.right) continue;
    x1 = x1 < a.left ? a.left : x1;
    x2 = x2 > a.right ? a.right : x2;
    top = top < a.top ? a.top : top;
    LmDevRect(w, static_cast<int>(floor_of(x1 + 0.5)), static_cast<int>(floor_of(top + 0.5)),
              static_cast<int>(floor_of(x2 + 0.5)), static_cast<int>(floor_of(base + 0.5)));
  }
  restore_settings(w, saved);
  remember(s, w, kBars);
  return counted;
}

}  // extern "C"
