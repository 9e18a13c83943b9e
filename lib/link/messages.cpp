#include "lib/link/messages.h"

#include <cstdio>
#include <cstdlib>

#include "lib/link/link.h"
#include "lib/platform/platform.h"

namespace lumo {

const char* const kServerExeName = platform::kServerFile;

namespace {
constexpr int kJapaneseCodePage = 932;
constexpr int kMessageBuffer = 256;
}  // namespace

const char* message_text(Msg id) {
  const MessageText& m = kCatalogue[static_cast<int>(id)];
  return (g_link.code_page == kJapaneseCodePage && m.japanese) ? m.japanese : m.english;
}

int report_message_v(int fatal, const char* format, va_list args) {
  // vsnprintf cuts a longer text at 255 characters and always terminates.
  char text[kMessageBuffer];
  std::vsnprintf(text, sizeof text, format, args);

  if (g_link.gui_messages) {
    const unsigned style =
        platform::kBoxTopmost | platform::kBoxIconError |
        (fatal ? platform::kBoxOk : platform::kBoxAbortRetryIgnore);
    const int answer = platform::message_box(text, style);
    if (answer == platform::kAnswerAbort && g_link.view_count > 0) return end_link(-1);
    return answer;
  }
  const int written = std::fprintf(stderr, "%s\n", text);
  std::fflush(stderr);
  if (fatal && g_link.view_count > 0) return end_link(-1);
  return written;
}

int report_message(int fatal, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int r = report_message_v(fatal, format, args);
  va_end(args);
  return r;
}

bool no_dialog_shown(int w, const char* message) {
  static bool told = false;
  const unsigned char* v = window_view(w);
  if (!v || read_i32(v, wire::kResult0) != wire::kNoDialog) return false;
  if (!told) {
    told = true;
    std::fprintf(stderr,
                 "Lumo: the graphics server has no display, so it cannot show dialogs: messages "
                 "are printed here, questions and prompts are refused, and a file dialog takes the "
                 "file name proposed (a filter is refused).\n");
  }
  if (message) std::fprintf(stderr, "%s\n", message);
  std::fflush(stderr);
  return true;
}

void fail(const char* format, ...) {
  va_list args;
  va_start(args, format);
  report_message_v(1, format, args);
  va_end(args);
  release_link(-1);
  std::exit(1);
}

}  // namespace lumo
