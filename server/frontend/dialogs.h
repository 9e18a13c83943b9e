// The dialogs of the POSIX server: a scripted answer when LUMOVIEW_ANSWERS
// names a file, else the server's own dialog when a display is there, else
// a refusal (messages then go to stderr).
#ifndef LUMO_SERVER_FRONTEND_DIALOGS_H
#define LUMO_SERVER_FRONTEND_DIALOGS_H

#include <cstdio>
#include <functional>
#include <string>

#include "server/frontend/x11_dialog.h"

namespace lumo::server {

class Dialogs {
 public:
  // Shows a dialog and waits: 1 (OK, Yes) or 0 (Cancel, No), the answer in
  // the string.
  using Show = std::function<int(const DialogRequest&, std::string*)>;

  // answers: a file with one answer per line, used in order (may be empty).
  // show: null when no dialog can be shown.
  Dialogs(const std::string& answers, Show show);
  ~Dialogs();
  Dialogs(const Dialogs&) = delete;
  Dialogs& operator=(const Dialogs&) = delete;

  bool message(const std::string& title, const std::string& text);
  int ask(const std::string& title, const std::string& question);  // 6, 7 or 0
  bool prompt(const std::string& title, const std::string& question, std::string* answer);
  // folder: where relative names start (the asking program's folder).
  // Without a script and a way to show the dialog, a proposed file name
  // (not a filter) is the answer.
  bool choose_file(const std::string& title, const std::string& initial, const std::string& folder,
                   std::string* path);
  // Whether the last call had neither a scripted answer nor a way to show
  // a dialog.
  bool last_impossible() const { return impossible_; }
  // Whether the last file dialog, with neither, took the proposed name.
  bool last_took_proposal() const { return took_proposal_; }

 private:
  // The next scripted answer; false when there is none.
  bool next_answer(std::string* line);

  FILE* answers_ = nullptr;
  Show show_;
  bool impossible_ = false;
  bool took_proposal_ = false;
};

}  // namespace lumo::server

#endif
