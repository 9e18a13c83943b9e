// The POSIX server's own dialogs, drawn with Xlib and cairo so that a
// desktop needs no other program: a message with OK, a question with Yes
// and No, a text prompt with OK and Cancel, and a file dialog (the folder's
// entries, a name field, OK and Cancel).  Each is captioned with its
// window's title, stays above that window, and is modal: while it is up the
// server keeps its windows painted but carries out no commands.
#ifndef LUMO_SERVER_FRONTEND_X11_DIALOG_H
#define LUMO_SERVER_FRONTEND_X11_DIALOG_H

#include <X11/Xlib.h>

#include <functional>
#include <string>

namespace lumo::server {

struct DialogRequest {
  enum class Kind { kMessage, kQuestion, kPrompt, kFile };
  Kind kind = Kind::kMessage;
  std::string title;   // the window's title (a program's text)
  std::string text;    // the message, question or prompt; for a file the initial name or filter
  std::string folder;  // for a file: the folder relative names start from
};

struct DialogHooks {
  // An event for another of the server's windows.
  std::function<void(XEvent&)> other_event;
  // Called a few times a second; false ends the dialog as cancelled (the
  // program that asked is gone).
  std::function<bool()> keep_going;
};

// Shows the dialog above `owner` and waits for the user.  1 for OK or Yes,
// 0 for Cancel, No or a closed dialog.  A prompt's answer (as the program
// reads text) or the chosen file's whole path in *answer.
int run_x11_dialog(Display* display, ::Window owner, const DialogRequest& request,
                   std::string* answer, const DialogHooks& hooks);

}  // namespace lumo::server

#endif
