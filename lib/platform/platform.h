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
// Delivers one command synchronously and stores the server's 32-bit reply.
// False when the command could not be delivered or answered (the server went
// away); the caller then finds server_window_exists() false.
bool send_copy_data(ServerWindow window, const CopyData* record, int32_t* reply);

// ---- Reporting --------------------------------------------------------------
unsigned long last_error();
// A top-most, owner-less message box with the system's default caption.
// Returns the button chosen.  Without a native box the text goes to stderr.
int message_box(const char* text, unsigned style);

}  // namespace lumo::platform

#endif
