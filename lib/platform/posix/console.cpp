// Console keys on POSIX, as the Windows console gives them.
//
// While a program is linked its terminal stays in non-canonical input
// without echo: a key typed while the program draws is neither shown nor
// held back until a line ends, and LmKeyHit sees it at once.  Outside a link
// the terminal is switched for the duration of one call.  The terminal is
// put back when the link ends, when the program exits (an exit handler made
// once) and on SIGINT, SIGTERM, SIGHUP, SIGQUIT and the crash signals (only
// where the program has not set a handler of its own), then the signal does
// what it would have done.  When standard input is not a terminal, a key is
// the next byte of it.
//
// Keys read as _getch reads them on Windows: Enter 13, Backspace 8, Escape
// 27; arrows, Home, End, Page Up and Down, Insert and Delete as 224 followed
// by the Windows scan code; F1..F10 as 0 and the scan code, F11 and F12 as
// 224 and the scan code.  A line end of CR LF (piped text from Windows) is
// one Enter, as the Windows console gives one 13 per Enter.  docs/keys.md
// has the table.
//
// The echo shows what the key does on a console: Enter starts a new line,
// Backspace moves back one place (the byte 8, as _getche writes it), and a
// UTF-8 character is written whole with its first byte, so that the
// terminal never holds half a character; its later bytes, still returned as
// keys of their own, echo nothing.
#include <cerrno>
#include <ctime>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include "lib/platform/platform.h"

namespace lumo::platform {
namespace {

constexpr int kSequenceWaitMs = 30;  // the bytes of one key's escape sequence come together

struct Console {
  bool held = false;         // kept raw for the link
  bool exit_handler = false;
  termios saved{};
  int queue[8] = {};
  int queued = 0;
  int pushed = -1;           // a byte read ahead that is no part of the key before it
  bool after_cr = false;     // the last byte read was CR: a LF right after it is the same Enter
};
Console g_console;

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
constexpr int kSignalCount = static_cast<int>(sizeof kSignals / sizeof kSignals[0]);
bool g_ours[kSignalCount];

void restore_terminal() {
  if (g_console.held) tcsetattr(STDIN_FILENO, TCSANOW, &g_console.saved);
}

// Puts the terminal back, then lets the signal do what it would have done.
void on_signal(int sig) {
  restore_terminal();
  signal(sig, SIG_DFL);
  raise(sig);
}

void on_exit() {
  restore_terminal();
  g_console.held = false;
}

termios raw_from(const termios& t, int min_bytes) {
  termios raw = t;
  raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
  raw.c_cc[VMIN] = static_cast<cc_t>(min_bytes);
  raw.c_cc[VTIME] = 0;
  return raw;
}

// Raw input for one call when the link does not hold it.
class RawTerminal {
 public:
  explicit RawTerminal(int min_bytes) {
    active_ = !g_console.held && isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &saved_) == 0;
    if (active_) {
      const termios raw = raw_from(saved_, min_bytes);
      tcsetattr(STDIN_FILENO, TCSANOW, &raw);
    }
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

bool byte_waiting(int timeout_ms) {
  if (g_console.pushed >= 0) return true;
  pollfd p{STDIN_FILENO, POLLIN, 0};
  int r;
  do {
    r = poll(&p, 1, timeout_ms);
  } while (r < 0 && errno == EINTR);
  return r > 0 && (p.revents & (POLLIN | POLLHUP));
}

// One byte, waiting for it; -1 at the end of the input.  With a timeout,
// -2 when none came in time.
int read_byte(int timeout_ms = -1) {
  if (g_console.pushed >= 0) {
    const int c = g_console.pushed;
    g_console.pushed = -1;
    return c;
  }
  if (timeout_ms >= 0 && !byte_waiting(timeout_ms)) return -2;
  unsigned char c = 0;
  ssize_t n;
  do {
    n = read(STDIN_FILENO, &c, 1);
  } while (n < 0 && errno == EINTR);
  return n == 1 ? c : -1;
}

void queue_key(int k) {
  if (g_console.queued < 8) g_console.queue[g_console.queued++] = k;
}

int take_queued() {
  const int k = g_console.queue[0];
  --g_console.queued;
  std::memmove(g_console.queue, g_console.queue + 1, sizeof(int) * static_cast<size_t>(g_console.queued));
  return k;
}

struct Sequence {
  const char* text;  // after the escape byte
  int first, second;
};

// The terminal's sequences and the codes _getch gives for the same keys.
constexpr Sequence kSequences[] = {
    {"[A", 224, 72}, {"OA", 224, 72}, {"[B", 224, 80}, {"OB", 224, 80},
    {"[C", 224, 77}, {"OC", 224, 77}, {"[D", 224, 75}, {"OD", 224, 75},
    {"[H", 224, 71}, {"OH", 224, 71}, {"[1~", 224, 71}, {"[7~", 224, 71},
    {"[F", 224, 79}, {"OF", 224, 79}, {"[4~", 224, 79}, {"[8~", 224, 79},
    {"[5~", 224, 73}, {"[6~", 224, 81}, {"[2~", 224, 82}, {"[3~", 224, 83},
    {"OP", 0, 59}, {"OQ", 0, 60}, {"OR", 0, 61}, {"OS", 0, 62},
    {"[11~", 0, 59}, {"[12~", 0, 60}, {"[13~", 0, 61}, {"[14~", 0, 62},
    {"[15~", 0, 63}, {"[17~", 0, 64}, {"[18~", 0, 65}, {"[19~", 0, 66},
    {"[20~", 0, 67}, {"[21~", 0, 68}, {"[23~", 224, 133}, {"[24~", 224, 134},
};

// After an escape byte: the rest of a key's sequence, when one follows at
// once.  A known sequence gives its two codes; anything else gives the
// escape key and then the bytes as they came.
int after_escape() {
  char text[8];
  int n = 0;
  int c = read_byte(kSequenceWaitMs);
  if (c == '[' || c == 'O') {
    text[n++] = static_cast<char>(c);
    while (n < 7) {
      c = read_byte(kSequenceWaitMs);
      if (c < 0) break;
      text[n++] = static_cast<char>(c);
      if (c >= 0x40 && c <= 0x7E) break;  // the final byte
    }
    text[n] = '\0';
    for (const Sequence& s : kSequences) {
      if (std::strcmp(s.text, text) == 0) {
        queue_key(s.second);
        return s.first;
      }
    }
    for (int i = 0; i < n; ++i) queue_key(static_cast<unsigned char>(text[i]));
    return 27;
  }
  if (c >= 0) queue_key(c);
  return 27;
}

// The bytes a key writes when echoed.
struct Echo {
  char bytes[4];
  int length = 0;
  void add(int c) {
    if (length < 4) bytes[length++] = static_cast<char>(c);
  }
};

// After the first byte of a UTF-8 character: its further bytes, when they
// follow at once, are queued as keys and join the echo.  A byte that cannot
// continue the character is left for the next key.
void utf8_rest(int first, Echo* echo) {
  const int more = first >= 0xF0 ? 3 : first >= 0xE0 ? 2 : 1;
  for (int i = 0; i < more; ++i) {
    const int c = read_byte(kSequenceWaitMs);
    if (c < 0) return;
    if ((c & 0xC0) != 0x80) {
      g_console.pushed = c;
      return;
    }
    queue_key(c);
    echo->add(c);
  }
}

// Reads the next byte, dropping the LF of a CR LF pair.
int read_key_byte() {
  int c = read_byte();
  if (c == '\n' && g_console.after_cr) c = read_byte();
  g_console.after_cr = c == '\r';
  return c;
}

// One key as _getch would give it, and what echoing it writes.
int next_key(Echo* echo) {
  if (g_console.queued) return take_queued();
  const int c = read_key_byte();
  if (c < 0) return -1;
  switch (c) {
    case '\r':
    case '\n':             // the terminal's line end is Enter
      echo->add('\n');
      return 13;
    case 8:
    case 127:              // the terminal's Backspace
      echo->add(8);
      return 8;
    case 27:
      return after_escape();
    default:
      echo->add(c);
      if (c >= 0xC2 && c <= 0xF4) utf8_rest(c, echo);
      return c;
  }
}

}  // namespace

void console_link(bool linked) {
  if (linked) {
    if (g_console.held || !isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &g_console.saved) != 0) return;
    const termios raw = raw_from(g_console.saved, 1);
    if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) != 0) return;
    g_console.held = true;
    if (!g_console.exit_handler) g_console.exit_handler = std::atexit(on_exit) == 0;
    for (int i = 0; i < kSignalCount; ++i) {
      struct sigaction now {};
      g_ours[i] = false;
      if (sigaction(kSignals[i], nullptr, &now) != 0 || now.sa_handler != SIG_DFL) continue;
      struct sigaction mine {};
      mine.sa_handler = on_signal;
      sigemptyset(&mine.sa_mask);
      g_ours[i] = sigaction(kSignals[i], &mine, nullptr) == 0;
    }
    return;
  }
  if (!g_console.held) return;
  restore_terminal();
  g_console.held = false;
  for (int i = 0; i < kSignalCount; ++i) {
    if (!g_ours[i]) continue;
    struct sigaction now {};
    if (sigaction(kSignals[i], nullptr, &now) == 0 && now.sa_handler == on_signal) signal(kSignals[i], SIG_DFL);
    g_ours[i] = false;
  }
}

void sleep_ms(int ms) {
  timespec t{ms / 1000, (ms % 1000) * 1000000L};
  while (nanosleep(&t, &t) != 0 && errno == EINTR) {
  }
}

int key_hit() {
  std::fflush(stdout);
  if (g_console.queued) return 1;
  RawTerminal raw(0);
  // The LF of a CR LF pair is no key of its own.
  if (g_console.after_cr && g_console.pushed < 0 && byte_waiting(0)) {
    const int c = read_byte();
    g_console.after_cr = false;
    if (c < 0) return 1;  // the end of the input: the next read says so
    if (c != '\n') g_console.pushed = c;
  }
  return byte_waiting(0) ? 1 : 0;
}

int get_key(bool echo) {
  std::fflush(stdout);
  int key;
  Echo shown;
  {
    RawTerminal raw(1);
    key = next_key(&shown);
  }
  if (echo && shown.length) {
    std::fwrite(shown.bytes, 1, static_cast<size_t>(shown.length), stdout);
    std::fflush(stdout);
  }
  return key;
}

}  // namespace lumo::platform
