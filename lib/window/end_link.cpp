// Ending the link: optionally tell the server, release everything, and in a
// console started through a quoted command line keep the console readable.
#include <cstdio>

#include "lib/link/link.h"

namespace lumo {

int32_t end_link(int32_t mode) {
  int32_t result = 0;
  if (mode >= 0 && platform::server_window_exists(g_link.server_window)) {
    const int n = std::snprintf(g_link.command_buffer, sizeof g_link.command_buffer, "%c,%d,",
                                wire::kCmdEnd, mode);
    result = send_command(n + 1);
  }
  release_link(-1);
  // With no window held the release keeps the server; ending the link
  // always ends it, so that a later call links afresh.
  forget_server();
  g_link.joined = false;
  if (!g_link.gui_messages && mode != 0 && g_link.quoted_start) {
    std::fputs("> ", stdout);
    std::fflush(stdout);
    std::getchar();
  }
  return result;
}

}  // namespace lumo
