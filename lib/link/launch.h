// Start-up options, the switch string of a new server, and its search.
#ifndef LUMO_LINK_LAUNCH_H
#define LUMO_LINK_LAUNCH_H

#include <cstddef>
#include <cstdint>

namespace lumo {

// The nine start-up options; -1 (or any value out of range) leaves one out.
struct StartOptions {
  int32_t flags, x, y, width, height, a, m, z, dpi;
};

inline constexpr StartOptions kNoOptions = {-1, -1, -1, -1, -1, -1, -1, -1, -1};

// The server's full path on the search list (LUMODIR, the program's
// directory, ".", PATH); ends the program when it is nowhere.
const char* locate_server_executable(const char* name);

// Ends the program with the message every program gives (`first`) and,
// beside it, what the user can do about it (`hint`).
[[noreturn]] void fail_with_hint(const char* first, const char* hint);

// The switch string for a server started with these options.
void build_server_switches(char* out, size_t size, const StartOptions& options);

int32_t start_link(const StartOptions& options);

// Fills exe_path, gui_messages and code_page from the program itself.
void note_program_identity();
// Sets quoted_start when the command line begins with a double quote.
void note_command_line();

}  // namespace lumo

#endif
