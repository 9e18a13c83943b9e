// Rectangles, ellipses, arcs and point figures.

#include "include/lumo.h"
#include "lib/draw/coords.h"
#include "lib/draw/trig.h"
#include "lib/link/link.h"

using namespace lumo;
using namespace lumo::wire;

namespace {

constexpr float kTurn = 6.283184f;  // one turn in radians, as a float
constexpr int kMaxRectMode = 4;
constexpr int kArcStartX = kDataArea;
constexpr int kArcStartY = kDataArea + 4;
constexpr int kArcEndX = kDataArea + 8;
constexpr int kArcEndY = kDataArea + 12;

// Writes the two corners into words 240..252; false when w is not held.
bool put_corners(int w, int x1, int y1, int x2, int y2) {
  unsigned char* v = window_view(w);
  if (!v) return false;
  write_i32(v, kResult0, x1);
  write_i32(v, kResult1, y1);
  write_i32(v, kResult2, x2);
  write_i32(v, kResult3, y2);
  return true;
}

int dev_arc_figure(int code, int w, int x1, int y1, int x2, int y2, int sx, int sy, int ex,
                   int ey) {
  if (!put_corners(w, x1, y1, x2, y2)) return 0;
  unsigned char* v = window_view(w);
  write_i32(v, kArcStartX, sx);
  write_i32(v, kArcStartY, sy);
  write_i32(v, kArcEndX, ex);
  write_i32(v, kArcEndY, ey);
  return send_window_command1(w, kCmdDraw, code);
}

// The world-level arc figures: only the directions of the two radial points
// matter to the server; a radius of one unit length keeps them well away
// from the centre.
int arc_figure(int code, float x1, float y1, float x2, float y2, float start, float extent) {
  const unsigned char* v = g_link.current_view;
  if (!v) return 0;
  const Mapping m = mapping_of(v);
  const float cx = (x1 + x2) / 2;
  const float cy = (y1 + y2) / 2;
  const float ts = start * kTurn;
  const float te = (start + extent) * kTurn;
  const double r = read_i32(v, kUnit);
  double sin_s, cos_s, sin_e, cos_e;
  sin_cos(ts, &sin_s, &cos_s);
  sin_cos(te, &sin_e, &cos_e);
  SubPoint a, b, from, to;
  if (subpixel_mode(v) && subpixel_point(m, x1, y1, &a) && subpixel_point(m, x2, y2, &b) &&
      subpixel_point(m, cx + r * cos_s, cy + r * sin_s, &from) &&
      subpixel_point(m, cx + r * cos_e, cy + r * sin_e, &to)) {
    // Directions equal to the pixel are equal (a full turn stays one).
    if (subpixel_whole(from.x) == subpixel_whole(to.x) && subpixel_whole(from.y) == subpixel_whole(to.y)) {
      to = from;
    }
    return dev_arc_figure(code | kDrawSubpixel, g_link.current_window, a.x, a.y, b.x, b.y, from.x,
                          from.y, to.x, to.y);
  }
  return dev_arc_figure(code, g_link.current_window, map_x(m, x1), map_y(m, y1), map_x(m, x2),
                        map_y(m, y2), map_x(m, cx + r * cos_s), map_y(m, cy + r * sin_s),
                        map_x(m, cx + r * cos_e), map_y(m, cy + r * sin_e));
}

// A marker at (x, y) through m in window w.
int marker_at(int w, const Mapping& m, double x, double y) {
  unsigned char* v = window_view(w);
  if (!v) return 0;
  SubPoint p;
  if (subpixel_mode(v) && subpixel_point(m, x, y, &p)) {
    write_i32(v, kResult1, p.x);
    write_i32(v, kResult2, p.y);
    return send_window_command1(w, kCmdDraw, kDrawMarker | kDrawSubpixel);
  }
  return LmDevMarker(w, map_x(m, x), map_y(m, y));
}

struct Corners {
  int x1, y1, x2, y2;
};

bool corners(float x1, float y1, float x2, float y2, Corners* out) {
  const unsigned char* v = g_link.current_view;
  if (!v) return false;
  const Mapping m = mapping_of(v);
  *out = {map_x(m, x1), map_y(m, y1), map_x(m, x2), map_y(m, y2)};
  return true;
}

}  // namespace

namespace lumo {

int device_marker(int w, double x, double y) { return marker_at(w, device_mapping(), x, y); }

}  // namespace lumo

extern "C" {

int LmDevRect(int w, int x1, int y1, int x2, int y2) {
  if (!put_corners(w, x1, y1, x2, y2)) return 0;
  return send_window_command1(w, kCmdDraw, kDrawRect);
}

int LmDevRectEx(int w, int x1, int y1, int x2, int y2, int k) {
  if (!put_corners(w, x1, y1, x2, y2)) return 0;
  return send_window_command2(w, kCmdDraw, kDrawRectEx, k);
}

int LmDevRoundRect(int w, int x1, int y1, int x2, int y2, int cw, int ch) {
  if (!put_corners(w, x1, y1, x2, y2)) return 0;
  return send_window_command3(w, kCmdDraw, kDrawRoundRect, cw, ch);
}

int LmDevEllipse(int w, int x1, int y1, int x2, int y2) {
  if (!put_corners(w, x1, y1, x2, y2)) return 0;
  return send_window_command1(w, kCmdDraw, kDrawEllipse);
}

int LmDevArc(int w, int x1, int y1, int x2, int y2, int sx, int sy, int ex, int ey) {
  return dev_arc_figure(kDrawArc, w, x1, y1, x2, y2, sx, sy, ex, ey);
}

int LmDevChord(int w, int x1, int y1, int x2, int y2, int sx, int sy, int ex, int ey) {
  return dev_arc_figure(kDrawChord, w, x1, y1, x2, y2, sx, sy, ex, ey);
}

int LmDevPie(int w, int x1, int y1, int x2, int y2, int sx, int sy, int ex, int ey) {
  return dev_arc_figure(kDrawPie, w, x1, y1, x2, y2, sx, sy, ex, ey);
}

int LmDevRectMode(int w, int x1, int y1, int x2, int y2, int mode) {
  if (!put_corners(w, x1, y1, x2, y2)) return 0;
  if (mode < 0 || mode > kMaxRectMode) mode = 0;
  return send_window_command2(w, kCmdDraw, kDrawRectMode, mode);
}

int LmDevMarker(int w, int x, int y) {
  unsigned char* v = window_view(w);
  if (!v) return 0;
  write_i32(v, kResult1, x);
  write_i32(v, kResult2, y);
  return send_window_command1(w, kCmdDraw, kDrawMarker);
}

int LmDevPointOp(int w, int x, int y) {
  return send_window_command3(w, kCmdDraw, kDrawPointOp, x, y);
}

int LmRect(float x1, float y1, float x2, float y2) {
  Corners c;
  return corners(x1, y1, x2, y2, &c) ? LmDevRect(g_link.current_window, c.x1, c.y1, c.x2, c.y2)
                                     : 0;
}

int LmRectEx(float x1, float y1, float x2, float y2, int k) {
  Corners c;
  return corners(x1, y1, x2, y2, &c)
             ? LmDevRectEx(g_link.current_window, c.x1, c.y1, c.x2, c.y2, k)
             : 0;
}

int LmRoundRect(float x1, float y1, float x2, float y2, float cw, float ch) {
  Corners c;
  if (!corners(x1, y1, x2, y2, &c)) return 0;
  const Mapping m = mapping_of(g_link.current_view);
  return LmDevRoundRect(g_link.current_window, c.x1, c.y1, c.x2, c.y2, map_lx(m, cw),
                        map_ly(m, ch));
}

int LmEllipse(float x1, float y1, float x2, float y2) {
  const unsigned char* v = g_link.current_view;
  SubPoint a, b;
  if (v && subpixel_mode(v)) {
    const Mapping m = mapping_of(v);
    if (subpixel_point(m, x1, y1, &a) && subpixel_point(m, x2, y2, &b)) {
      const int w = g_link.current_window;
      put_corners(w, a.x, a.y, b.x, b.y);
      return send_window_command1(w, kCmdDraw, kDrawEllipse | kDrawSubpixel);
    }
  }
  Corners c;
  return corners(x1, y1, x2, y2, &c)
             ? LmDevEllipse(g_link.current_window, c.x1, c.y1, c.x2, c.y2)
             : 0;
}

int LmArc(float x1, float y1, float x2, float y2, float start, float extent) {
  return arc_figure(kDrawArc, x1, y1, x2, y2, start, extent);
}

int LmChord(float x1, float y1, float x2, float y2, float start, float extent) {
  return arc_figure(kDrawChord, x1, y1, x2, y2, start, extent);
}

int LmPie(float x1, float y1, float x2, float y2, float start, float extent) {
  return arc_figure(kDrawPie, x1, y1, x2, y2, start, extent);
}

int LmRectMode(float x1, float y1, float x2, float y2, int mode) {
  Corners c;
  return corners(x1, y1, x2, y2, &c)
             ? LmDevRectMode(g_link.current_window, c.x1, c.y1, c.x2, c.y2, mode)
             : 0;
}

int LmMarker(float x, float y) {
  const unsigned char* v = g_link.current_view;
  return v ? marker_at(g_link.current_window, mapping_of(v), x, y) : 0;
}

int LmPointOp(float x, float y) { return at_device_point(x, y, LmDevPointOp); }

}  // extern "C"
