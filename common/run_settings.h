/* A run's own settings: the environment variables that say where a run's
 * pictures and figures go and what feeds its windows.  A server started for
 * one program takes a later program only when that program's settings are
 * the same (the library sends their fingerprint with its start-up command);
 * a program whose settings differ starts a server of its own, so each run's
 * settings apply to its own windows.  The library and the server compute the
 * fingerprint with this one function. */
#ifndef LUMO_COMMON_RUN_SETTINGS_H
#define LUMO_COMMON_RUN_SETTINGS_H

#include <cstddef>
#include <cstdint>

namespace lumo::wire {

inline constexpr const char* kRunSettings[] = {
    "LUMOVIEW_PNG_DIR", "LUMOVIEW_PNG_SCALE", "LUMOVIEW_SAVE",   "LUMOVIEW_EVENTS",
    "LUMOVIEW_ANSWERS", "LUMOVIEW_TRACE",     "LUMOVIEW_LIST_MB", "LUMOVIEW_MEMORY_MB",
    "LUMOVIEW_SERVE",   "LUMOVIEW_TOKEN",     "LUMOVIEW_SCALE",
};
// Whether the setting names a file or folder: a relative one means another
// place in another current folder.
inline bool run_setting_is_path(const char* name) {
  static constexpr const char* kPaths[] = {"LUMOVIEW_PNG_DIR", "LUMOVIEW_SAVE", "LUMOVIEW_EVENTS",
                                           "LUMOVIEW_ANSWERS", "LUMOVIEW_TRACE"};
  for (const char* p : kPaths) {
    const char* a = p;
    const char* b = name;
    while (*a && *a == *b) ++a, ++b;
    if (*a == *b) return true;
  }
  return false;
}

// The start-up command may carry the fingerprint after its terminator, as
// "S=" and eight hexadecimal digits.
inline constexpr char kSettingsTag[] = "S=";

// FNV-1a over "NAME=value\n" of every run setting that is set (and not
// empty), and the current folder when any setting that names a place is
// relative.  `get(name, out, size)` reads a variable (false: not set).
template <typename GetEnv>
uint32_t run_settings_fingerprint(GetEnv get, const char* current_folder) {
  uint32_t h = 2166136261u;
  auto mix = [&h](const char* s) {
    for (; *s; ++s) {
      h ^= static_cast<unsigned char>(*s);
      h *= 16777619u;
    }
  };
  bool relative = false;
  for (const char* name : kRunSettings) {
    char value[1024];
    if (!get(name, value, sizeof value) || !value[0]) continue;
    mix(name);
    mix("=");
    mix(value);
    mix("\n");
    if (run_setting_is_path(name) && value[0] != '/' && value[0] != '\\' &&
        !(value[0] && value[1] == ':')) {
      relative = true;
    }
  }
  if (relative && current_folder) {
    mix("in ");
    mix(current_folder);
  }
  return h;
}

}  // namespace lumo::wire

#endif
