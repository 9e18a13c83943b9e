// The dialogs of the POSIX server: scripted answers (LUMOVIEW_ANSWERS), the
// desktop's own dialogs through zenity when a display is there, or a
// refusal.
#ifndef LUMO_SERVER_FRONTEND_DIALOGS_H
#define LUMO_SERVER_FRONTEND_DIALOGS_H

#include <cstdio>
#include <string>

namespace lumo::server {

class Dialogs {
 public:
  // answers: a file with one answer per line, used in order (may be empty).
  Dialogs(const std::string& answers, bool display);
  ~Dialogs();

  bool message(const std::string& title, const std::string& text);
  int ask(const std::string& title, const std::string& question);  // 6, 7 or 0
  bool prompt(const std::string& title, const std::string& question, std::string* answer);
  bool choose_file(const std::string& title, const std::string& initial, std::string* path);

 private:
  // The next scripted answer; false when there is none.
  bool next_answer(std::string* line);
  // Runs zenity with these arguments; its output's first line in *out.
  bool zenity(const char* const* args, std::string* out);

  FILE* answers_ = nullptr;
  bool zenity_ = false;
};

}  // namespace lumo::server

#endif
