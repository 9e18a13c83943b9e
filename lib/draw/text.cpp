// Text and symbols, their fonts, extents, and the server's message boxes.
#include <cmath>

#include "include/lumo.h"
#include "lib/draw/coords.h"
#include "lib/link/link.h"
#include "lib/link/messages.h"

using namespace lumo;
using namespace lumo::wire;

namespace {

constexpr int kMaxAngle = 3599;
constexpr int kFullAngle = 3600;
constexpr int kMaxAlign = 8;
constexpr int kDefaultHeightDivisor = 30;

struct FontFields {
  int angle, height, align, colour, param;
};
constexpr FontFields kTextFont = {kTextAngle, kTextHeight, kTextAlign, kTextColour, kTextParam};
constexpr FontFields kSymbolFont = {kSymbolAngle, kSymbolHeight, kSymbolAlign, kSymbolColour,
                                    kSymbolParam};

// Height and angle, shared by both fonts: returns how many changed.
int store_height_and_angle(unsigned char* v, const FontFields& f, int height, int angle) {
  int changed = 0;
  if (height == 0) height = read_i32(v, kAreaHeight) / kDefaultHeightDivisor;
  if (height > 0 && height != read_i32(v, f.height)) {
    write_i32(v, f.height, height);
    ++changed;
  }
  if (angle >= -kMaxAngle && angle <= kMaxAngle) {
    if (angle < 0) angle += kFullAngle;
    if (angle != read_i32(v, f.angle)) {
      write_i32(v, f.angle, angle);
      ++changed;
    }
  }
  return changed;
}

bool put_face(int w, const char* face) {
  put_window_text(w, face);
  return face && *face;
}

// The world-level font arguments in pixels and tenths of a degree.
void font_units(float height, float angle, int* pixels, int* tenths) {
  const Mapping m = mapping_of(g_link.current_view);
  *pixels = (std::isnan(height) || height < 0) ? -1 : map_ly(m, height);
  // An angle that is not a number is out of range: the angle is kept.
  *tenths = std::isnan(angle) ? kFullAngle : to_int32(angle * 3600.0f);
}

bool outside_widened(double a1, double a2, double p) {
  return (2 * a1 - a2 - p) * (2 * a2 - a1 - p) > 0;
}

// Puts the symbol `code` (or, when negative, the window's current one) in
// the data area; false when w is not held.
bool symbol_code(int w, int code) {
  unsigned char* v = window_view(w);
  if (!v) return false;
  if (code >= 0) {
    write_i32(v, kSymbolCode, code);
  } else {
    code = read_i32(v, kSymbolCode);
  }
  v[kDataArea] = static_cast<unsigned char>(code & 0xFF);
  return true;
}

}  // namespace

extern "C" {

int LmDevSetFont(int w, int height, int angle, int alignment, int colour, int parameter,
                 const char* face) {
  unsigned char* v = window_view(w);
  if (!v) return 0;
  int count = store_height_and_angle(v, kTextFont, height, angle);
  if (alignment >= 0 && alignment <= kMaxAlign) write_i32(v, kTextAlign, alignment);
  if (colour != -1 && colour != read_i32(v, kTextColour)) {
    write_i32(v, kTextColour, colour);
    ++count;
  }
  if (parameter != -1) write_i32(v, kTextParam, parameter);
  if (put_face(w, face)) ++count;
  return send_window_command2(w, kCmdDraw, kDrawFont, count);
}

int LmDevSetSymbolFont(int w, int height, int angle, int alignment, int colour, int parameter,
                       const char* face) {
  unsigned char* v = window_view(w);
  if (!v) return 0;
  int count = store_height_and_angle(v, kSymbolFont, height, angle);
  int given = count;
  if (alignment >= 0 && alignment <= kMaxAlign) {
    write_i32(v, kSymbolAlign, alignment);
    ++given;
  }
  if (colour != -1) {
    ++given;
    if (colour != read_i32(v, kSymbolColour)) {
      write_i32(v, kSymbolColour, colour);
      ++count;
    }
  }
  if (parameter != -1) {
    write_i32(v, kSymbolParam, parameter);
    ++given;
  }
  if (put_face(w, face)) ++count;
  if (given == 0) return 0;
  return send_window_command2(w, kCmdDraw, kDrawSymbolFont, count);
}

int LmSetFont(float height, float angle, int alignment, int colour, int parameter,
              const char* face) {
  if (!g_link.current_view) return 0;
  int pixels = 0;
  int tenths = 0;
  font_units(height, angle, &pixels, &tenths);
  return LmDevSetFont(g_link.current_window, pixels, tenths, alignment, colour, parameter, face);
}

int LmSetSymbolFont(float height, float angle, int alignment, int colour, int parameter,
                    const char* face) {
  if (!g_link.current_view) return 0;
  int pixels = 0;
  int tenths = 0;
  font_units(height, angle, &pixels, &tenths);
  return LmDevSetSymbolFont(g_link.current_window, pixels, tenths, alignment, colour, parameter,
                            face);
}

int LmDevText(int w, int x, int y, const char* text) {
  if (!window_view(w)) return 0;
  put_window_text(w, text);
  return send_window_command3(w, kCmdDraw, kDrawText, x, y) != 0 ? w : 0;
}

int LmText(float x, float y, const char* text) {
  const unsigned char* v = g_link.current_view;
  if (!v) return 0;
  const Mapping m = mapping_of(v);
  int32_t dx = kFarAwayPosition;
  int32_t dy = kFarAwayPosition;
  if (!outside_widened(m.wx1, m.wx2, x) && !outside_widened(m.wy1, m.wy2, y)) {
    SubPoint p;
    if (subpixel_mode(v) && subpixel_point(m, x, y, &p)) {
      const int w = g_link.current_window;
      put_window_text(w, text);
      return send_window_command3(w, kCmdDraw, kDrawText | kDrawSubpixel, p.x, p.y) != 0 ? w : 0;
    }
    dx = map_x(m, x);
    dy = map_y(m, y);
  }
  return LmDevText(g_link.current_window, dx, dy, text);
}

int LmDevSymbol(int w, int x, int y, int code) {
  if (!symbol_code(w, code)) return 0;
  return send_window_command3(w, kCmdDraw, kDrawSymbol, x, y) != 0 ? w : 0;
}

int LmSymbol(float x, float y, int code) {
  const unsigned char* v = g_link.current_view;
  if (!v) return 0;
  const Mapping m = mapping_of(v);
  SubPoint p;
  if (subpixel_mode(v) && subpixel_point(m, x, y, &p)) {
    const int w = g_link.current_window;
    if (!symbol_code(w, code)) return 0;
    return send_window_command3(w, kCmdDraw, kDrawSymbol | kDrawSubpixel, p.x, p.y) != 0 ? w : 0;
  }
  return LmDevSymbol(g_link.current_window, map_x(m, x), map_y(m, y), code);
}

int LmDevTextExtent(int w, int* e1, int* e2, int* e3, int* e4, const char* text) {
  if (!window_view(w)) return 0;
  put_window_text(w, text);
  const int32_t r = send_window_command1(w, kCmdRequest, kRequestTextExtent);
  const unsigned char* v = window_view(w);
  if (r <= 0 || !v) return r;
  if (e1) *e1 = read_i32(v, kResult0);
  if (e2) *e2 = read_i32(v, kResult1);
  if (e3) *e3 = read_i32(v, kResult2);
  if (e4) *e4 = read_i32(v, kResult3);
  return w;
}

int LmTextExtent(float* e1, float* e2, float* e3, float* e4, const char* text) {
  int p1 = 0, p2 = 0, p3 = 0, p4 = 0;
  const int r = LmDevTextExtent(g_link.current_window, &p1, &p2, &p3, &p4, text);
  if (r <= 0 || !g_link.current_view) return r;
  const Mapping m = mapping_of(g_link.current_view);
  // Width, then height, ascent and descent: the last three are vertical.
  if (e1) *e1 = static_cast<float>(unmap_lx(m, p1));
  if (e2) *e2 = static_cast<float>(unmap_ly(m, p2));
  if (e3) *e3 = static_cast<float>(unmap_ly(m, p3));
  if (e4) *e4 = static_cast<float>(unmap_ly(m, p4));
  return r;
}

int LmDevGetExtent(int w, int* e1, int* e2, int code) {
  const int32_t r = send_window_command2(w, kCmdRequest, kRequestExtent, code);
  const unsigned char* v = window_view(w);
  if (r <= 0 || !v) return r;
  if (e1) *e1 = read_i32(v, kResult1);
  if (e2) *e2 = read_i32(v, kResult2);
  return w;
}

int LmGetExtent(float* e1, float* e2, int code) {
  int p1 = 0, p2 = 0;
  const int r = LmDevGetExtent(g_link.current_window, &p1, &p2, code);
  if (r <= 0 || !g_link.current_view) return r;
  const Mapping m = mapping_of(g_link.current_view);
  if (e1) *e1 = static_cast<float>(unmap_lx(m, p1));
  if (e2) *e2 = static_cast<float>(unmap_ly(m, p2));
  return r;
}

int LmDevMessage(int w, const char* text) {
  if (!window_view(w)) return 0;
  put_window_text(w, text);
  const int shown = send_window_command1(w, kCmdRequest, kRequestMessage) != 0 ? w : 0;
  no_dialog_shown(w, text);
  return shown;
}

int LmMessage(const char* text) { return LmDevMessage(g_link.current_window, text); }

int LmDevAsk(int w, const char* text) {
  if (!window_view(w)) return 0;
  put_window_text(w, text);
  if (send_window_command2(w, kCmdRequest, kRequestAsk, 0) == 0) {
    no_dialog_shown(w);
    return 0;
  }
  const unsigned char* v = window_view(w);
  const int32_t answer = v ? read_i32(v, kResult0) : 0;
  return answer == kAnswerYes ? 1 : answer == kAnswerNo ? -1 : 0;
}

int LmAsk(const char* text) { return LmDevAsk(g_link.current_window, text); }

}  // extern "C"
