// Axes: the plot area of a window, the world that puts data values into it,
// and the frame, ticks, numbers and labels.
#include <cstdio>
#include <cstring>

#include "include/lumo.h"
#include "lib/link/link.h"
#include "lib/plot/plot.h"
#include "lib/plot/plotmath.h"

namespace lumo {
namespace plot {

namespace {

State g_states[wire::kWindowSlots];

double transformed(const Axis& a, double v) { return a.log ? log10_of(v) : v; }

bool to_axis(const Axis& a, int p1, int p2, double v, double* p) {
  if (!finite_value(v) || (a.log && !(v > 0))) return false;
  const double t1 = transformed(a, a.lo);
  const double t2 = transformed(a, a.hi);
  *p = p1 + (transformed(a, v) - t1) / (t2 - t1) * (p2 - p1);
  return true;
}

int round_px(double v) { return static_cast<int>(floor_of(v + 0.5)); }

// A tick label at (x, y) with the alignment given; a power of ten as "10"
// with its exponent raised in a smaller font.  Returns its width.
int tick_label(int w, int x, int y, double value, double step, bool log, bool below, int f) {
  char text[48];
  int exponent = 0;
  format_tick(value, step, log, text, sizeof text, &exponent);
  if (exponent == 0) {
    text_font(w, f, 0, below ? (LM_ALIGN_CENTRE + LM_ALIGN_TOP) : (LM_ALIGN_RIGHT + LM_ALIGN_MIDDLE), 0);
    LmDevText(w, x, y, text);
    return text_width(w, text);
  }
  char power[16];
  std::snprintf(power, sizeof power, "%d", exponent);
  const int small = f * 3 / 4;
  text_font(w, small, 0, (LM_ALIGN_LEFT + LM_ALIGN_TOP), 0);
  const int wp = text_width(w, power);
  text_font(w, f, 0, below ? (LM_ALIGN_LEFT + LM_ALIGN_TOP) : (LM_ALIGN_LEFT + LM_ALIGN_MIDDLE), 0);
  const int wt = text_width(w, text);
  const int x0 = below ? x - (wt + wp) / 2 : x - wt - wp;
  LmDevText(w, x0, y, text);
  text_font(w, small, 0, below ? (LM_ALIGN_LEFT + LM_ALIGN_TOP) : (LM_ALIGN_LEFT + LM_ALIGN_MIDDLE), 0);
  LmDevText(w, x0 + wt, below ? y - f * 2 / 5 : y - f / 2, power);
  return wt + wp;
}

void tick_marks(int w, const State* s, const Ticks& t, bool x_axis, int length) {
  const Area& a = s->area;
  for (int pass = 0; pass < 2; ++pass) {
    const int n = pass == 0 ? t.count : t.minor_count;
    const double* values = pass == 0 ? t.value : t.minor;
    const int len = pass == 0 ? length : length / 2;
    for (int i = 0; i < n; ++i) {
      double p = 0;
      if (x_axis) {
        if (!to_x(s, values[i], &p)) continue;
        const int px = round_px(p);
        LmDevLine(w, px, a.bottom, px, a.bottom - len);
        LmDevLine(w, px, a.top, px, a.top + len);
      } else {
        if (!to_y(s, values[i], &p)) continue;
        const int py = round_px(p);
        LmDevLine(w, a.left, py, a.left + len, py);
        LmDevLine(w, a.right, py, a.right - len, py);
      }
    }
  }
}

void grid_lines(int w, const State* s, const Ticks& tx, const Ticks& ty) {
  smooth_pen(w, rgb(221, 221, 221), LM_PEN_SOLID, 1);
  const Area& a = s->area;
  double p = 0;
  for (int i = 0; i < tx.count; ++i) {
    if (to_x(s, tx.value[i], &p)) LmDevLine(w, round_px(p), a.top, round_px(p), a.bottom);
  }
  for (int i = 0; i < ty.count; ++i) {
    if (to_y(s, ty.value[i], &p)) LmDevLine(w, a.left, round_px(p), a.right, round_px(p));
  }
}

void draw_labels(int w, State* s) {
  const Area& a = s->area;
  const int f = s->font_px;
  if (s->xlabel[0]) {
    text_font(w, f, 0, (LM_ALIGN_CENTRE + LM_ALIGN_TOP), 0);
    LmDevText(w, (a.left + a.right) / 2, a.bottom + f * 2, s->xlabel);
  }
  if (s->ylabel[0]) {
    text_font(w, f, 900, (LM_ALIGN_CENTRE + LM_ALIGN_BASELINE), 0);
    LmDevText(w, s->ylabel_x, (a.top + a.bottom) / 2, s->ylabel);
  }
  if (s->title[0]) {
    text_font(w, f * 5 / 4, 0, (LM_ALIGN_CENTRE + LM_ALIGN_BASELINE), LM_WEIGHT_BOLD);
    LmDevText(w, (a.left + a.right) / 2, a.top - f * 3 / 4, s->title);
  }
  s->pending_labels = false;
}

void copy_label(char* out, const char* text) {
  std::snprintf(out, kLabelSize, "%s", text ? text : "");
}

}  // namespace

int current_window() { return g_link.current_view ? g_link.current_window : 0; }

State* current_state() {
  const int w = current_window();
  return w > 0 && w < wire::kWindowSlots ? &g_states[w] : nullptr;
}

bool axes_ready(const State* s) {
  if (!s || !s->has_axes || s->view != g_link.current_view) return false;
  float world[4];
  LmGetWorld(&world[0], &world[1], &world[2], &world[3]);
  return std::memcmp(world, s->world, sizeof world) == 0;
}

bool to_x(const State* s, double x, double* px) {
  return to_axis(s->x, s->area.left, s->area.right, x, px);
}

bool to_y(const State* s, double y, double* py) {
  return to_axis(s->y, s->area.bottom, s->area.top, y, py);
}

void axis_ticks(const State* s, Ticks* tx, Ticks* ty) {
  const Axis& x = s->x;
  const Axis& y = s->y;
  choose_ticks(x.lo < x.hi ? x.lo : x.hi, x.lo < x.hi ? x.hi : x.lo, x.log, tx);
  choose_ticks(y.lo < y.hi ? y.lo : y.hi, y.lo < y.hi ? y.hi : y.lo, y.log, ty);
}

void frame_and_ticks(int w, const State* s) {
  const Area& a = s->area;
  Ticks tx, ty;
  axis_ticks(s, &tx, &ty);
  smooth_pen(w, LM_BLACK, LM_PEN_SOLID, 1);
  const int frame[10] = {a.left, a.top, a.right, a.top, a.right, a.bottom, a.left, a.bottom, a.left, a.top};
  LmDevPolyline(w, frame, 5);
  tick_marks(w, s, tx, true, s->font_px / 2);
  tick_marks(w, s, ty, false, s->font_px / 2);
}

int make_axes(State* s, double x1, double x2, double y1, double y2, int options) {
  const int w = current_window();
  const unsigned char* v = g_link.current_view;
  if (!w || !s) return 0;
  const int width = read_i32(v, wire::kAreaWidth);
  const int height = read_i32(v, wire::kAreaHeight);
  if (width < 40 || height < 40) return 0;
  int f = height / 34;
  if (f < 11) f = 11;
  if (f > 18) f = 18;
  s->font_px = f;
  s->options = options;
  s->x = Axis{x1, x2, (options & LM_AXES_LOGX) != 0};
  s->y = Axis{y1, y2, (options & LM_AXES_LOGY) != 0};
  Area& a = s->area;
  a.left = f * 27 / 5;
  a.right = width - ((options & LM_AXES_COLOUR_BAR) ? f * 8 : f * 8 / 5);
  a.top = f * 13 / 5;
  a.bottom = height - f * 17 / 5;
  if (a.right - a.left < 10 || a.bottom - a.top < 10) return 0;

  // The world: the plot area's edges at the axes' ends, over the whole area.
  LmSetViewport(0, 0, 0, 0);
  const double tx1 = transformed(s->x, x1), tx2 = transformed(s->x, x2);
  const double ty1 = transformed(s->y, y1), ty2 = transformed(s->y, y2);
  const double sx = (a.right - a.left) / (tx2 - tx1);
  const double sy = (a.bottom - a.top) / (ty2 - ty1);
  const double wx1 = tx1 - a.left / sx;
  const double wy1 = ty1 - (height - a.bottom) / sy;
  LmSetWorld(static_cast<float>(wx1), static_cast<float>(wy1), static_cast<float>(wx1 + width / sx),
             static_cast<float>(wy1 + height / sy));
  LmGetWorld(&s->world[0], &s->world[1], &s->world[2], &s->world[3]);
  s->view = v;
  s->has_axes = true;

  s->legend_count = 0;
  s->has_last = false;

  Saved saved;
  save_settings(w, &saved);
  Ticks tx, ty;
  axis_ticks(s, &tx, &ty);
  if (options & LM_AXES_GRID) grid_lines(w, s, tx, ty);
  frame_and_ticks(w, s);
  double p = 0;
  for (int i = 0; i < tx.count; ++i) {
    if (to_x(s, tx.value[i], &p)) tick_label(w, round_px(p), a.bottom + f / 2, tx.value[i], tx.step, s->x.log, true, f);
  }
  int widest = 0;
  for (int i = 0; i < ty.count; ++i) {
    if (!to_y(s, ty.value[i], &p)) continue;
    const int wd = tick_label(w, a.left - f / 2, round_px(p), ty.value[i], ty.step, s->y.log, false, f);
    if (wd > widest) widest = wd;
  }
  s->ylabel_x = a.left - f / 2 - widest - f * 2 / 5;
  if (s->ylabel_x < f) s->ylabel_x = f;
  if (s->pending_labels) draw_labels(w, s);
  restore_settings(w, saved);
  return w;
}

bool ensure_axes(State* s, double xlo, double xhi, double ylo, double yhi, int options) {
  if (axes_ready(s)) return true;
  if (!s) return false;
  double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
  nice_range(xlo, xhi, (options & LM_AXES_LOGX) != 0, &x1, &x2);
  nice_range(ylo, yhi, (options & LM_AXES_LOGY) != 0, &y1, &y2);
  return make_axes(s, x1, x2, y1, y2, options) != 0;
}

}  // namespace plot
}  // namespace lumo

using namespace lumo::plot;

extern "C" {

int LmAxes(float x1, float x2, float y1, float y2, int options) {
  State* s = current_state();
  if (!s) return 0;
  const bool ok = finite_value(x1) && finite_value(x2) && finite_value(y1) && finite_value(y2) &&
                  x1 != x2 && y1 != y2 && !((options & LM_AXES_LOGX) && (x1 <= 0 || x2 <= 0)) &&
                  !((options & LM_AXES_LOGY) && (y1 <= 0 || y2 <= 0));
  if (!ok) {
    say("LmAxes: the ranges %g..%g and %g..%g cannot make axes%s", x1, x2, y1, y2,
        (options & (LM_AXES_LOGX | LM_AXES_LOGY)) ? " (a log axis needs values above 0)" : "");
    return 0;
  }
  return make_axes(s, x1, x2, y1, y2, options);
}

int LmLabels(const char* xlabel, const char* ylabel, const char* title) {
  State* s = current_state();
  if (!s) return 0;
  copy_label(s->xlabel, xlabel);
  copy_label(s->ylabel, ylabel);
  copy_label(s->title, title);
  s->pending_labels = true;
  const int w = current_window();
  if (axes_ready(s)) {
    Saved saved;
    save_settings(w, &saved);
    draw_labels(w, s);
    restore_settings(w, saved);
  }
  return w;
}

}  // extern "C"
