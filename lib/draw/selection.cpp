// The current window, the drawing transformation and the simple requests
// that only forward a number.
#include "include/lumo.h"
#include "lib/draw/coords.h"
#include "lib/link/link.h"
#include "lib/window/windows.h"

using namespace lumo;
using namespace lumo::wire;

namespace {

constexpr double kFixedOne = 65536.0;  // 16.16 fixed point
constexpr int kMaxRequest16 = 8;
constexpr int kMaxServerMode = 14;
constexpr int kInvalidServerMode = 15;

}  // namespace

extern "C" {

int LmNextWindow(int n) {
  if (n < 0) return 0;
  for (int w = n + 1; w <= kLastWindow; ++w) {
    if (g_link.window_views[w]) return w;
  }
  return 0;
}

int LmFirstWindow(void) { return LmNextWindow(0); }

int LmSelectWindow(int n) {
  if (n >= kFirstWindow && n <= kLastWindow && g_link.window_views[n]) make_current(n);
  return g_link.current_window;
}

int LmDevSetTransform(int w, int dx, int dy, float m11, float m12, float m21, float m22) {
  unsigned char* v = window_view(w);
  if (!v) return 0;
  write_i32(v, kResult0, to_int32(m11 * kFixedOne));
  write_i32(v, kResult1, to_int32(m12 * kFixedOne));
  write_i32(v, kResult2, to_int32(m21 * kFixedOne));
  write_i32(v, kResult3, to_int32(m22 * kFixedOne));
  return send_window_command3(w, kCmdDraw, kDrawTransform, dx, dy);
}

int LmSetTransform(const float* t) {
  const unsigned char* v = g_link.current_view;
  if (!v) return 0;
  if (!t) return LmDevSetTransform(g_link.current_window, 0, 0, 1, 0, 0, 1);
  const Mapping m = mapping_of(v);
  // The device position of the world origin; the off-diagonal terms change
  // sign because device y points down.
  const double x0 = map_x(m, 0);
  const double y0 = map_y(m, 0);
  const int32_t dx = to_int32(map_x(m, t[0]) - x0 * t[1] - y0 * t[2]);
  const int32_t dy = to_int32(map_y(m, t[3]) - x0 * t[4] - y0 * t[5]);
  return LmDevSetTransform(g_link.current_window, dx, dy, t[1], -t[2], -t[4], t[5]);
}

int LmDevGetTransform(int w, int* dx, int* dy, float* m11, float* m12, float* m21, float* m22) {
  const int32_t r = send_window_command1(w, kCmdRequest, kRequestGetTransform);
  const unsigned char* v = window_view(w);
  if (r <= 0 || !v) return r;
  if (dx) *dx = read_i32(v, kArg2);
  if (dy) *dy = read_i32(v, kArg3);
  if (m11) *m11 = static_cast<float>(read_i32(v, kResult0) / kFixedOne);
  if (m12) *m12 = static_cast<float>(read_i32(v, kResult1) / kFixedOne);
  if (m21) *m21 = static_cast<float>(read_i32(v, kResult2) / kFixedOne);
  if (m22) *m22 = static_cast<float>(read_i32(v, kResult3) / kFixedOne);
  return r;
}

int LmGetTransform(float* t) {
  if (!t) return 0;
  int dx = 0, dy = 0;
  float m11 = 0, m12 = 0, m21 = 0, m22 = 0;
  const int r = LmDevGetTransform(g_link.current_window, &dx, &dy, &m11, &m12, &m21, &m22);
  if (r <= 0 || !g_link.current_view) return r;
  const Mapping m = mapping_of(g_link.current_view);
  t[0] = static_cast<float>(unmap_x(m, dx));
  t[1] = m11;
  t[2] = m12;
  t[3] = static_cast<float>(unmap_y(m, dy));
  t[4] = m21;
  t[5] = m22;
  return r;
}

int LmDevWindowOp(int w) { return send_window_command1(w, kCmdDraw, kDrawWindowOp); }

int LmWindowOp(void) { return LmDevWindowOp(g_link.current_window); }

int LmRequest24(int v) {
  return send_window_command2(g_link.current_window, kCmdRequest, kRequestNewWindow, v);
}

int LmRequest25(int v) {
  return send_window_command2(g_link.current_window, kCmdRequest, kRequest25, v);
}

int LmDevQuery4(int w, int* r1, int* r2, int* r3, int* r4) {
  const int32_t r = send_window_command1(w, kCmdRequest, kRequestQuery4);
  const unsigned char* v = window_view(w);
  if (r == 0 || !v) return r;
  if (r1) *r1 = read_i32(v, kResult0);
  if (r2) *r2 = read_i32(v, kResult1);
  if (r3) *r3 = read_i32(v, kResult2);
  if (r4) *r4 = read_i32(v, kResult3);
  return r;
}

int LmGetMetric14(int* a, int* b) {
  const int32_t w = g_link.current_window;
  const int32_t r = send_window_command1(w, kCmdMetric, 14);
  const unsigned char* v = window_view(w);
  if (r <= 0 || !v) return r;
  if (a) *a = read_i32(v, kResult2);
  if (b) *b = read_i32(v, kResult0);
  return g_link.current_window;
}

int LmDevAction18(int w, int value) {
  if (value == -1) {
    send_window_command1(w, kCmdRequest, kRequest27);
    return send_window_command1(w, kCmdRequest, kRequest28);
  }
  unsigned char* v = window_view(w);
  if (!v) return 0;
  write_i32(v, kResult0, value);
  return send_window_command1(w, kCmdDraw, kDrawAction18);
}

int LmAction18(int value) { return LmDevAction18(g_link.current_window, value); }

int LmSetWindowMode(int w, int mode) {
  return send_window_command1(w, kCmdSetting, window_mode_value(mode));
}

int LmSetServerMode(int m) {
  if (m < 0 || m > kMaxServerMode) m = kInvalidServerMode;
  return send_code(kCmdSetting, ' ', static_cast<char>(m));
}

int LmDevRequest16(int w, int a) {
  if (a < 1 || a > kMaxRequest16) return 0;
  if (w != 0) return send_window_command2(w, kCmdRequest, kRequest16, a);
  return send_code(kCmdRequest, kServerLevelCode, static_cast<char>(a + kWindowCodeBase));
}

int LmRequest16(int a) { return LmDevRequest16(g_link.current_window, a); }

}  // extern "C"
