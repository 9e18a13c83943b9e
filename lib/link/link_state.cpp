// The process-wide link state and the window-table helpers.
#include <cstring>

#include "lib/link/link.h"

namespace lumo {

// Constant-initialised: the library runs no constructor at program start.
LinkState g_link = {
    false,    // quoted_start
    true,     // gui_messages: message boxes until the program kind is known
    false,    // joined
    0,        // code_page
    nullptr,  // server_view
    0,        // server_view_size
    0,        // server_number
    0,        // server_key
    0,        // server_window
    0,        // current_window
    ' ',      // current_window_code
    -1,       // view_count: table not cleared yet
    nullptr,  // current_view
    nullptr,  // current_data
    {},       // window_views
    "",       // server_version_text
    "",       // mapping_name
    "",       // server_switches
    "",       // exe_path
    {wire::kCopyDataKind, 0, g_link.command_buffer},
    "",       // command_buffer
    {},       // sent_block
};

void reset_link_state() {
  std::memset(&g_link, 0, sizeof g_link);
  g_link.gui_messages = true;
  g_link.current_window_code = wire::kWindowCodeBase;
  g_link.view_count = -1;
  g_link.copy_data = {wire::kCopyDataKind, 0, g_link.command_buffer};
}

unsigned char* window_view(int32_t window) {
  if (window < 0 || window >= wire::kWindowSlots) return nullptr;
  return g_link.window_views[window];
}

char* window_data(int32_t window) {
  unsigned char* view = window_view(window);
  return view ? reinterpret_cast<char*>(view + wire::kDataArea) : nullptr;
}

void make_current(int32_t window) {
  g_link.current_window = window;
  g_link.current_window_code = static_cast<char>(wire::kWindowCodeBase + window);
  g_link.current_view = window_view(window);
  g_link.current_data = window_data(window);
}

}  // namespace lumo
