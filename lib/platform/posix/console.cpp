// Console keys on POSIX: the terminal is switched to non-canonical input
// for the duration of one call and restored on every path.  When standard
// input is not a terminal, a "key" is simply the next byte of it.
#include <cerrno>
#include <cstdio>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include "lib/platform/platform.h"

namespace lumo::platform {
namespace {

class RawTerminal {
 public:
  explicit RawTerminal(int min_bytes) {
    active_ = isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &saved_) == 0;
    if (!active_) return;
    termios raw = saved_;
    raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    raw.c_cc[VMIN] = static_cast<cc_t>(min_bytes);
    raw.c_cc[VTIME] = 0;
    tcsetattr(STDIN_FILENO, TCSANOW, &raw);
  }
  ~RawTerminal() {
    if (active_) tcsetattr(STDIN_FILENO, TCSANOW, &saved_);
  }
  RawTerminal(const RawTerminal&) = delete;
  RawTerminal& operator=(const RawTerminal&) = delete;

 private:
  termios saved_{};
  bool active_ = false;
};

}  // namespace

int key_hit() {
  std::fflush(stdout);
  RawTerminal raw(0);
  pollfd p{STDIN_FILENO, POLLIN, 0};
  int r;
  do {
    r = poll(&p, 1, 0);
  } while (r < 0 && errno == EINTR);
  return r > 0 && (p.revents & (POLLIN | POLLHUP)) ? 1 : 0;
}

int get_key(bool echo) {
  std::fflush(stdout);
  unsigned char c = 0;
  ssize_t n;
  {
    RawTerminal raw(1);
    do {
      n = read(STDIN_FILENO, &c, 1);
    } while (n < 0 && errno == EINTR);
  }
  if (n != 1) return -1;
  if (echo) {
    std::fputc(c, stdout);
    std::fflush(stdout);
  }
  return c;
}

}  // namespace lumo::platform
