#include "server/frontend/dialogs.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "server/canvas/ansi_text.h"

extern char** environ;

namespace lumo::server {
namespace {

constexpr char kCancel[] = "<cancel>";

bool on_path(const char* program) {
  const char* path = std::getenv("PATH");
  if (!path) return false;
  std::string dirs(path);
  size_t start = 0;
  while (start <= dirs.size()) {
    const size_t end = dirs.find(':', start);
    const std::string dir = dirs.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!dir.empty() && access((dir + "/" + program).c_str(), X_OK) == 0) return true;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return false;
}

}  // namespace

Dialogs::Dialogs(const std::string& answers, bool display) {
  if (!answers.empty()) answers_ = std::fopen(answers.c_str(), "r");
  zenity_ = display && on_path("zenity");
}

Dialogs::~Dialogs() {
  if (answers_) std::fclose(answers_);
}

bool Dialogs::next_answer(std::string* line) {
  if (!answers_) return false;
  char buf[4096];
  if (!std::fgets(buf, sizeof buf, answers_)) return false;
  *line = buf;
  while (!line->empty() && (line->back() == '\n' || line->back() == '\r')) line->pop_back();
  return true;
}

bool Dialogs::zenity(const char* const* args, std::string* out) {
  int fds[2];
  if (pipe(fds) != 0) return false;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>("zenity"));
  for (const char* const* a = args; *a; ++a) argv.push_back(const_cast<char*>(*a));
  argv.push_back(nullptr);
  pid_t pid = -1;
  const bool started = posix_spawnp(&pid, "zenity", &actions, nullptr, argv.data(), environ) == 0;
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  std::string text;
  char buf[512];
  ssize_t n;
  while (started && (n = read(fds[0], buf, sizeof buf)) > 0) text.append(buf, static_cast<size_t>(n));
  close(fds[0]);
  int status = 0;
  if (started) waitpid(pid, &status, 0);
  const size_t nl = text.find('\n');
  if (out) *out = text.substr(0, nl);
  return started && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool Dialogs::message(const std::string& title, const std::string& text) {
  std::string line;
  if (next_answer(&line)) return true;
  if (zenity_) {
    const std::string t = to_utf8(title), m = to_utf8(text);
    const char* args[] = {"--info", "--title", t.c_str(), "--text", m.c_str(), nullptr};
    zenity(args, nullptr);
    return true;
  }
  std::fprintf(stderr, "lumoview: %s: %s\n", title.c_str(), text.c_str());
  return true;
}

int Dialogs::ask(const std::string& title, const std::string& question) {
  std::string line;
  if (next_answer(&line)) {
    return (line == "yes" || line == "y" || line == "6") ? 6 : 7;
  }
  if (zenity_) {
    const std::string t = to_utf8(title), q = to_utf8(question);
    const char* args[] = {"--question", "--title", t.c_str(), "--text", q.c_str(), nullptr};
    return zenity(args, nullptr) ? 6 : 7;
  }
  return 0;
}

bool Dialogs::prompt(const std::string& title, const std::string& question, std::string* answer) {
  std::string line;
  if (next_answer(&line)) {
    if (line == kCancel) return false;
    *answer = line;
    return true;
  }
  if (zenity_) {
    const std::string t = to_utf8(title), q = to_utf8(question);
    const char* args[] = {"--entry", "--title", t.c_str(), "--text", q.c_str(), nullptr};
    return zenity(args, answer);
  }
  return false;
}

bool Dialogs::choose_file(const std::string& title, const std::string& initial, std::string* path) {
  std::string line;
  if (next_answer(&line)) {
    if (line == kCancel) return false;
    *path = line.empty() ? initial : line;
    return true;
  }
  if (zenity_) {
    const std::string t = to_utf8(title), i = to_utf8(initial);
    const char* args[] = {"--file-selection", "--title", t.c_str(), "--filename", i.c_str(),
                          nullptr};
    return zenity(args, path);
  }
  return false;
}

}  // namespace lumo::server
