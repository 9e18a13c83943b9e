// Reporting: the one way the library tells the user about a problem.
#ifndef LUMO_LINK_MESSAGES_H
#define LUMO_LINK_MESSAGES_H

#include <cstdarg>

namespace lumo {

enum class Msg {
  GetPath,
  NotOnSearchPath,
  UnmapFailed,
  CommunicationFailed,
  EndedAbnormally,
  BufferOverflow,
  LaunchFailed,
  WindowClosed,
  CannotExecute,
  InitFailed,
  VersionCountsDiffer,
  LibraryOlder,
  ServerOlder,
  IncompatibleVersion,
  NotSupported,
  CouldNotOpen,
  NotUnderstood,
  SetFilePointerFailed,
  MissingNtSignature,
  ReadFileFailed,
  WrongByteCount,
  OpenFailed,
  OpenNewWindowFailed,
  JoinFailed,
  JoinNoWindow,
  JoinQuestion,
  Count
};

struct MessageText {
  const char* english;
  const char* japanese;  // Shift-JIS bytes, or null when the text has no twin
};

extern const MessageText kCatalogue[static_cast<int>(Msg::Count)];

// The server's file as messages name it.
extern const char* const kServerExeName;

// The text of a message in the language of the link's code page: Japanese
// under code page 932 where a twin exists, English otherwise.
const char* message_text(Msg id);

// Formats into at most 255 characters and shows the text (message box in a
// GUI program, a line on stderr in a console program).  A fatal report, or an
// aborted warning, with windows open also ends the link (end_link(-1)).
int report_message(int fatal, const char* format, ...);
int report_message_v(int fatal, const char* format, va_list args);

// After a dialog request to window w: whether the server could show no
// dialog at all (it has no display).  The first time, the user is told on
// stderr; `message` (when not null) is a message the dialog would have
// shown, printed instead.
bool no_dialog_shown(int w, const char* message = nullptr);

// Fatal: report with the fatal flag, release the link, exit with status 1.
[[noreturn]] void fail(const char* format, ...);

}  // namespace lumo

#endif
