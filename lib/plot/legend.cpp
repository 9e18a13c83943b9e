// The legend: names kept with the look of the series they name, drawn as a
// box in a corner of the plot area.
#include <cstdio>

#include "include/lumo.h"
#include "lib/plot/plot.h"

namespace lumo {
namespace plot {

namespace {

int round_half(int a, int b) { return (a + b) / 2; }

// The sample of one entry in the box from x1 to x2 around the row's middle y.
void draw_sample(int w, const Look& l, int x1, int x2, int y, int f) {
  LmDevSetPen(w, l.pen_colour, l.pen_style, l.pen_width, LM_MODE_SMOOTH);
  switch (l.kind) {
    case kLine:
      LmDevLine(w, x1, y, x2, y);
      break;
    case kLinePoints:
      LmDevLine(w, x1, y, x2, y);
      [[fallthrough]];
    case kPoints:
      LmDevSetMarker(w, l.marker_type, l.marker_size, l.marker_colour1, l.marker_colour2, LM_KEEP);
      LmDevMarker(w, round_half(x1, x2), y);
      break;
    case kBars:
      LmDevSetBrush(w, l.brush_colour, l.brush_style, l.brush_hatch);
      LmDevRect(w, x1, y - f * 2 / 5, x2, y + f * 2 / 5);
      break;
    default: {  // error bars
      const int x = round_half(x1, x2);
      const int cap = f / 3;
      LmDevLine(w, x, y - f / 2, x, y + f / 2);
      LmDevLine(w, x - cap, y - f / 2, x + cap, y - f / 2);
      LmDevLine(w, x - cap, y + f / 2, x + cap, y + f / 2);
    }
  }
}

}  // namespace

}  // namespace plot
}  // namespace lumo

using namespace lumo::plot;

extern "C" {

int LmLegend(const char* name) {
  State* s = current_state();
  if (!s || !name || !s->has_last || !axes_ready(s)) return 0;
  if (s->legend_count >= kMaxLegend) {
    say("LmLegend: \"%s\" refused: a legend holds at most %d names", name, kMaxLegend);
    return 0;
  }
  std::snprintf(s->legend_name[s->legend_count], kNameSize, "%s", name);
  s->legend_look[s->legend_count] = s->last;
  return ++s->legend_count;
}

int LmShowLegend(int corner) {
  State* s = current_state();
  if (!s || corner < LM_TOP_LEFT || corner > LM_BOTTOM_RIGHT || !axes_ready(s) || s->legend_count < 1) {
    return 0;
  }
  const int w = current_window();
  Saved saved;
  save_settings(w, &saved);
  const int f = s->font_px;
  text_font(w, f, 0, (LM_ALIGN_LEFT + LM_ALIGN_MIDDLE), 0);
  int widest = 0;
  for (int i = 0; i < s->legend_count; ++i) {
    const int wd = text_width(w, s->legend_name[i]);
    if (wd > widest) widest = wd;
  }
  const int pad = f * 3 / 5, row = f * 3 / 2, sample = f * 2;
  const int bw = pad + sample + pad + widest + pad;
  const int bh = pad * 2 + row * s->legend_count - (row - f);
  const Area& a = s->area;
  const bool left = corner == LM_TOP_LEFT || corner == LM_BOTTOM_LEFT;
  const bool top = corner == LM_TOP_LEFT || corner == LM_TOP_RIGHT;
  const int x0 = left ? a.left + pad : a.right - pad - bw;
  const int y0 = top ? a.top + pad : a.bottom - pad - bh;
  smooth_pen(w, rgb(160, 160, 160), LM_PEN_SOLID, 1);
  LmDevSetBrush(w, LM_WHITE, LM_BRUSH_SOLID, LM_KEEP);
  LmDevRect(w, x0, y0, x0 + bw, y0 + bh);
  for (int i = 0; i < s->legend_count; ++i) {
    const int y = y0 + pad + f / 2 + i * row;
    draw_sample(w, s->legend_look[i], x0 + pad, x0 + pad + sample, y, f);
    text_font(w, f, 0, (LM_ALIGN_LEFT + LM_ALIGN_MIDDLE), 0);
    LmDevText(w, x0 + pad * 2 + sample, y, s->legend_name[i]);
  }
  restore_settings(w, saved);
  return w;
}

}  // extern "C"
