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

// Each setting, and whether it names a file or folder (a relative one means
// another place in another current folder).
struct RunSetting {
  const char* name;
  bool names_a_place;
};
inline constexpr RunSetting kRunSettings[] = {
    {"LUMOVIEW_PNG_DIR", true},   {"LUMOVIEW_PNG_SCALE", false}, {"LUMOVIEW_SAVE", true},
    {"LUMOVIEW_EVENTS", true},    {"LUMOVIEW_ANSWERS", true},    {"LUMOVIEW_TRACE", true},
    {"LUMOVIEW_LIST_MB", false},  {"LUMOVIEW_MEMORY_MB", false}, {"LUMOVIEW_SERVE", false},
    {"LUMOVIEW_TOKEN", false},    {"LUMOVIEW_SCALE", false},
};

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
  for (const RunSetting& setting : kRunSettings) {
    char value[1024];
    if (!get(setting.name, value, sizeof value) || !value[0]) continue;
    mix(setting.name);
    mix("=");
    mix(value);
    mix("\n");
    if (setting.names_a_place && value[0] != '/' && value[0] != '\\' && value[1] != ':') relative = true;
  }
  if (relative && current_folder) {
    mix("in ");
    mix(current_folder);
  }
  return h;
}

}  // namespace lumo::wire

#endif
