#include "server/core/events.h"

#include <cstdio>
#include <fstream>
#include <sstream>

namespace lumo::server {

bool EventScript::load(const std::string& path, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "cannot read " + path;
    return false;
  }
  std::stringstream text;
  text << in.rdbuf();
  return parse(text.str(), error);
}

bool EventScript::parse(const std::string& text, std::string* error) {
  std::vector<Step> steps;
  std::istringstream lines(text);
  std::string line;
  for (int number = 1; std::getline(lines, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::istringstream words(line.substr(0, line.find('#')));  // '#' starts a comment
    std::string word;
    if (!(words >> word)) continue;
    Step step{kEvent, {}};
    long a = 0, b = 0, c = 0;
    bool ok = false;
    if (word == "click") {
      ok = static_cast<bool>(words >> a >> b >> c) && a >= 1 && a <= 3;
      step.event = {kEventButton, static_cast<int32_t>(a), static_cast<int32_t>(b), static_cast<int32_t>(c)};
    } else if (word == "key") {
      ok = static_cast<bool>(words >> a) && a >= 1 && a <= 511;
      step.event = {kEventKey, static_cast<int32_t>(a), 0, 0};
    } else if (word == "wheel") {
      ok = static_cast<bool>(words >> a >> b >> c) && (a == 1 || a == -1);
      step.event = {kEventWheel, static_cast<int32_t>(a), static_cast<int32_t>(b), static_cast<int32_t>(c)};
    } else if (word == "close") {
      ok = true;
      step.next = kClose;
    }
    std::string rest;
    if (!ok || (words >> rest)) {
      *error = "line " + std::to_string(number) + " is not an event: " + line;
      return false;
    }
    steps.push_back(step);
  }
  steps_ = steps;
  at_ = 0;
  return true;
}

EventScript::Next EventScript::next(InputEvent* e) {
  if (at_ >= steps_.size()) return kDone;
  const Step& s = steps_[at_++];
  *e = s.event;
  return s.next;
}

}  // namespace lumo::server
