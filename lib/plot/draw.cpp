// Small drawing helpers of the plotting layer: settings saved and put back,
// the smooth pen, fonts, series polylines and text widths.
#include <cstdarg>
#include <cstdio>

#include "include/lumo.h"
#include "lib/draw/coords.h"
#include "lib/link/link.h"
#include "lib/plot/plot.h"

namespace lumo {
namespace plot {

void save_settings(int w, Saved* s) {
  LmGetPen(&s->pen[0], &s->pen[1], &s->pen[2], &s->pen[3]);
  LmGetBrush(&s->brush[0], &s->brush[1], &s->brush[2]);
  LmDevGetMarker(w, &s->marker[0], &s->marker[1], &s->marker[2], &s->marker[3], &s->marker[4]);
  const unsigned char* v = window_view(w);
  const int fields[5] = {wire::kTextHeight, wire::kTextAngle, wire::kTextAlign, wire::kTextColour,
                         wire::kTextParam};
  for (int i = 0; i < 5; ++i) s->font[i] = v ? read_i32(v, fields[i]) : -1;
}

void restore_settings(int w, const Saved& s) {
  LmDevSetPen(w, s.pen[0], s.pen[1], s.pen[2], s.pen[3]);
  LmDevSetBrush(w, s.brush[0], s.brush[1], s.brush[2]);
  LmDevSetMarker(w, s.marker[0], s.marker[1], s.marker[2], s.marker[3], s.marker[4]);
  LmDevSetFont(w, s.font[0], s.font[1], s.font[2], s.font[3], s.font[4], nullptr);
}

Look current_look(int w, int kind) {
  Look l{};
  l.kind = kind;
  int mode = 0;
  LmGetPen(&l.pen_colour, &l.pen_style, &l.pen_width, &mode);
  LmDevGetMarker(w, &l.marker_type, &l.marker_size, &l.marker_colour1, &l.marker_colour2, &mode);
  LmGetBrush(&l.brush_colour, &l.brush_style, &l.brush_hatch);
  return l;
}

void smooth_pen(int w, int colour, int style, int width) {
  LmDevSetPen(w, colour, style, width, LM_MODE_SMOOTH);
}

void text_font(int w, int px, int tenths, int alignment, int weight) {
  LmDevSetFont(w, px, tenths, alignment, LM_BLACK, weight, nullptr);
}

int rgb(int r, int g, int b) { return LmRgb(r, g, b); }

void series_polyline(int w, const double* xy, int n) {
  if (n == 1) {
    device_line(w, xy[0], xy[1], xy[0], xy[1]);
  } else if (n > 1) {
    device_polyline(w, xy, n);
  }
}

int text_width(int w, const char* text) {
  int e1 = 0, e2 = 0, e3 = 0, e4 = 0;
  if (LmDevTextExtent(w, &e1, &e2, &e3, &e4, text) <= 0) return 0;
  return e1;
}

void say(const char* format, ...) {
  char line[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  std::fprintf(stderr, "%s\n", line);
  std::fflush(stderr);
}

}  // namespace plot
}  // namespace lumo
