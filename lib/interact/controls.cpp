// Console keys and the numbered window control requests.
#include "include/lumo.h"
#include "include/lumo_ref.h"
#include "lib/link/fortran.h"
#include "lib/link/link.h"

using namespace lumo;
using namespace lumo::wire;

namespace {

constexpr int kControl1 = 1;
constexpr int kControl4 = 4;
constexpr int kControl5 = 5;
constexpr int kControl6 = 6;
constexpr int kControl23 = 23;
constexpr int kControl26 = 26;
constexpr int kControl29 = 29;
constexpr int kControl32 = 32;
constexpr int kControl33 = 33;
constexpr int kControl34 = 34;

// Sends "B" to window w with the words already in place.
int send_control(int w) {
  g_link.command_buffer[0] = kCmdRequest;
  g_link.command_buffer[1] = static_cast<char>(kWindowCodeBase + w);
  g_link.command_buffer[2] = '\0';
  return interpret_reply(send_command(kWindowCommandLength));
}

// The requests that return three result words (244, 248, 252).
int control_with_results(int w, int code, int value, int* out1, int* io2, int* io3,
                         bool preset) {
  unsigned char* v = window_view(w);
  if (!v) return 0;
  write_i32(v, kArg1, code);
  write_i32(v, kArg2, value);
  if (preset) {
    write_i32(v, kResult2, io2 ? *io2 : -1);
    write_i32(v, kResult3, io3 ? *io3 : -1);
  }
  const int r = send_control(w);
  v = window_view(w);
  if (r != 0 && v) {
    if (out1) *out1 = read_i32(v, kResult1);
    if (io2) *io2 = read_i32(v, kResult2);
    if (io3) *io3 = read_i32(v, kResult3);
  }
  return r;
}

int control6_all(int value) {
  int last = 0;
  for (int w = kFirstWindow; w <= kLastWindow; ++w) {
    if (!g_link.window_views[w]) continue;
    last = send_window_command2(w, kCmdRequest, kControl6, value);
    if (last < 1) return 0;
  }
  return last;
}

}  // namespace

extern "C" {

int LmKeyHit(void) { return platform::key_hit(); }

int LmGetKey(int echo) { return platform::get_key(echo != 0); }

int lmgetkey(int* echo) { return LmGetKey(*echo); }

int LmControl4Window(int w) { return send_window_command1(w, kCmdRequest, kControl4); }
int LmControl4(void) { return LmControl4Window(g_link.current_window); }
int lmcontrol4(int* result) { return *result = LmControl4(); }

int LmControl5Window(int w, int a, int b) {
  return send_window_command3(w, kCmdRequest, kControl5, a, b);
}
int LmControl5(int a, int b) { return LmControl5Window(g_link.current_window, a, b); }
int lmcontrol5(int* result, int* a, int* b) { return *result = LmControl5(*a, *b); }

int LmControl6(int window, int value) {
  if (window == 0) {
    return send_window_command2(g_link.current_window, kCmdRequest, kControl6, value);
  }
  if (window > 0) {
    if (!window_view(window)) return 0;
    return send_window_command2(window, kCmdRequest, kControl6, value);
  }
  return control6_all(value);
}
int lmcontrol6(int* result, int* window, int* value) {
  return *result = LmControl6(*window, *value);
}

int LmControl23(int a, int b) {
  return send_window_command3(g_link.current_window, kCmdRequest, kControl23, a, b);
}
int lmcontrol23(int* result, int* a, int* b) { return *result = LmControl23(*a, *b); }

int LmControl26Window(int w, int value) {
  return send_window_command2(w, kCmdRequest, kControl26, value);
}
int LmControl26(int value) { return LmControl26Window(g_link.current_window, value); }
int lmcontrol26(int* result, int* value) { return *result = LmControl26(*value); }

int LmControl29(int value) {
  return send_window_command2(g_link.current_window, kCmdRequest, kControl29, value);
}
int lmcontrol29(int* result, int* value) { return *result = LmControl29(*value); }

int LmControl34Window(int w, int value) {
  return send_window_command2(w, kCmdRequest, kControl34, value);
}
int LmControl34(int value) { return LmControl34Window(g_link.current_window, value); }
int lmcontrol34(int* result, int* value) { return *result = LmControl34(*value); }

int LmControl32(int w, int* out1, int* io2, int* io3, int value) {
  return control_with_results(w, kControl32, value, out1, io2, io3, true);
}

int LmControl33(int w, int* out1, int* io2, int* io3, int value) {
  return control_with_results(w, kControl33, value, out1, io2, io3, true);
}

int LmControl1(int w, int* out1, int* out2, int* out3, int mode) {
  // Modes 1, 2 and 3 are sent as the bits 128, 64 and 32.
  const int mapped = mode == 1 ? 128 : mode == 2 ? 64 : mode == 3 ? 32 : mode;
  return control_with_results(w, kControl1, mapped, out1, out2, out3, false);
}

}  // extern "C"

// Twins of the forms that name their window, and of the requests with
// result words.
extern "C" {

int lmkeyhit(int* result) { return *result = LmKeyHit(); }
int lmcontrol4window(int* result, int* w) { return *result = LmControl4Window(*w); }
int lmcontrol5window(int* result, int* w, int* a, int* b) {
  return *result = LmControl5Window(*w, *a, *b);
}
int lmcontrol26window(int* result, int* w, int* v) { return *result = LmControl26Window(*w, *v); }
int lmcontrol34window(int* result, int* w, int* v) { return *result = LmControl34Window(*w, *v); }
int lmcontrol32(int* result, int* w, int* out1, int* io2, int* io3, int* value) {
  return *result = LmControl32(*w, out1, io2, io3, *value);
}
int lmcontrol33(int* result, int* w, int* out1, int* io2, int* io3, int* value) {
  return *result = LmControl33(*w, out1, io2, io3, *value);
}
int lmcontrol1(int* result, int* w, int* out1, int* out2, int* out3, int* mode) {
  return *result = LmControl1(*w, out1, out2, out3, *mode);
}

}  // extern "C"

// Fortran's names of the twins above.
LUMO_FORTRAN_NAME(lmkeyhit)
LUMO_FORTRAN_NAME(lmcontrol4window)
LUMO_FORTRAN_NAME(lmcontrol5window)
LUMO_FORTRAN_NAME(lmcontrol26window)
LUMO_FORTRAN_NAME(lmcontrol34window)
LUMO_FORTRAN_NAME(lmcontrol32)
LUMO_FORTRAN_NAME(lmcontrol33)
LUMO_FORTRAN_NAME(lmcontrol1)
LUMO_FORTRAN_NAME(lmgetkey)
LUMO_FORTRAN_NAME(lmcontrol4)
LUMO_FORTRAN_NAME(lmcontrol5)
LUMO_FORTRAN_NAME(lmcontrol6)
LUMO_FORTRAN_NAME(lmcontrol23)
LUMO_FORTRAN_NAME(lmcontrol26)
LUMO_FORTRAN_NAME(lmcontrol29)
LUMO_FORTRAN_NAME(lmcontrol34)
