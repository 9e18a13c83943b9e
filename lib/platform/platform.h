// The one seam between the library and the operating system.
//
// The library's own code never calls the OS; it asks for these services in
// its own terms.  lib/platform/win32 and lib/platform/posix each implement
// all of them, and the unit tests link a third, in-process implementation.
#ifndef LUMO_PLATFORM_H
#define LUMO_PLATFORM_H

#include <cstddef>
#include <cstdint>

namespace lumo::platform {

// The server's window handle as the server header publishes it (a signed
// decimal number).  0 means no window.
using ServerWindow = intptr_t;

// The WM_COPYDATA record: data kind, byte count, pointer to the bytes.
struct CopyData {
  uintptr_t kind;
  uint32_t size;
  const void* data;
};

// Message box styles and answers, with the values of the Win32 API.
inline constexpr unsigned kBoxOk = 0x00000000u;
inline constexpr unsigned kBoxAbortRetryIgnore = 0x00000002u;
inline constexpr unsigned kBoxIconError = 0x00000010u;
inline constexpr unsigned kBoxTopmost = 0x00040000u;
inline constexpr int kAnswerOk = 1;
inline constexpr int kAnswerAbort = 3;
inline constexpr int kAnswerIgnore = 5;

// ---- Named shared blocks ----------------------------------------------------
// Maps the whole named block read/write.  Returns its base, or null when no
// usable block of that name exists.  *size (when given) receives its length.
void* open_shared_block(const char* name, size_t* size);
// Unmaps a view.  False on failure; last_error() then tells why.
bool release_shared_block(void* view);

// ---- The server window ------------------------------------------------------
bool server_window_exists(ServerWindow window);
// Cheaper than server_window_exists where the transport notices a vanished
// server by itself during the next command.
bool ready_for_command(ServerWindow window);
// Delivers one command synchronously and stores the server's 32-bit reply.
// False when the command could not be delivered or answered (the server went
// away); the caller then finds server_window_exists() false.
bool send_copy_data(ServerWindow window, const CopyData* record, int32_t* reply);
// The text the server answered the last command sent with (a new window's
// "number,title" line, a request's values), where the connection carries it
// to this program alone; false when it does not (the server block then holds
// the answer) or the command had none.
bool last_answer(char* out, size_t size);
// The window block that goes with the next command sent (a window command):
// a transport that can carries a copy of it with the command, so the server
// reads the arguments as they were when sent.  Cleared by every send.
void attach_block(const unsigned char* view);
// Hands the server a drawing command that needs no answer, together with the
// first `block_bytes` bytes of the window block it reads, and returns without
// waiting for the drawing.  kSendInstead when this connection cannot post
// the command now (it must be sent); kGone when the server went away while
// the program waited for room.
enum class Posted { kPosted, kSendInstead, kGone };
Posted post_command(ServerWindow window, const CopyData* record, const unsigned char* block,
                    size_t block_bytes);
// A single pixel (the drawing command with the pixel code, the point and
// colour; `head` the window block's head as the call leaves it), posted in
// a few bytes where the connection can and nothing else of the head changed
// since the last posted command; otherwise kSendInstead, and it takes the
// way of every other command.
Posted post_pixel(ServerWindow window, unsigned char window_code, const unsigned char* head, int32_t x,
                  int32_t y, int32_t colour);

// ---- Reporting --------------------------------------------------------------
unsigned long last_error();
// A top-most, owner-less message box with the system's default caption.
// Returns the button chosen.  Without a native box the text goes to stderr.
int message_box(const char* text, unsigned style);


// ---- The program and its environment ----------------------------------------
// Directory separator of paths and separator of search-path lists.
// The server's file as the platform names it.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
inline constexpr char kListSeparator = ';';
inline constexpr char kServerFile[] = "lumoview.exe";
#else
inline constexpr char kPathSeparator = '/';
inline constexpr char kListSeparator = ':';
inline constexpr char kServerFile[] = "lumoview";
#endif

// Full path of the running program; false when it does not fit.
bool module_path(char* out, size_t size);
// The program's command line as the system received it.
const char* command_line();
// The current directory; false (and out empty) when it needs more than
// size - 1 characters.
bool current_directory(char* out, size_t size);
// An environment variable; false when unset or longer than size - 1.
bool get_env(const char* name, char* out, size_t size);
// Does a file exist at this path (the search for the server)?
bool file_exists(const char* path);
// The folder the kit was installed into ("" when the library was not built
// for installing): where the server is looked for last.
const char* installed_server_dir();
// Is the program's own file a PE executable whose subsystem is worth reading?
bool own_file_is_pe();
// The ANSI code page for messages: 932 selects Japanese.  An invalid system
// code page reads as 1252.
int32_t ansi_code_page();

// ---- Reading a file (the program-kind check) --------------------------------
using File = intptr_t;
inline constexpr File kNoFile = -1;
File file_open_read(const char* path);
bool file_read(File file, void* buffer, unsigned long count, unsigned long* got);
// Moves to an absolute offset; false on failure.
bool file_seek(File file, unsigned long offset);
void file_close(File file);

// ---- Starting the server ----------------------------------------------------
// Finds the server's file; does not return when there is none.
using LocateFn = const char* (*)(const char* name);
// Starts the server with the switch string as its command line and waits (at
// most 60 s) until it is ready.  Failures are silent: the caller scans for the
// server afterwards and reports what it does not find.
void launch_server(LocateFn locate, const char* switches);

// ---- The screen -------------------------------------------------------------
// Screen size in pixels; false when no screen can be asked (no DISPLAY, or
// a display that does not open; on Windows no desktop device context): the
// fixed 1024 x 768 below is stored then, the size a headless server tells
// too (man/lumo.3, SCREEN SIZE).
bool screen_size(int32_t* width, int32_t* height);
inline constexpr int32_t kDefaultScreenWidth = 1024;
inline constexpr int32_t kDefaultScreenHeight = 768;

// ---- Console keys -----------------------------------------------------------
// Non-zero when a key is waiting on the program's console.
int key_hit();
// Sleeps about `ms` milliseconds (waiting for input of a graphics window).
void sleep_ms(int ms);
// Waits for one key and returns its code, echoing it when asked; -1 when the
// input has ended.
int get_key(bool echo);
// The link began (true) or ended (false): while it lasts, keys typed on the
// console are neither echoed nor held back until a line ends.
void console_link(bool linked);

// ---- System colours ---------------------------------------------------------
inline constexpr int kSystemColours = 21;  // COLOR_SCROLLBAR .. COLOR_BTNHIGHLIGHT
// The colour reference (0x00BBGGRR) of system colour n, 0..20.
int32_t system_colour(int n);

}  // namespace lumo::platform

#endif
