// The server's options from its switch string and its environment.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "server/core/server.h"

namespace lumo::server {

void take_memory_settings(const std::function<std::string(const char*)>& get, Options* o,
                          std::vector<std::string>* refused) {
  // The largest: far past any machine's memory, and a display list's bytes
  // fit a size_t on a 32-bit server too.
  constexpr int64_t kMostMb = (int64_t{1} << 23) - 1;
  const int64_t most_list_mb = std::min<int64_t>(kMostMb, static_cast<int64_t>(SIZE_MAX >> 21));
  const struct {
    const char* name;
    int64_t default_mb, most_mb;
    std::function<void(int64_t)> set;
  } settings[] = {
      {"LUMOVIEW_MEMORY_MB", o->picture_budget >> 20, kMostMb, [o](int64_t mb) { o->picture_budget = mb << 20; }},
      {"LUMOVIEW_LIST_MB", static_cast<int64_t>(o->list_limit >> 20), most_list_mb,
       [o](int64_t mb) { o->list_limit = static_cast<size_t>(mb) << 20; }},
  };
  for (const auto& s : settings) {
    const std::string text = get(s.name);
    if (text.empty()) continue;
    char* end = nullptr;
    errno = 0;
    const long long mb = std::strtoll(text.c_str(), &end, 10);
    if (errno == 0 && end != text.c_str() && *end == '\0' && mb > 0 && mb <= s.most_mb) {
      s.set(mb);
    } else {
      refused->push_back(std::string(s.name) + "=" + text + " is refused: a whole number of MiB from 1 to " +
                         std::to_string(s.most_mb) + " is needed; " + std::to_string(s.default_mb) + " is used");
    }
  }
}

bool parse_switches(int argc, const char* const* argv, Options* o) {
  static const char kLetters[] = "tbrilo";
  bool ok = true;
  for (int i = 0; i < argc; ++i) {
    const char* s = argv[i];
    if (s[0] != '/' || !s[1]) continue;
    const char c = s[1];
    if (const char* p = std::strchr(kLetters, c | 0x20); p && !s[2]) {
      o->switches[static_cast<size_t>(p - kLetters) + 1] = (c >= 'a') ? 1 : 0;
    } else if (c == 'p') {
      ok &= std::sscanf(s + 2, "%d,%d", &o->x, &o->y) == 2;
    } else if (c == 's') {
      int w = 0, h = 0;
      if (std::sscanf(s + 2, "%d,%d", &w, &h) == 2 && Window::size_ok(w, h)) {
        o->width = w;
        o->height = h;
      } else {
        ok = false;
      }
    } else if (std::strncmp(s + 1, "dpi", 3) == 0) {
      int d = 0;
      if (std::sscanf(s + 4, "%d", &d) == 1 && d > 0 && d <= 1200) o->dpi = d;
    }
    // /a, /m and /z are accepted; they do not change how windows look here.
  }
  return ok;
}

}  // namespace lumo::server
