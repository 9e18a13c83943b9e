// Pointer and keyboard input of the graphics windows: the server queues each
// window's button presses, keys and wheel steps; these calls take them, in
// world coordinates (LmWaitEvent, LmPollEvent, LmGetClick) or in the
// drawing area's pixels (LmDevWaitEvent, LmDevPollEvent).
//
// Waiting asks the server again and again, a little less often the longer
// nothing comes (1 to 10 ms apart): the server never holds a reply back,
// so one program's wait cannot hold up another program's drawing.
#include <algorithm>

#include "include/lumo.h"
#include "include/lumo_ref.h"
#include "lib/draw/coords.h"
#include "lib/link/fortran.h"
#include "lib/link/link.h"
#include "lib/platform/platform.h"

namespace lumo {
namespace {

using namespace wire;

struct Event {
  int kind = 0, code = 0, x = 0, y = 0;
};

constexpr int kLongestPollGap = 10;  // ms

// The next event of window w: 1 with *e filled, 0 when none is waiting (not
// waiting), -1 when none will come (the window is gone or closed, no
// display and no scripted input left, or no link).
int next_event(int32_t w, bool wait, Event* e) {
  int gap = 1;
  for (;;) {
    unsigned char* v = window_view(w);
    if (!v) return -1;
    const int32_t r = send_window_command1(w, kCmdEvent, 0);
    if (r == kEventTaken) {
      e->kind = read_i32(v, kResult0);
      e->code = read_i32(v, kResult1);
      e->x = read_i32(v, kResult2);
      e->y = read_i32(v, kResult3);
      return 1;
    }
    if (r != kEventNoneYet) return -1;
    if (!wait) return 0;
    platform::sleep_ms(gap);
    gap = std::min(gap * 2, kLongestPollGap);
  }
}

// The next event of window w into the caller's variables (any may be
// null): the window's number, or 0 (a poll then stores kind 0).
int store_event(int32_t w, bool wait, Event* e, int* kind, int* code) {
  const int got = next_event(w, wait, e);
  if (got <= 0) {
    // Polling says "nothing" in kind; a wait that ends stores nothing.
    if (!wait && kind && window_view(w)) *kind = 0;
    return 0;
  }
  if (kind) *kind = e->kind;
  if (code) *code = e->code;
  return w;
}

int dev_event(int w, bool wait, int* kind, int* code, int* x, int* y) {
  Event e;
  if (!store_event(w, wait, &e, kind, code)) return 0;
  if (x) *x = e.x;
  if (y) *y = e.y;
  return w;
}

int world_event(bool wait, int* kind, int* code, float* x, float* y) {
  const int32_t w = g_link.current_window;
  Event e;
  if (!window_view(w) || !store_event(w, wait, &e, kind, code)) return 0;
  // The world as it is now (the program may have changed it since).
  const Mapping m = mapping_of(window_view(w));
  if (x) *x = static_cast<float>(unmap_x(m, e.x));
  if (y) *y = static_cast<float>(unmap_y(m, e.y));
  return w;
}

}  // namespace
}  // namespace lumo

extern "C" {

using lumo::g_link;

int LmWaitEvent(int* kind, int* code, float* x, float* y) { return lumo::world_event(true, kind, code, x, y); }

int LmPollEvent(int* kind, int* code, float* x, float* y) { return lumo::world_event(false, kind, code, x, y); }

int LmGetClick(float* x, float* y) {
  for (;;) {
    int kind = 0, code = 0;
    float px = 0, py = 0;
    if (!LmWaitEvent(&kind, &code, &px, &py)) return 0;
    if (kind != 1) continue;
    if (x) *x = px;
    if (y) *y = py;
    return code;
  }
}

int LmDevWaitEvent(int w, int* kind, int* code, int* x, int* y) {
  return lumo::dev_event(w, true, kind, code, x, y);
}

int LmDevPollEvent(int w, int* kind, int* code, int* x, int* y) {
  return lumo::dev_event(w, false, kind, code, x, y);
}

int LmDevDroppedEvents(int w) {
  unsigned char* v = lumo::window_view(w);
  if (!v || lumo::send_window_command1(w, lumo::wire::kCmdEvent, 1) != lumo::wire::kEventTaken) return -1;
  return lumo::read_i32(v, lumo::wire::kResult0);
}

int lmwaitevent(int* r, int* kind, int* code, float* x, float* y) { return *r = LmWaitEvent(kind, code, x, y); }
LUMO_FORTRAN_NAME(lmwaitevent)
int lmpollevent(int* r, int* kind, int* code, float* x, float* y) { return *r = LmPollEvent(kind, code, x, y); }
LUMO_FORTRAN_NAME(lmpollevent)
int lmgetclick(int* r, float* x, float* y) { return *r = LmGetClick(x, y); }
LUMO_FORTRAN_NAME(lmgetclick)
int lmdevwaitevent(int* r, int* w, int* kind, int* code, int* x, int* y) {
  return *r = LmDevWaitEvent(*w, kind, code, x, y);
}
LUMO_FORTRAN_NAME(lmdevwaitevent)
int lmdevpollevent(int* r, int* w, int* kind, int* code, int* x, int* y) {
  return *r = LmDevPollEvent(*w, kind, code, x, y);
}
LUMO_FORTRAN_NAME(lmdevpollevent)
int lmdevdroppedevents(int* r, int* w) { return *r = LmDevDroppedEvents(*w); }
LUMO_FORTRAN_NAME(lmdevdroppedevents)

}  // extern "C"
