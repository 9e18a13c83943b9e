#include "server/frontend/dialogs.h"

#include <utility>

#include "server/canvas/ansi_text.h"
#include "server/core/pictures.h"

namespace lumo::server {
namespace {

constexpr char kCancel[] = "<cancel>";

bool names_a_file(const std::string& name) {
  return !name.empty() && name.find_first_of("*?") == std::string::npos && name.back() != '/';
}

}  // namespace

Dialogs::Dialogs(const std::string& answers, Show show) : show_(std::move(show)) {
  if (!answers.empty()) answers_ = std::fopen(answers.c_str(), "r");
}

Dialogs::~Dialogs() {
  if (answers_) std::fclose(answers_);
}

bool Dialogs::next_answer(std::string* line) {
  impossible_ = false;
  took_proposal_ = false;
  if (!answers_) {
    impossible_ = !show_;
    return false;
  }
  char buf[4096];
  if (!std::fgets(buf, sizeof buf, answers_)) {
    impossible_ = !show_;
    return false;
  }
  *line = buf;
  while (!line->empty() && (line->back() == '\n' || line->back() == '\r')) line->pop_back();
  return true;
}

bool Dialogs::message(const std::string& title, const std::string& text) {
  std::string line;
  if (next_answer(&line)) return true;
  if (show_) {
    show_({DialogRequest::Kind::kMessage, title, text, std::string()}, nullptr);
    return true;
  }
  std::fprintf(stderr, "lumoview: %s: %s\n", terminal_text(title).c_str(), terminal_text(text).c_str());
  return true;
}

int Dialogs::ask(const std::string& title, const std::string& question) {
  std::string line;
  if (next_answer(&line)) {
    return (line == "yes" || line == "y" || line == "6") ? 6 : 7;
  }
  if (show_) return show_({DialogRequest::Kind::kQuestion, title, question, std::string()}, nullptr) ? 6 : 7;
  return 0;
}

bool Dialogs::prompt(const std::string& title, const std::string& question, std::string* answer) {
  std::string line;
  if (next_answer(&line)) {
    if (line == kCancel) return false;
    *answer = line;
    return true;
  }
  if (show_) return show_({DialogRequest::Kind::kPrompt, title, question, std::string()}, answer) == 1;
  return false;
}

bool Dialogs::choose_file(const std::string& title, const std::string& initial, const std::string& folder,
                          std::string* path) {
  std::string line;
  if (next_answer(&line)) {
    if (line == kCancel) return false;
    *path = line.empty() ? initial : line;
    return true;
  }
  if (show_) return show_({DialogRequest::Kind::kFile, title, initial, folder}, path) == 1;
  // Nobody to ask and no script: a name the program proposed is taken, as
  // a person would take it with Return; a filter or nothing is refused.
  if (answers_ || !names_a_file(initial)) return false;
  *path = path_in(folder, initial);
  impossible_ = false;
  took_proposal_ = true;
  return true;
}

}  // namespace lumo::server
