// Window metrics, server switches and number queries.
#include "lib/window/metrics.h"

#include <cfloat>
#include <cstdio>
#include <cstring>

#include "include/lumo.h"
#include "include/lumo_ref.h"
#include "lib/link/fortran.h"
#include "lib/link/link.h"

namespace lumo {
namespace {

bool metric_in_range(int32_t what) {
  return (what >= 1 && what <= kMaxMetric) || (what <= -1 && what >= -kMaxMetric);
}

}  // namespace

int32_t window_metric(int32_t window, int32_t what, int32_t* a, int32_t* b) {
  if (window == 0) {
    if (g_link.server_number == 0) {
      // Without a link only the screen size is known, from the system itself.
      if (what != kMetricScreenSize) return 0;
      int32_t w = 0;
      int32_t h = 0;
      platform::screen_size(&w, &h);
      if (a) *a = w;
      if (b) *b = h;
      return 1;
    }
    if (!metric_in_range(what)) return 0;
    if (what < 0) return request_values(what, a, b);
    int32_t la = a ? *a : -1;
    int32_t lb = b ? *b : -1;
    const int32_t r = request_values(what, &la, &lb);
    if (r != 0) {
      if (a) *a = la;
      if (b) *b = lb;
    }
    return r;
  }
  unsigned char* view = window_view(window);
  if (!view || window < 0) return 0;
  if (what >= 1 && what <= kMaxMetric) {
    const int32_t r = send_window_command1(window, wire::kCmdMetric, what);
    view = window_view(window);  // the reply may have ended the link
    if (view) {
      if (a) *a = read_i32(view, wire::kResult0);
      if (b) *b = read_i32(view, wire::kResult1);
    }
    return r;
  }
  if (what <= -1 && what >= -kMaxMetric) {
    const bool both = a && b;
    return send_window_command3(window, wire::kCmdMetric, what, both ? *a : 0, both ? *b : 0);
  }
  return 0;
}

int32_t server_switch(int32_t window, int32_t number, int32_t value) {
  if (window == 0) {
    // The server as a whole has no window block: the request goes through
    // the server block.  A read answers the setting as the reply.
    if (!g_link.server_view) return 0;
    int32_t a = value;
    int32_t b = 0;
    if (value < 0) return request_values(wire::kSwitchCodeBase + number, &a, &b);
    return request_values(-(wire::kSwitchCodeBase + number), &a, &b);
  }
  return send_window_command3(window, wire::kCmdRequest, wire::kRequestSwitch, number, value);
}

int32_t query_number(int32_t window, int32_t x) {
  if (window == 0) {
    if (g_link.server_number == 0) return 0;
    return send_code(wire::kCmdServerQuery, ' ', static_cast<char>(x + wire::kWindowCodeBase));
  }
  if (send_window_command2(window, wire::kCmdRequest, wire::kRequestNumber, x) == 0) return 0;
  const char* data = window_data(window);
  if (!data) return 0;
  char text[32];
  size_t n = 0;
  while (n < sizeof text - 1 && data[n]) {
    text[n] = data[n];
    ++n;
  }
  text[n] = '\0';
  // "number," as written by the server; a number without its comma is
  // read all the same.
  int value = 0;
  return std::sscanf(text, "%d,", &value) == 1 ? value : 0;
}

}  // namespace lumo

using lumo::g_link;

extern "C" {

int LmMetric(int what, int* a, int* b) {
  return lumo::window_metric(g_link.current_window, what, a, b);
}

int lmmetric(int* result, int* what, int* a, int* b) {
  return *result = LmMetric(*what, a, b);
}

float LmAspect(int what) {
  if (what >= 1 && what <= 7) {
    int p = 0;
    int q = 0;
    LmMetric(what, &p, &q);
    return q != 0 ? static_cast<float>(p) / static_cast<float>(q) : 0.0f;
  }
  const unsigned char* view = g_link.current_view;
  if (!view || lumo::read_i32(view, lumo::wire::kPixelMode) != 0) return 1.0f;
  const float sx = lumo::read_f32(view, lumo::wire::kScaleX);
  const float sy = lumo::read_f32(view, lumo::wire::kScaleY);
  if (sy == 0.0f) return 0.0f;
  const float r = sx / sy;
  return r < 0 ? -r : r;
}

float lmaspect(int* what) { return LmAspect(*what); }

int LmServerSwitch(int number, int value) {
  return lumo::server_switch(g_link.current_window, number, value);
}

int lmserverswitch(int* result, int* number, int* value) {
  return *result = LmServerSwitch(*number, *value);
}

int LmQueryNumber(int x) { return lumo::query_number(g_link.current_window, x); }

int lmquerynumber(int* result, int* x) { return *result = LmQueryNumber(*x); }

float LmMaxFloat(void) { return FLT_MAX; }

float lmmaxfloat(void) { return FLT_MAX; }

}  // extern "C"

// Fortran's names of the twins above.
LUMO_FORTRAN_NAME(lmmetric)
LUMO_FORTRAN_NAME(lmaspect)
LUMO_FORTRAN_NAME(lmserverswitch)
LUMO_FORTRAN_NAME(lmquerynumber)
LUMO_FORTRAN_NAME(lmmaxfloat)
