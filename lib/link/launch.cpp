// Finding the server's file and the switch string for a new server.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "lib/link/launch.h"
#include "lib/link/link.h"
#include "lib/link/messages.h"

namespace lumo {
namespace {

constexpr size_t kMaxPath = 260;  // paths including their terminator

char g_candidate[kMaxPath];
char g_library_dir[kMaxPath];
char g_program_dir[kMaxPath];
char g_path_list[32768];

// Tries one search entry; true (with g_candidate filled) when the file is there.
bool try_entry(const char* entry, size_t length, const char* name) {
  if (length == 0) return false;
  const bool has_separator = entry[length - 1] == platform::kPathSeparator;
  const size_t total = length + (has_separator ? 0 : 1) + std::strlen(name);
  // A candidate that would not fit a path is skipped, never cut short.
  if (total + 1 > kMaxPath) return false;
  std::memcpy(g_candidate, entry, length);
  size_t n = length;
  if (!has_separator) g_candidate[n++] = platform::kPathSeparator;
  std::strcpy(g_candidate + n, name);
  return platform::file_exists(g_candidate);
}

// Tries every entry of a list; empty entries vanish.
bool try_list(const char* list, const char* name) {
  const char* p = list;
  while (*p) {
    const char* end = std::strchr(p, platform::kListSeparator);
    const size_t length = end ? static_cast<size_t>(end - p) : std::strlen(p);
    if (try_entry(p, length, name)) return true;
    if (!end) break;
    p = end + 1;
  }
  return false;
}

// The server's file is nowhere: the message every program gives, then one
// line naming the places searched and what to set.
[[noreturn]] void not_found(const char* name, const char* library_dir, const char* program_dir,
                            const char* installed) {
  char first[kMaxPath + 64];
  std::snprintf(first, sizeof first, message_text(Msg::NotOnSearchPath), name);
  char hint[3 * kMaxPath + 200];
  std::snprintf(hint, sizeof hint,
                "Lumo: searched LUMODIR (%s), the program's folder (%s), the current folder, PATH%s%s; "
                "set LUMODIR to the folder that holds %s.",
                *library_dir ? library_dir : "not set", *program_dir ? program_dir : "unknown", *installed ? " and " : "", installed,
                name);
  fail_with_hint(first, hint);
}

void append(char* out, size_t size, const char* format, int a, int b = 0) {
  const size_t used = std::strlen(out);
  if (used < size) std::snprintf(out + used, size - used, format, a, b);
}

}  // namespace

void fail_with_hint(const char* first, const char* hint) {
  // A message box holds both; a console gets them whole, one a line.
  if (g_link.gui_messages) fail("%s\n%s", first, hint);
  std::fprintf(stderr, "%s\n%s\n", first, hint);
  std::fflush(stderr);
  release_link(-1);
  std::exit(1);
}

const char* locate_server_executable(const char* name) {
  // 1. The library directory: LUMODIR without its leading blanks.
  const char* library_dir = "";
  if (platform::get_env("LUMODIR", g_library_dir, kMaxPath - 1)) {
    library_dir = g_library_dir;
    while (*library_dir == ' ') ++library_dir;
  }
  // 2. The program's directory.
  std::snprintf(g_program_dir, sizeof g_program_dir, "%s", g_link.exe_path);
  if (char* cut = std::strrchr(g_program_dir, platform::kPathSeparator)) *cut = '\0';
  // 4. PATH (3 is the current directory).
  const bool have_path = platform::get_env("PATH", g_path_list, sizeof g_path_list);
  // 5. The folder the kit was installed into.
  const char* installed = platform::installed_server_dir();

  if (!*library_dir && !*g_program_dir && !have_path && !*installed) {
    fail(message_text(Msg::GetPath));
  }
  static const char kCurrent[] = ".";
  if (try_list(library_dir, name) || try_list(g_program_dir, name) ||
      try_entry(kCurrent, 1, name) || (have_path && try_list(g_path_list, name)) ||
      try_entry(installed, std::strlen(installed), name)) {
    return g_candidate;
  }
  not_found(name, library_dir, g_program_dir, installed);
}

void build_server_switches(char* out, size_t size, const StartOptions& o) {
  out[0] = '\0';
  static const char kLetters[] = "tbrilo";
  if (o.flags >= 0) {
    for (int bit = 0; bit < 6; ++bit) {
      if (o.flags & (1 << (bit + 16))) continue;
      const bool on = (o.flags & (1 << bit)) != 0;
      const char letter = on ? kLetters[bit] : static_cast<char>(kLetters[bit] - 'a' + 'A');
      append(out, size, " /%c", letter);
    }
  }
  if (o.x >= 0 && o.y >= 0) append(out, size, " /p%d,%d", o.x, o.y);
  if (o.width > 0 && o.height > 0) append(out, size, " /s%d,%d", o.width, o.height);
  if (o.a >= 1 && o.a <= 4) append(out, size, " /a%d", o.a);
  if (o.m >= 0 && o.m <= 14) append(out, size, " /m%d", o.m);
  if (o.z >= 1 && o.z <= 4) append(out, size, " /z%d", o.z);
  if (o.dpi >= 1 && o.dpi <= 1200) append(out, size, " /dpi%d", o.dpi);
}

}  // namespace lumo
