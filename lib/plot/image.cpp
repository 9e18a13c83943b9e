// Fields of values as coloured cells, and the colour bar that reads them.

#include "include/lumo.h"
#include "lib/plot/plot.h"
#include "lib/plot/plotmath.h"

namespace lumo {
namespace plot {

namespace {

constexpr int kLevels = 255;  // shades of a map: runs of equal cells become one rectangle
constexpr int kBarSlices = 128;

int px(double v) { return static_cast<int>(floor_of(v + 0.5)); }

int shade(int map, double v, double vmin, double vmax) {
  double t = (v - vmin) / (vmax - vmin);
  t = floor_of((t < 0 ? 0 : t > 1 ? 1 : t) * kLevels + 0.5) / kLevels;
  int r = 0, g = 0, b = 0;
  map_colour(map, t, &r, &g, &b);
  return rgb(r, g, b);
}

}  // namespace

}  // namespace plot
}  // namespace lumo

using namespace lumo::plot;

extern "C" {

int LmImage(int nx, int ny, const float* values, float vmin, float vmax, int map) {
  State* s = current_state();
  if (!s || nx < 1 || ny < 1 || !values || !(vmin < vmax) || !known_map(map)) return 0;
  if (!axes_ready(s) && !make_axes(s, 0, nx, 0, ny, LM_AXES_COLOUR_BAR)) return 0;
  const int w = current_window();
  Saved saved;
  save_settings(w, &saved);
  LmDevSetPen(w, LM_KEEP, LM_PEN_INVISIBLE, LM_KEEP, LM_MODE_SMOOTH);
  const double dx = (s->x.hi - s->x.lo) / nx, dy = (s->y.hi - s->y.lo) / ny;
  int drawn = 0, left_out = 0;
  for (int j = 0; j < ny; ++j) {
    double y1 = 0, y2 = 0;
    if (!to_y(s, s->y.lo + j * dy, &y1) || !to_y(s, s->y.lo + (j + 1) * dy, &y2)) {
      left_out += nx;
      continue;
    }
    int i = 0;
    while (i < nx) {
      const double v = values[static_cast<long>(j) * nx + i];
      if (!finite_value(v)) {
        ++left_out;
        ++i;
        continue;
      }
      const int colour = shade(map, v, vmin, vmax);
      int end = i + 1;  // a run of cells of the same colour
      while (end < nx && finite_value(values[static_cast<long>(j) * nx + end]) &&
             shade(map, values[static_cast<long>(j) * nx + end], vmin, vmax) == colour) {
        ++end;
      }
      double x1 = 0, x2 = 0;
      if (to_x(s, s->x.lo + i * dx, &x1) && to_x(s, s->x.lo + end * dx, &x2)) {
        LmDevSetBrush(w, colour, LM_BRUSH_SOLID, LM_KEEP);
        LmDevRect(w, px(x1), px(y2), px(x2), px(y1));
        drawn += end - i;
      } else {
        left_out += end - i;
      }
      i = end;
    }
  }
  frame_and_ticks(w, s);
  restore_settings(w, saved);
  if (left_out > 0) say("LmImage: %d of %d cells left out (not a number, or off a log axis)", left_out, nx * ny);
  return drawn;
}

int LmColourBar(float vmin, float vmax, int map, const char* label) {
  State* s = current_state();
  if (!s || !(vmin < vmax) || !known_map(map)) return 0;
  if (!axes_ready(s) || !(s->options & LM_AXES_COLOUR_BAR)) {
    say("LmColourBar: no room for a colour bar: make the axes with LM_AXES_COLOUR_BAR (LmImage does)");
    return 0;
  }
  const int w = current_window();
  Saved saved;
  save_settings(w, &saved);
  const int f = s->font_px;
  const Area& a = s->area;
  const int x1 = a.right + f * 6 / 5, x2 = x1 + f * 6 / 5;
  const int height = a.bottom - a.top;
  LmDevSetPen(w, LM_KEEP, LM_PEN_INVISIBLE, LM_KEEP, LM_MODE_SMOOTH);
  for (int k = 0; k < kBarSlices; ++k) {
    const int top = a.bottom - height * (k + 1) / kBarSlices;
    const int bottom = a.bottom - height * k / kBarSlices;
    int r = 0, g = 0, b = 0;
    map_colour(map, (k + 0.5) / kBarSlices, &r, &g, &b);
    LmDevSetBrush(w, rgb(r, g, b), LM_BRUSH_SOLID, LM_KEEP);
    LmDevRect(w, x1, top, x2, bottom);
  }
  smooth_pen(w, LM_BLACK, LM_PEN_SOLID, 1);
  const int frame[10] = {x1, a.top, x2, a.top, x2, a.bottom, x1, a.bottom, x1, a.top};
  LmDevPolyline(w, frame, 5);
  Ticks t;
  choose_ticks(vmin, vmax, false, &t);
  text_font(w, f, 0, (LM_ALIGN_LEFT + LM_ALIGN_MIDDLE), 0);
  int widest = 0;
  for (int i = 0; i < t.count; ++i) {
    const int y = px(a.bottom - (t.value[i] - vmin) / (static_cast<double>(vmax) - vmin) * height);
    LmDevLine(w, x2 - f / 3, y, x2, y);
    char text[48];
    int exponent = 0;
    format_tick(t.value[i], t.step, false, text, sizeof text, &exponent);
    LmDevText(w, x2 + f / 3, y, text);
    const int wd = text_width(w, text);
    if (wd > widest) widest = wd;
  }
  if (label && label[0]) {
    text_font(w, f, 900, (LM_ALIGN_CENTRE + LM_ALIGN_TOP), 0);
    LmDevText(w, x2 + f / 3 + widest + f / 3, (a.top + a.bottom) / 2, label);
  }
  restore_settings(w, saved);
  return w;
}

}  // extern "C"
