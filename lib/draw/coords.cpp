// The coordinate system of a window: world rectangle, viewport, conversions,
// the current position and lines.
#include "lib/draw/coords.h"

#include <cmath>

#include "include/lumo.h"
#include "lib/link/link.h"

namespace lumo {

using namespace wire;

Mapping mapping_of(const unsigned char* view) {
  Mapping m;
  m.pixel_mode = read_i32(view, kPixelMode) != 0;
  m.sx = read_f32(view, kScaleX);
  m.sy = read_f32(view, kScaleY);
  m.wx1 = read_f32(view, kWorldX1);
  m.wy1 = read_f32(view, kWorldY1);
  m.wx2 = read_f32(view, kWorldX2);
  m.wy2 = read_f32(view, kWorldY2);
  m.ox = read_i32(view, kOriginX);
  m.oy = read_i32(view, kOriginY);
  return m;
}

int32_t to_int32(double v) {
  if (std::isnan(v)) return 0;
  if (v >= 2147483647.0) return INT32_MAX;
  if (v <= -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(v);
}

int32_t map_x(const Mapping& m, double x) {
  return to_int32(m.pixel_mode ? x + 0.5 : m.ox + (x - m.wx1) * m.sx + 0.5);
}

int32_t map_y(const Mapping& m, double y) {
  return to_int32(m.pixel_mode ? y + 0.5 : m.oy - (y - m.wy1) * m.sy + 0.5);
}

int32_t map_lx(const Mapping& m, double w) {
  return to_int32(m.pixel_mode ? w + 0.5 : w * std::fabs(m.sx) + 0.5);
}

int32_t map_ly(const Mapping& m, double h) {
  return to_int32(m.pixel_mode ? h + 0.5 : h * std::fabs(m.sy) + 0.5);
}

namespace {

// A device coordinate `exact` whose whole pixel is `whole`, in sub-pixel
// units: the whole pixel scaled, plus the offset from it (at most half a
// pixel either way, so the whole pixel comes back from the value).
int32_t subpixel_of(double exact, int32_t whole, bool* ok) {
  if (!(exact == exact) || whole <= -kSubpixelReach || whole >= kSubpixelReach) {
    *ok = false;
    return 0;
  }
  // Rounded half away from zero without the maths library (a C program
  // links the kit with no -lm); the value is within a pixel or two.
  const double scaled = (exact - whole) * kSubpixelScale;
  const double offset = scaled < 0 ? -static_cast<double>(static_cast<int64_t>(0.5 - scaled))
                                   : static_cast<double>(static_cast<int64_t>(scaled + 0.5));
  const double half = kSubpixelScale / 2;
  const int32_t f = static_cast<int32_t>(offset < -half ? -half : offset > half - 1 ? half - 1 : offset);
  return whole * kSubpixelScale + f;
}

}  // namespace

bool subpixel_mode(const unsigned char* view) {
  return view && read_i32(view, kPenMode) == kSubpixelPenMode;
}

int32_t subpixel_x(const Mapping& m, double x, bool* ok) {
  return subpixel_of(m.pixel_mode ? x : m.ox + (x - m.wx1) * m.sx, map_x(m, x), ok);
}

int32_t subpixel_y(const Mapping& m, double y, bool* ok) {
  return subpixel_of(m.pixel_mode ? y : m.oy - (y - m.wy1) * m.sy, map_y(m, y), ok);
}

bool subpixel_point(const Mapping& m, double x, double y, SubPoint* out) {
  bool ok = true;
  out->x = subpixel_x(m, x, &ok);
  out->y = subpixel_y(m, y, &ok);
  return ok;
}

double unmap_x(const Mapping& m, double px) {
  return m.pixel_mode ? px : (px - m.ox) / m.sx + m.wx1;
}

double unmap_y(const Mapping& m, double py) {
  return m.pixel_mode ? py : m.wy1 - (py - m.oy) / m.sy;
}

double unmap_lx(const Mapping& m, double v) { return m.pixel_mode ? v : v / std::fabs(m.sx); }

double unmap_ly(const Mapping& m, double v) { return m.pixel_mode ? v : v / std::fabs(m.sy); }

void store_position(int32_t window, int32_t x, int32_t y) {
  if (unsigned char* view = window_view(window)) {
    write_i32(view, kPosX, x);
    write_i32(view, kPosY, y);
  }
}

bool has_position(const unsigned char* view) {
  return is_position(read_i32(view, kPosX), read_i32(view, kPosY));
}

int at_device_point(float x, float y, int (*op)(int window, int x, int y)) {
  const unsigned char* v = g_link.current_view;
  if (!v) return 0;
  const Mapping m = mapping_of(v);
  return op(g_link.current_window, map_x(m, x), map_y(m, y));
}

namespace {

// sx and sy from the viewport, the unit and the world rectangle.
void update_scales(unsigned char* v) {
  if (read_i32(v, kPixelMode) != 0) {
    write_f32(v, kScaleX, 0.0f);
    write_f32(v, kScaleY, 0.0f);
    return;
  }
  const double unit = read_i32(v, kUnit);
  const double vw = static_cast<double>(read_f32(v, kViewX2)) - read_f32(v, kViewX1);
  const double vh = static_cast<double>(read_f32(v, kViewY2)) - read_f32(v, kViewY1);
  const double ww = static_cast<double>(read_f32(v, kWorldX2)) - read_f32(v, kWorldX1);
  const double wh = static_cast<double>(read_f32(v, kWorldY2)) - read_f32(v, kWorldY1);
  write_f32(v, kScaleX, static_cast<float>(vw * unit / ww));
  write_f32(v, kScaleY, static_cast<float>(vh * unit / wh));
}

void copy_field(const unsigned char* v, int offset, float* out) {
  if (out) *out = read_f32(v, offset);
}

// The sub-pixel current position the server holds for each window, beside
// the whole-pixel one of its block: it holds while the block's position is
// still the pixel it was recorded with.
struct SubpixelPosition {
  SubPoint at;
  int32_t whole_x, whole_y;
  bool set;
};
SubpixelPosition g_subpixel_positions[kWindowSlots];

SubpixelPosition* subpixel_position(int w) {
  return w >= kFirstWindow && w <= kLastWindow ? &g_subpixel_positions[w] : nullptr;
}

bool subpixel_position_is(int w, const unsigned char* v, SubPoint p) {
  const SubpixelPosition* s = subpixel_position(w);
  return s && s->set && s->at.x == p.x && s->at.y == p.y && s->whole_x == read_i32(v, kPosX) &&
         s->whole_y == read_i32(v, kPosY);
}

// The server's position lies between pixels.
bool between_pixels(int w, const unsigned char* v) {
  const SubpixelPosition* s = subpixel_position(w);
  return s && s->set && s->whole_x == read_i32(v, kPosX) && s->whole_y == read_i32(v, kPosY) &&
         ((s->at.x | s->at.y) & (kSubpixelScale - 1)) != 0;
}

void forget_subpixel_position(int w) {
  if (SubpixelPosition* s = subpixel_position(w)) s->set = false;
}

void remember_subpixel_position(int w, SubPoint p) {
  if (SubpixelPosition* s = subpixel_position(w)) {
    *s = {p, subpixel_whole(p.x), subpixel_whole(p.y), true};
  }
}

// A move or line-to in the sub-pixel form; the block keeps the whole pixel.
int subpixel_step(int w, int32_t code, SubPoint p) {
  const int32_t r = send_window_command3(w, kCmdDraw, code | kDrawSubpixel, p.x, p.y);
  if (r != 0) {
    store_position(w, subpixel_whole(p.x), subpixel_whole(p.y));
    remember_subpixel_position(w, p);
  }
  return r;
}

int subpixel_move(int w, SubPoint p) {
  const unsigned char* v = window_view(w);
  if (!v) return 0;
  if (subpixel_position_is(w, v, p)) return w;
  return subpixel_step(w, kDrawMove, p);
}

int subpixel_line_to(int w, SubPoint p) {
  const unsigned char* v = window_view(w);
  if (!v) return 0;
  return subpixel_step(w, has_position(v) ? kDrawLine : kDrawMove, p);
}

// A line from (x1, y1) to (x2, y2) through m in window w (block v).
int line_at(int w, const unsigned char* v, const Mapping& m, double x1, double y1, double x2, double y2) {
  SubPoint a, b;
  if (subpixel_mode(v) && subpixel_point(m, x1, y1, &a) && subpixel_point(m, x2, y2, &b)) {
    if (subpixel_move(w, a) == 0) return 0;
    return subpixel_line_to(w, b);
  }
  return LmDevLine(w, map_x(m, x1), map_y(m, y1), map_x(m, x2), map_y(m, y2));
}

}  // namespace

Mapping device_mapping() {
  Mapping m{};
  m.pixel_mode = true;
  return m;
}

int device_line(int w, double x1, double y1, double x2, double y2) {
  const unsigned char* v = window_view(w);
  return v ? line_at(w, v, device_mapping(), x1, y1, x2, y2) : 0;
}

}  // namespace lumo

using namespace lumo;
using namespace lumo::wire;

extern "C" {

int LmSetWorld(float x1, float y1, float x2, float y2) {
  unsigned char* v = g_link.current_view;
  if (!v) return 0;
  if (x1 == x2 && y1 == y2) {
    int w = 0;
    int h = 0;
    LmMetric(1, &w, &h);
    v = g_link.current_view;
    if (!v) return 0;
    write_f32(v, kWorldX1, 0.0f);
    write_f32(v, kWorldY1, 0.0f);
    write_f32(v, kWorldX2, static_cast<float>(w - 1));
    write_f32(v, kWorldY2, static_cast<float>(h - 1));
    write_f32(v, kScaleX, 0.0f);
    write_f32(v, kScaleY, 0.0f);
    write_i32(v, kPixelMode, 1);
  } else {
    const double vw = static_cast<double>(read_f32(v, kViewX2)) - read_f32(v, kViewX1);
    const double vh = static_cast<double>(read_f32(v, kViewY2)) - read_f32(v, kViewY1);
    if (x1 == x2) {
      // Equal scales: the width follows from the height, x1 is the centre.
      const double half = vw * ((static_cast<double>(y2) - y1) / vh) / 2;
      x2 = static_cast<float>(x1 + half);
      x1 = static_cast<float>(x1 - half);
    } else if (y1 == y2) {
      const double half = vh * ((static_cast<double>(x2) - x1) / vw) / 2;
      y2 = static_cast<float>(y1 + half);
      y1 = static_cast<float>(y1 - half);
    }
    write_f32(v, kWorldX1, x1);
    write_f32(v, kWorldY1, y1);
    write_f32(v, kWorldX2, x2);
    write_f32(v, kWorldY2, y2);
    write_i32(v, kPixelMode, 0);
    update_scales(v);
  }
  send_window_command1(g_link.current_window, kCmdRequest, kRequestWorld);
  return g_link.current_window;
}

int LmGetWorld(float* x1, float* y1, float* x2, float* y2) {
  const unsigned char* v = g_link.current_view;
  if (!v) return 0;
  copy_field(v, kWorldX1, x1);
  copy_field(v, kWorldY1, y1);
  copy_field(v, kWorldX2, x2);
  copy_field(v, kWorldY2, y2);
  return g_link.current_window;
}

int LmSetViewport(float vx1, float vy1, float vx2, float vy2) {
  unsigned char* v = g_link.current_view;
  if (!v) return 0;
  if ((vy2 - vy1) * (vx2 - vx1) == 0) {
    // An empty viewport means the whole drawing area.
    int32_t width = read_i32(v, kAreaWidth);
    int32_t height = read_i32(v, kAreaHeight);
    if (width < 1) width = 1;
    if (height < 1) height = 1;
    vx1 = 0;
    vy1 = 0;
    if (height < width) {
      vx2 = static_cast<float>(width) / static_cast<float>(height);
      vy2 = 1;
      write_i32(v, kUnit, height);
    } else {
      vx2 = 1;
      vy2 = static_cast<float>(height) / static_cast<float>(width);
      write_i32(v, kUnit, width);
    }
  }
  write_f32(v, kViewX1, vx1);
  write_f32(v, kViewY1, vy1);
  write_f32(v, kViewX2, vx2);
  write_f32(v, kViewY2, vy2);
  update_scales(v);
  send_window_command1(g_link.current_window, kCmdRequest, kRequestViewport);
  return g_link.current_window;
}

int LmSetViewportToRect(float x1, float y1, float x2, float y2) {
  const unsigned char* v = g_link.current_view;
  if (!v) return 0;
  const Mapping m = mapping_of(v);
  const float unit = static_cast<float>(read_i32(v, kUnit));
  const float height = static_cast<float>(read_i32(v, kAreaHeight));
  if (unit == 0) return 0;
  return LmSetViewport(static_cast<float>(map_x(m, x1)) / unit,
                       (height - static_cast<float>(map_y(m, y1))) / unit,
                       static_cast<float>(map_x(m, x2)) / unit,
                       (height - static_cast<float>(map_y(m, y2))) / unit);
}

int LmGetViewport(float* vx1, float* vy1, float* vx2, float* vy2) {
  const unsigned char* v = g_link.current_view;
  if (!v) return 0;
  copy_field(v, kViewX1, vx1);
  copy_field(v, kViewY1, vy1);
  copy_field(v, kViewX2, vx2);
  copy_field(v, kViewY2, vy2);
  return g_link.current_window;
}

int LmWorldToDevice(float x, float y, int* ix, int* iy) {
  const unsigned char* v = g_link.current_view;
  if (!v) return 0;
  const Mapping m = mapping_of(v);
  if (ix) *ix = map_x(m, x);
  if (iy) *iy = map_y(m, y);
  return g_link.current_window;
}

int LmWorldToDeviceSize(float w, float h, int* iw, int* ih) {
  const unsigned char* v = g_link.current_view;
  if (!v) return 0;
  const Mapping m = mapping_of(v);
  if (iw) *iw = map_lx(m, w);
  if (ih) *ih = map_ly(m, h);
  return g_link.current_window;
}

int LmGetPosition(float* x, float* y) {
  const unsigned char* v = g_link.current_view;
  if (!v || !has_position(v)) return 0;
  const Mapping m = mapping_of(v);
  if (x) *x = static_cast<float>(unmap_x(m, read_i32(v, kPosX)));
  if (y) *y = static_cast<float>(unmap_y(m, read_i32(v, kPosY)));
  return g_link.current_window;
}

int LmMoveTo(float x, float y) {
  const unsigned char* v = g_link.current_view;
  if (!v) return 0;
  const Mapping m = mapping_of(v);
  SubPoint p;
  if (subpixel_mode(v) && subpixel_point(m, x, y, &p)) return subpixel_move(g_link.current_window, p);
  return LmDevMoveTo(g_link.current_window, map_x(m, x), map_y(m, y));
}

int LmLineTo(float x, float y) {
  const unsigned char* v = g_link.current_view;
  if (!v) return 0;
  const Mapping m = mapping_of(v);
  SubPoint p;
  if (subpixel_mode(v) && subpixel_point(m, x, y, &p)) return subpixel_line_to(g_link.current_window, p);
  return LmDevLineTo(g_link.current_window, map_x(m, x), map_y(m, y));
}

int LmLine(float x1, float y1, float x2, float y2) {
  const unsigned char* v = g_link.current_view;
  if (!v) return 0;
  return line_at(g_link.current_window, v, mapping_of(v), x1, y1, x2, y2);
}

int LmDevMoveTo(int w, int x, int y) {
  const unsigned char* v = window_view(w);
  if (!v) return 0;
  // A position between pixels is moved onto the pixel even when the pixel
  // is the same.
  if (x == read_i32(v, kPosX) && y == read_i32(v, kPosY) && !between_pixels(w, v)) return w;
  const int32_t r = send_window_command3(w, kCmdDraw, kDrawMove, x, y);
  if (r != 0) store_position(w, x, y);
  forget_subpixel_position(w);
  return r;
}

int LmDevLineTo(int w, int x, int y) {
  const unsigned char* v = window_view(w);
  if (!v) return 0;
  const int32_t code = has_position(v) ? kDrawLine : kDrawMove;
  const int32_t r = send_window_command3(w, kCmdDraw, code, x, y);
  if (r != 0) store_position(w, x, y);
  forget_subpixel_position(w);
  return r;
}

int LmDevLine(int w, int x1, int y1, int x2, int y2) {
  const unsigned char* v = window_view(w);
  if (!v) return 0;
  if (x1 != read_i32(v, kPosX) || y1 != read_i32(v, kPosY)) LmDevMoveTo(w, x1, y1);
  return LmDevLineTo(w, x2, y2);
}

int LmDevGetPosition(int w, int* x, int* y) {
  const unsigned char* v = window_view(w);
  if (!v || !has_position(v)) return 0;
  if (x) *x = read_i32(v, kPosX);
  if (y) *y = read_i32(v, kPosY);
  return w;
}

}  // extern "C"
