// The process-wide link to the graphics window server and the transport
// operations every other part of the library builds on.
#ifndef LUMO_LINK_LINK_H
#define LUMO_LINK_LINK_H

#include <cstddef>
#include <cstdint>

#include "common/block_access.h"
#include "common/lumo_wire.h"
#include "lib/platform/platform.h"

namespace lumo {

// Room for the longest start-up command ("K,key," + directory + ";" + program
// path + ";" + version) so that its length can be checked after assembly.
inline constexpr int kCommandBufferSize = 1024;

struct LinkState {
  bool quoted_start;
  bool gui_messages;
  bool joined;
  int32_t code_page;
  unsigned char* server_view;
  size_t server_view_size;
  int32_t server_number;
  int32_t server_key;
  platform::ServerWindow server_window;
  int32_t current_window;
  char current_window_code;
  int32_t view_count;
  unsigned char* current_view;
  char* current_data;  // data area of current_view, or null
  unsigned char* window_views[wire::kWindowSlots];
  char server_version_text[256];
  char mapping_name[256];
  char server_switches[256];
  char exe_path[260];
  platform::CopyData copy_data;
  char command_buffer[kCommandBufferSize];
  // What a window command reads of its block, as this program sent it: the
  // argument words from the values written, not read back from the block,
  // which a program that joined the window may be writing into.
  unsigned char sent_block[wire::kWindowBlockSize];
};

extern LinkState g_link;

// Back to the state the process starts with (used by the test suites).
void reset_link_state();

// ---- Shared blocks and the server -------------------------------------------
// Maps a named block; null when absent or too small for its kind (window
// blocks hold at least 2304 bytes).  *size (when given) receives its length.
unsigned char* open_shared_view(const char* name, size_t* size = nullptr);
void release_shared_view(void* view);
// The first server waiting for a program, skipping the instances whose bit
// is set in `passed_over` (bit n: instance n).
int32_t find_server(uint32_t passed_over = 0);
// Copies the server block's text (bounded by the block and by size - 1).
size_t copy_server_text(char* out, size_t size);
size_t copy_block_text(const unsigned char* block, size_t block_size, char* out, size_t size);
// Lets go of the server block and resets the link to "no link", whatever
// windows are held (release_link keeps the link while none is).
void forget_server();
void release_link(int32_t window);

// ---- Commands ---------------------------------------------------------------
int32_t send_command(int32_t length);
int32_t interpret_reply(int32_t reply);
int32_t send_code(char c1, char c2, char c3);
int32_t send_window_command1(int32_t window, char letter, int32_t a);
int32_t send_window_command2(int32_t window, char letter, int32_t a, int32_t b);
int32_t send_window_command3(int32_t window, char letter, int32_t a, int32_t b, int32_t c);
// One pixel of the window (device point, colour as the program gave it):
// posted in a few bytes where it can be, else sent as the drawing command.
int32_t send_pixel(int32_t window, int32_t x, int32_t y, int32_t colour);
int32_t put_window_text(int32_t window, const char* text);
char* put_window_text_n(int32_t window, const char* text, int32_t length);
// Whether a file dialog's answer names a file: not empty, and its last part
// not a filter such as "*.clr" (a wildcard in it).
bool names_a_file(const char* path);
int32_t format_window_text(int32_t window, const char* format, ...);
int32_t request_values(int32_t code, int32_t* a, int32_t* b);
int32_t send_window_data(int32_t window, const void* bytes, int32_t count);
int32_t send_window_block(int32_t window, int32_t kind, const void* bytes, int32_t count);
int32_t probe_current_window();

// Copies a blank-padded text of a by-reference caller into out: at most
// max - 1 characters, stopping at a NUL, trailing blanks removed.
void copy_padded(char* out, size_t max, const char* text, int length);

// ---- Ending a link (defined with the window operations) ---------------------
int32_t end_link(int32_t mode);

// ---- Window table helpers ---------------------------------------------------
// The mapped block of window w, or null when w is out of range or not held.
unsigned char* window_view(int32_t window);
char* window_data(int32_t window);
// Makes w (held or not) the current window with its block and data area.
void make_current(int32_t window);

}  // namespace lumo

#endif
