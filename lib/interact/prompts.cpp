// Text prompts, file-name dialogs, drawing files and window texts: the
// dialogs are the server's, the texts travel through the data area.
#include <cstdio>
#include <cstring>

#include "include/lumo.h"
#include "include/lumo_ref.h"
#include "lib/link/fortran.h"
#include "lib/link/link.h"
#include "lib/link/messages.h"

using namespace lumo;
using namespace lumo::wire;

namespace {

constexpr char kDrawingFilter[] = "*.lmd";

size_t data_length(const char* data) {
  size_t n = 0;
  while (n < static_cast<size_t>(kMaxText) && data[n]) ++n;
  return n;
}

// The prompt is already in the data area.  Returns the answer's length,
// or -1 when refused or when it does not fit (nothing is then written).
int ask_string(int w, char* answer, int size) {
  if (send_window_command1(w, kCmdRequest, kRequestPrompt) == 0) {
    no_dialog_shown(w);
    return -1;
  }
  const char* data = window_data(w);
  if (!data || !answer || size <= 0) return -1;
  const size_t n = data_length(data);
  if (n >= static_cast<size_t>(size)) return -1;
  std::strncpy(answer, data, static_cast<size_t>(size));
  return static_cast<int>(n);
}

// The initial name is already in the data area.
int choose_file(int w, char* name, int size) {
  if (send_window_command1(w, kCmdRequest, kRequestFileDialog) != 1) {
    no_dialog_shown(w);
    return 0;
  }
  const char* data = window_data(w);
  if (!data) return 0;
  const int n = static_cast<int>(data_length(data));
  if (name && n < size) {
    std::strncpy(name, data, static_cast<size_t>(size));
    return n;
  }
  return n > 0 ? -n : 0;
}

int drawing_file(int w, int value) {
  const char* data = window_data(w);
  if (!data) return 0;
  if (!*data) put_window_text(w, kDrawingFilter);
  FILE* f = std::fopen(window_data(w), "r");
  if (f) {
    std::fclose(f);
  } else if (send_window_command1(w, kCmdRequest, kRequestFileDialog) != 1) {
    no_dialog_shown(w);
    return 0;
  } else if (!names_a_file(window_data(w))) {
    return 0;  // an empty answer, or only a filter: nothing to load or save
  }
  return send_window_command2(w, kCmdRequest, kRequestDrawingFile, value);
}

int window_text(int w, int a, int b, int c, int d) {
  unsigned char* v = window_view(w);
  if (!v) return 0;
  write_i32(v, kResult0, a);
  write_i32(v, kResult1, b);
  return send_window_command3(w, kCmdRequest, kRequestWindowText, c, d);
}

// Blank padding for by-reference callers: positions from..length-1.
void pad(char* buffer, int from, int length) {
  if (buffer && from >= 0 && from < length) {
    std::memset(buffer + from, ' ', static_cast<size_t>(length - from));
  }
}

}  // namespace

extern "C" {

int LmAskString(const char* prompt, char* answer, int size) {
  const int w = g_link.current_window;
  if (!window_view(w)) return 0;
  put_window_text(w, prompt);
  const int n = ask_string(w, answer, size);
  return n < 0 ? 0 : n;
}

int lmaskstring(int* result, char* prompt, char* answer, int prompt_length, int answer_length) {
  const int w = g_link.current_window;
  if (!window_view(w)) return 0;
  put_window_text_n(w, prompt, prompt_length);
  const int n = ask_string(w, answer, answer_length);
  if (n < 0) return 0;
  // Whatever the answer's length, the text is blank-padded: an empty
  // answer is a blank one.
  pad(answer, n, answer_length);
  if (n == 0) return 0;
  return *result = n;
}

int LmChooseFile(char* name, int size) {
  const int w = g_link.current_window;
  if (!window_view(w)) return 0;
  put_window_text(w, name);
  return choose_file(w, name, size);
}

int lmchoosefile(int* result, char* name, int length) {
  const int w = g_link.current_window;
  put_window_text_n(w, name, length);
  const int n = window_view(w) ? choose_file(w, name, length) : 0;
  if (n > 0) pad(name, n, length);
  return *result = n;
}

int LmDrawingFile(int value, const char* name) {
  const int w = g_link.current_window;
  put_window_text(w, name);
  return drawing_file(w, value);
}

int lmdrawingfile(int* result, int* value, char* name, int length) {
  const int w = g_link.current_window;
  put_window_text_n(w, name, length);
  return *result = drawing_file(w, *value);
}

int LmWindowTextEx(int a, int b, int c, int d, const char* text) {
  const int w = g_link.current_window;
  put_window_text(w, text);
  return window_text(w, a, b, c, d);
}

int LmWindowText(const char* text) { return LmWindowTextEx(0, 0, 0, 0, text); }

int lmwindowtext(int* result, char* text, int length) {
  const int w = g_link.current_window;
  put_window_text_n(w, text, length);
  return *result = window_text(w, 0, 0, 0, 0);
}

int lmwindowtextex(int* result, int* a, int* b, int* c, int* d, char* text, int length) {
  const int w = g_link.current_window;
  put_window_text_n(w, text, length);
  return *result = window_text(w, *a, *b, *c, *d);
}

}  // extern "C"

// Fortran's names of the twins above.
LUMO_FORTRAN_NAME(lmaskstring)
LUMO_FORTRAN_NAME(lmchoosefile)
LUMO_FORTRAN_NAME(lmdrawingfile)
LUMO_FORTRAN_NAME(lmwindowtext)
LUMO_FORTRAN_NAME(lmwindowtextex)
