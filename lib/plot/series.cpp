// Data series on axes: lines, markers, error bars and histograms.  Each
// call draws in the window's current pen, brush and marker settings (in the
// smooth mode) and makes fitted axes first when the window has none.

#include "include/lumo.h"
#include "lib/plot/plot.h"
#include "lib/plot/plotmath.h"

namespace lumo {
namespace plot {

namespace {

constexpr int kKeep = -1;
constexpr int kSmoothMode = 4;
constexpr int kRun = 256;       // points of a line drawn per command
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

void remember(State* s, int w, int kind) {
  s->last = current_look(w, kind);
  s->has_last = true;
}

}  // namespace

}  // namespace plot
}  // namespace lumo

using namespace lumo::plot;

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
  LmDevSetPen(w, kKeep, kKeep, kKeep, kSmoothMode);
  double run[2 * kRun];
  int k = 0, drawn = 0;
  for (int i = 0; i < n; ++i) {
    double px = 0, py = 0;
    if (!to_x(s, x[i], &px) || !to_y(s, y[i], &py)) {
      device_polyline(w, run, k);  // a gap in the line
      k = 0;
      continue;
    }
    ++drawn;
    if (k == kRun) {
      device_polyline(w, run, k);
      run[0] = run[2 * (k - 1)];
      run[1] = run[2 * (k - 1) + 1];
      k = 1;
    }
    run[2 * k] = px;
    run[2 * k + 1] = py;
    ++k;
  }
  device_polyline(w, run, k);
  restore_settings(w, saved);
  remember(s, w, kLine);
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
  const int size = saved.marker[1] < kLeastMarker ? kDefaultMarker : kKeep;
  LmDevSetMarker(w, marker, size, kKeep, kKeep, kKeep);
  LmDevSetPen(w, kKeep, kKeep, kKeep, kSmoothMode);
  int drawn = 0;
  for (int i = 0; i < n; ++i) {
    double px = 0, py = 0;
    if (!to_x(s, x[i], &px) || !to_y(s, y[i], &py)) continue;
    LmDevMarker(w, static_cast<int>(floor_of(px + 0.5)), static_cast<int>(floor_of(py + 0.5)));
    ++drawn;
  }
  remember(s, w, kPoints);
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
  LmDevSetPen(w, kKeep, kKeep, kKeep, kSmoothMode);
  const int cap = s->font_px / 3;
  int drawn = 0;
  for (int i = 0; i < n; ++i) {
    double px = 0, p1 = 0, p2 = 0;
    if (!to_x(s, x[i], &px) || !to_y(s, low[i], &p1) || !to_y(s, high[i], &p2)) continue;
    const int ix = static_cast<int>(floor_of(px + 0.5));
    const int i1 = static_cast<int>(floor_of(p1 + 0.5));
    const int i2 = static_cast<int>(floor_of(p2 + 0.5));
    LmDevLine(w, ix, i1, ix, i2);
    LmDevLine(w, ix - cap, i1, ix + cap, i1);
    LmDevLine(w, ix - cap, i2, ix + cap, i2);
    ++drawn;
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
  LmDevSetPen(w, kKeep, kKeep, kKeep, kSmoothMode);
  double base = 0;
  if (!to_y(s, s->y.log ? s->y.lo : 0.0, &base)) base = s->area.bottom;
  for (int b = 0; b < bins; ++b) {
    double x1 = 0, x2 = 0, top = 0;
    if (counts[b] == 0 || !to_x(s, lo + b * width, &x1) || !to_x(s, lo + (b + 1) * width, &x2) ||
        !to_y(s, counts[b], &top)) {
      continue;
    }
    LmDevRect(w, static_cast<int>(floor_of(x1 + 0.5)), static_cast<int>(floor_of(top + 0.5)),
              static_cast<int>(floor_of(x2 + 0.5)), static_cast<int>(floor_of(base + 0.5)));
  }
  restore_settings(w, saved);
  remember(s, w, kBars);
  return counted;
}

}  // extern "C"
