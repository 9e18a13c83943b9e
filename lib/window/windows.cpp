// Opening, joining and closing windows, and the public entry points.
#include "lib/window/windows.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "include/lumo.h"
#include "include/lumo_ref.h"
#include "lib/link/launch.h"
#include "lib/link/fortran.h"
#include "lib/link/link.h"
#include "lib/link/messages.h"
#include "lib/window/compat.h"
#include "lib/window/metrics.h"

namespace lumo {
namespace {

constexpr int kModeOffset = 15;
constexpr int kMaxMode = 10;
constexpr int kInvalidMode = -2;
constexpr size_t kMaxTitle = 260;    // titles of the by-reference open

char g_open_title[256];

void window_block_name(char* out, size_t size, int32_t server, int32_t window) {
  std::snprintf(out, size, "%s%d:%d", wire::kBlockPrefix, server, window);
}

bool valid_window(int32_t w) { return w >= wire::kFirstWindow && w <= wire::kLastWindow; }

// The line "number,title" that starts a server header: stores the number
// (when there is one) and returns the title, which runs to the line's end
// and may be empty.
const char* split_window_line(const char* text, int* number) {
  int used = 0;
  int n = 0;
  if (std::sscanf(text, "%d,%n", &n, &used) < 1 || used == 0) return "";
  *number = n;
  return text + used;
}

void copy_title(char* out, size_t size, const char* title) {
  size_t n = 0;
  while (n + 1 < size && title[n] && title[n] != '\n') ++n;
  std::memcpy(out, title, n);
  out[n] = '\0';
}

// The two-line header of a server that shows windows:
// "window,title" and "handle,key,version".
bool parse_shown_header(const char* text, int* state, char* title, size_t title_size,
                        long long* window, int* key, char* version) {
  int number = 0;
  const char* rest = split_window_line(text, &number);
  const char* line_end = std::strchr(rest, '\n');
  if (rest == text || !line_end) return false;
  if (std::sscanf(line_end + 1, "%lld,%d,%255[^\n]", window, key, version) != 3) return false;
  *state = number;
  copy_title(title, title_size, rest);
  return true;
}

// Holds the block of window w and makes it current.
void hold_window(int32_t w, unsigned char* view) {
  if (g_link.window_views[w]) {
    // The server handed out a number we hold already: keep one view of it.
    release_shared_view(g_link.window_views[w]);
  } else {
    ++g_link.view_count;
  }
  g_link.window_views[w] = view;
  make_current(w);
}

void clear_window_table_once() {
  if (g_link.view_count >= 0) return;
  for (auto& v : g_link.window_views) v = nullptr;
  g_link.view_count = 0;
}

}  // namespace

int32_t window_mode_value(int32_t mode) {
  return mode >= 0 && mode <= kMaxMode ? mode + kModeOffset : kInvalidMode;
}

int32_t open_window(int32_t n, int32_t width, int32_t height, int32_t colour1, int32_t colour2,
                    int32_t mode, const char* title) {
  if (g_link.joined) {
    // The joined window is taken over instead of a new one.
    const int32_t w = g_link.current_window;
    if (colour1 >= 0) send_window_command3(w, wire::kCmdDraw, wire::kDrawColourEntry, colour1, 1);
    if (colour2 >= 0) send_window_command3(w, wire::kCmdDraw, wire::kDrawColourEntry, colour2, 2);
    if (mode >= 0) send_window_command1(w, wire::kCmdSetting, window_mode_value(mode));
    g_link.joined = false;
    return g_link.current_window;
  }
  if (!g_link.server_view && start_link(kNoOptions) == 0) return 0;

  const int length =
      title && *title
          ? std::snprintf(g_link.command_buffer, sizeof g_link.command_buffer,
                          "%c,%d,%d,%d,%d,%d,%d,%s", wire::kCmdOpen, n, width, height, colour1,
                          colour2, mode, title)
          : std::snprintf(g_link.command_buffer, sizeof g_link.command_buffer,
                          "%c,%d,%d,%d,%d,%d,%d,", wire::kCmdOpen, n, width, height, colour1,
                          colour2, mode);
  if (interpret_reply(send_command(length + 1)) <= 0) fail("%s", message_text(Msg::OpenFailed));
  if (!g_link.server_view) fail("%s", message_text(Msg::CommunicationFailed));

  // The new window's "number,title" line: the program's own answer where the
  // connection carries it, else the server block's first line (which the
  // server rewrites for every program it serves).
  char text[wire::kServerTextMax + 1];
  if (!platform::last_answer(text, sizeof text)) copy_server_text(text, sizeof text);
  copy_title(g_open_title, sizeof g_open_title, split_window_line(text, &n));

  char name[64];
  window_block_name(name, sizeof name, g_link.server_number, n);
  unsigned char* view = valid_window(n) ? open_shared_view(name) : nullptr;
  if (!view) {
    report_message(0, message_text(Msg::OpenNewWindowFailed), n);
    return 0;
  }
  clear_window_table_once();
  hold_window(n, view);
  return send_window_command2(n, wire::kCmdRequest, wire::kRequestNewWindow, 0);
}

int32_t attach_server_window(int32_t server, int32_t win, int32_t ask, char* desc,
                             size_t desc_size) {
  if (desc && desc_size) desc[0] = '\0';
  const int first = server > 0 ? server : wire::kFirstServer;
  const int last = server > 0 ? server : wire::kLastServer;
  for (int i = first; i <= last; ++i) {
    char server_name[32];
    std::snprintf(server_name, sizeof server_name, "%s%d", wire::kBlockPrefix, i);
    size_t block_size = 0;
    unsigned char* block = open_shared_view(server_name, &block_size);
    if (!block) continue;
    clear_window_table_once();
    if (g_link.code_page == 0) note_program_identity();

    g_link.server_window = 0;
    char title[256] = "";
    char text[wire::kServerTextMax + 1];
    copy_block_text(block, block_size, text, sizeof text);
    int state = -1;
    long long window = 0;
    int key = 0;
    char version[256] = "";
    bool ok = false;
    if (std::sscanf(text, "%d,%lld,%d,%255[^\n]", &state, &window, &key, version) == 4 &&
        state == 0) {
      ok = true;
    } else if (parse_shown_header(text, &state, title, sizeof title, &window, &key, version) &&
               state > 0) {
      ok = true;
    }
    // One that cannot be reached is passed over like one not running.
    if (!ok || !platform::server_window_exists(static_cast<platform::ServerWindow>(window))) {
      platform::release_shared_block(block);
      continue;
    }
    g_link.server_window = static_cast<platform::ServerWindow>(window);
    g_link.server_key = key;
    std::snprintf(g_link.server_version_text, sizeof g_link.server_version_text, "%s", version);
    check_server_version();
    note_command_line();
    probe_server_layout();
    if (state == 0) {
      release_shared_view(block);
      g_link.server_window = 0;
      g_link.server_key = 0;
      continue;
    }
    if (win <= 0) win = state;
    char name[64];
    window_block_name(name, sizeof name, i, win);
    unsigned char* view = valid_window(win) ? open_shared_view(name) : nullptr;
    if (!view) {
      release_shared_view(block);
      report_message(0, message_text(Msg::JoinFailed), message_text(Msg::JoinNoWindow));
      std::exit(1);
    }
    hold_window(win, view);
    g_link.server_number = i;
    g_link.server_view = block;
    g_link.server_view_size = block_size;
    std::snprintf(g_link.mapping_name, sizeof g_link.mapping_name, "%s", server_name);
    if (desc && desc_size) {
      std::snprintf(desc, desc_size, "%d:%d %s", g_link.server_number, g_link.current_window,
                    title);
    }
    if (ask == 0) {
      release_link(g_link.current_window);
      return win;
    }
    if (server_switch(g_link.current_window, kSwitchAskOnJoin, -1) > 0) {
      const int32_t w = g_link.current_window;
      format_window_text(w, message_text(Msg::JoinQuestion), g_link.server_number, w, title);
      send_window_command2(w, wire::kCmdRequest, wire::kRequestAsk, 0);
      no_dialog_shown(w);
      const unsigned char* v = window_view(w);
      if (!v || read_i32(v, wire::kResult0) != wire::kAnswerYes) {
        release_link(w);
        return 0;
      }
    }
    platform::console_link(true);
    return win;
  }
  return 0;
}

int32_t join_window(int32_t win, int32_t server, int32_t ask, char* desc, size_t desc_size) {
  if (g_link.server_number != 0) return 0;
  if (win > wire::kLastWindow) return 0;  // no such window can exist
  if (attach_server_window(server, win, ask, desc, desc_size) > 0 ||
      (win > 0 && attach_server_window(server, 0, ask, desc, desc_size) > 0)) {
    if (g_link.server_number != 0) g_link.joined = true;
    return g_link.current_window;
  }
  g_link.server_number = 0;
  g_link.joined = false;
  return 0;
}

int32_t close_window(int32_t n) {
  if (n == 0) n = g_link.current_window;
  const bool single = valid_window(n);
  const int first = single ? n : 0;
  const int last = single ? n : wire::kLastWindow;
  for (int w = first; w <= last; ++w) {
    unsigned char* view = g_link.window_views[w];
    if (!view) continue;
    g_link.window_views[w] = nullptr;
    --g_link.view_count;
    release_shared_view(view);
    g_link.command_buffer[0] = wire::kCmdClose;
    g_link.command_buffer[1] = static_cast<char>(wire::kWindowCodeBase + w);
    g_link.command_buffer[2] = '\0';
    int32_t now = interpret_reply(send_command(wire::kWindowCommandLength));
    if (now < 0 || now > wire::kLastWindow) now = 0;
    make_current(now);
  }
  if (g_link.current_window > 0) {
    send_window_command1(g_link.current_window, wire::kCmdRequest, wire::kRequestClosed);
  }
  return g_link.current_window;
}

// Copies a blank-padded text of a by-reference caller: at most max - 1
// characters, trailing blanks removed.
void copy_padded(char* out, size_t max, const char* text, int length) {
  size_t n = 0;
  if (text && length > 0) {
    n = static_cast<size_t>(length) < max - 1 ? static_cast<size_t>(length) : max - 1;
    size_t k = 0;
    while (k < n && text[k]) ++k;
    n = k;
    std::memcpy(out, text, n);
  }
  while (n > 0 && out[n - 1] == ' ') --n;
  out[n] = '\0';
}

}  // namespace lumo

using lumo::g_link;

extern "C" {

int LmOpen(int n) { return lumo::open_window(n, 0, 0, -1, -1, -1, nullptr); }

int LmOpenEx(int n, int width, int height, int colour1, int colour2, int mode,
             const char* title) {
  return lumo::open_window(n, width, height, colour1, colour2, mode, title);
}

int LmJoin(int win, int server, int ask, char* desc) {
  return lumo::join_window(win, server, ask, desc, desc ? lumo::kJoinDescriptionSize : 0);
}

int LmClose(int n) { return lumo::close_window(n); }

int LmQuit(void) { return lumo::end_link(1); }

int LmQuitEx(int flag) { return lumo::end_link(flag != 0 ? 1 : 0); }

int LmAbort(void) { return lumo::end_link(-1); }

int lmopen(int* result, int* n) { return *result = LmOpenEx(*n, 0, 0, -1, -1, -1, nullptr); }

int lmopenex(int* result, int* n, int* width, int* height, int* colour1, int* colour2, int* mode,
             char* title, int length) {
  static char copy[lumo::kMaxTitle];
  lumo::copy_padded(copy, sizeof copy, title, length);
  return *result = LmOpenEx(*n, *width, *height, *colour1, *colour2, *mode, copy[0] ? copy : nullptr);
}

int lmjoin(int* result, int* win, int* server, int* ask, char* desc, int length) {
  const bool pass = desc && length > 10;
  return *result = lumo::join_window(*win, *server, *ask, pass ? desc : nullptr,
                                     pass ? static_cast<size_t>(length) : 0);
}

int lmclose(int* result, int* n) { return *result = *n = LmClose(*n); }

int lmquit(int* result) { return *result = LmQuit(); }

int lmquitex(int* result, int* flag) { return *result = LmQuitEx(*flag); }

int lmabort(int* result) { return *result = LmAbort(); }

}  // extern "C"

// Fortran's names of the twins above.
LUMO_FORTRAN_NAME(lmopen)
LUMO_FORTRAN_NAME(lmopenex)
LUMO_FORTRAN_NAME(lmjoin)
LUMO_FORTRAN_NAME(lmclose)
LUMO_FORTRAN_NAME(lmquit)
LUMO_FORTRAN_NAME(lmquitex)
LUMO_FORTRAN_NAME(lmabort)
