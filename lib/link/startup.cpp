// Starting a link: who the program is, which server, and the start-up command.
#include <cstdio>
#include <cstring>

#include "common/run_settings.h"
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

constexpr int kCurrentDirRoom = 255;
constexpr int kZoomOffset = 10;   // the z value is sent as server mode z + 10

void clear_window_table() {
  for (auto& v : g_link.window_views) v = nullptr;
  g_link.view_count = 0;
}

// A running server (or a joined one) takes the options as requests.
void apply_options_to_server(const StartOptions& o) {
  if (o.flags >= 0) {
    for (int bit = 0; bit < wire::kSwitches; ++bit) {
      if (o.flags & (1 << (bit + 16))) continue;
      server_switch(0, bit + 1, (o.flags >> bit) & 1);
    }
  }
  if (o.x >= 0 && o.y >= 0) {
    int32_t x = o.x, y = o.y;
    window_metric(0, kMetricWindowPosition, &x, &y);
  }
  if (o.width > 0 && o.height > 0) {
    int32_t w = o.width, h = o.height;
    window_metric(0, kMetricWindowSize, &w, &h);
  }
  if (o.a >= 1 && o.a <= 4) LmDevRequest16(0, o.a);
  if (o.m >= 0 && o.m <= 14) LmSetServerMode(o.m);
  if (o.z >= 1 && o.z <= 4) LmSetServerMode(o.z + kZoomOffset);
  if (o.dpi >= 1 && o.dpi <= 1200) {
    int32_t d1 = o.dpi, d2 = o.dpi;
    window_metric(0, kMetricResolution, &d1, &d2);
  }
}

// The start-up command; after its terminator it carries the fingerprint of
// the program's run settings (common/run_settings.h).  Returns the raw reply.
int32_t send_startup_command() {
  char dir[kCurrentDirRoom];
  platform::current_directory(dir, sizeof dir);  // empty when it does not fit
  const int n = std::snprintf(g_link.command_buffer, sizeof g_link.command_buffer,
                              "%c,%d,%s;%s;%s", wire::kCmdStart, g_link.server_key, dir,
                              g_link.exe_path, wire::kLibraryVersionText);
  constexpr int kExtension = sizeof wire::kSettingsTag - 1 + 8 + 1;
  // Too long a text is reported as such; one with no room for the
  // fingerprint goes without it (the server then takes it as before).
  if (n < 0 || n + 1 + kExtension > wire::kMaxCommand) return send_command(n + 1);
  char folder[1024];
  if (!platform::current_directory(folder, sizeof folder)) folder[0] = '\0';
  const uint32_t settings = wire::run_settings_fingerprint(platform::get_env, folder);
  const int extra = std::snprintf(g_link.command_buffer + n + 1, sizeof g_link.command_buffer - (n + 1),
                                  "%s%08x", wire::kSettingsTag, settings);
  return send_command(n + 1 + extra + 1);
}

// No server could be had.  When every server number is taken (each server
// still shows windows of an earlier program, as a desktop keeps them after
// their programs end) that is why, and the user is told what to do.
[[noreturn]] void no_server_had() {
  int taken = 0;
  for (int n = wire::kFirstServer; n <= wire::kLastServer; ++n) {
    char name[32];
    std::snprintf(name, sizeof name, "%s%d", wire::kBlockPrefix, n);
    if (unsigned char* view = open_shared_view(name, nullptr)) {
      ++taken;
      platform::release_shared_block(view);
    }
  }
  if (taken <= wire::kLastServer - wire::kFirstServer) fail(message_text(Msg::CannotExecute), kServerExeName);
  char first[256], hint[256];
  std::snprintf(first, sizeof first, message_text(Msg::CannotExecute), kServerExeName);
  std::snprintf(hint, sizeof hint,
                "Lumo: all %d servers are in use, each showing windows of an earlier program; "
                "close some of those windows.",
                taken);
  fail_with_hint(first, hint);
}

// How often a program whose chosen server was taken by another program (or
// keeps other settings) looks again, or starts one of its own.
constexpr int kStartAttempts = 8;

}  // namespace

void note_program_identity() {
  platform::module_path(g_link.exe_path, sizeof g_link.exe_path);
  g_link.gui_messages = detect_gui_program(g_link.exe_path);
  g_link.code_page = platform::ansi_code_page();
}

void note_command_line() {
  const char* line = platform::command_line();
  if (line && line[0] == '"') g_link.quoted_start = true;
}

int32_t start_link(const StartOptions& options) {
  if (!g_link.joined) {
    if (g_link.server_number != 0) return 0;
    if (g_link.view_count < 0) clear_window_table();
    note_program_identity();
  }
  if (!g_link.joined && find_server() == 0) {
    build_server_switches(g_link.server_switches, sizeof g_link.server_switches, options);
  } else {
    apply_options_to_server(options);
  }
  if (g_link.joined) return g_link.server_number;
  uint32_t passed_over = 0;
  for (int attempt = 1;; ++attempt) {
    if (!g_link.server_view) {
      platform::launch_server(locate_server_executable, g_link.server_switches);
      find_server(passed_over);
    }
    if (!g_link.server_window) no_server_had();
    check_server_version();
    note_command_line();
    probe_server_layout();
    const int32_t reply = send_startup_command();
    if (reply == g_link.server_key) break;
    if (reply != wire::kReplyServerTaken || attempt == kStartAttempts) {
      fail("%s", message_text(Msg::InitFailed));
    }
    // Another program linked first, or this server keeps other settings:
    // another waiting server, or a new one.
    passed_over |= 1u << g_link.server_number;
    forget_server();
    find_server(passed_over);
  }
  platform::console_link(true);
  return g_link.server_number;
}

}  // namespace lumo

extern "C" {

int LmInit(void) { return lumo::start_link(lumo::kNoOptions); }

int lminit(int* result) { return *result = LmInit(); }

int LmInitEx(int flags, int x, int y, int width, int height, int a, int m, int z, int dpi) {
  return lumo::start_link({flags, x, y, width, height, a, m, z, dpi});
}

int lminitex(int* result, int* flags, int* x, int* y, int* width, int* height, int* a, int* m,
             int* z, int* dpi) {
  return *result = LmInitEx(*flags, *x, *y, *width, *height, *a, *m, *z, *dpi);
}

}  // extern "C"

// Fortran's names of the twins above.
LUMO_FORTRAN_NAME(lminit)
LUMO_FORTRAN_NAME(lminitex)
