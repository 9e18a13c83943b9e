// The web view's settings as the user gives them: "[ADDRESS:]PORT" and the
// token (web_view.h).
#include "server/web/web_view.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <sys/random.h>
#include <time.h>
#include <unistd.h>

#include "server/web/web_proof.h"

namespace lumo::server {

bool parse_web_address(const std::string& text, WebSettings* settings, std::string* error) {
  std::string address = settings->address;
  std::string port = text;
  if (!text.empty() && text[0] == '[') {
    const size_t close = text.find(']');
    if (close == std::string::npos || close + 1 >= text.size() || text[close + 1] != ':') {
      *error = "\"" + text + "\" is not [ADDRESS]:PORT";
      return false;
    }
    address = text.substr(1, close - 1);
    port = text.substr(close + 2);
  } else if (const size_t colon = text.rfind(':'); colon != std::string::npos) {
    address = text.substr(0, colon);
    port = text.substr(colon + 1);
  }
  char* end = nullptr;
  const long value = port.empty() ? -1 : std::strtol(port.c_str(), &end, 10);
  if (port.empty() || *end || value < 0 || value > 65535 || address.empty()) {
    *error = "\"" + text + "\" is not [ADDRESS:]PORT (PORT 0 to 65535, 0: any free port)";
    return false;
  }
  settings->address = address;
  settings->port = static_cast<int>(value);
  return true;
}

bool web_token_ok(const std::string& token) {
  if (token.empty() || token.size() > 128) return false;
  for (const char c : token) {
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '.' || c == '_' || c == '~';
    if (!plain) return false;
  }
  return true;
}

std::string random_web_token() {
  unsigned char bytes[16];
  size_t got = 0;
  while (got < sizeof bytes) {
    const ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  if (got < sizeof bytes) {
    // No randomness to be had: the clock and the process, never a fixed token.
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    uint64_t v = static_cast<uint64_t>(ts.tv_nsec) * 0x9E3779B97F4A7C15ull ^ static_cast<uint64_t>(getpid());
    for (size_t i = got; i < sizeof bytes; ++i, v = v * 6364136223846793005ull + 1442695040888963407ull) {
      bytes[i] = static_cast<unsigned char>(v >> 56);
    }
  }
  return hex_of(bytes, sizeof bytes);
}

}  // namespace lumo::server
