// Reporting on POSIX.  There is no native message box: the text goes to
// stderr and the box answers as a user who lets the program go on would.
#include <cstdio>

#include "lib/platform/platform.h"
#include "lib/platform/posix/posix_internal.h"

namespace lumo::platform {
namespace {
int g_last_error = 0;
}

namespace posix {
void set_error(int error) { g_last_error = error; }
}  // namespace posix

unsigned long last_error() { return static_cast<unsigned long>(g_last_error); }

int message_box(const char* text, unsigned style) {
  std::fprintf(stderr, "%s\n", text ? text : "");
  std::fflush(stderr);
  return (style & 0xFu) == kBoxAbortRetryIgnore ? kAnswerIgnore : kAnswerOk;
}

}  // namespace lumo::platform
