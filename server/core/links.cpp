// The server's links and windows: a program's start-up, opening and closing
// windows, and the end of a program's link.
#include <algorithm>
#include <cctype>
#include <cstdio>

#include "common/lumo_wire.h"
#include "common/run_settings.h"
#include "server/core/server.h"

namespace lumo::server {

using namespace wire;

namespace {

constexpr int kSwitchLeavePictures = 5;

// The program's name from "dir;path;version": the file name of path without
// its extension.

std::string program_name(const std::string& startup) {
  const size_t last = startup.rfind(';');
  if (last == std::string::npos || last == 0) return "";
  const size_t before = startup.rfind(';', last - 1);
  std::string path = startup.substr(before == std::string::npos ? 0 : before + 1,
                                    last - (before == std::string::npos ? 0 : before + 1));
  const size_t slash = path.find_last_of("/\\");
  if (slash != std::string::npos) path = path.substr(slash + 1);
  const size_t dot = path.rfind('.');
  if (dot != std::string::npos && dot > 0) path = path.substr(0, dot);
  std::string safe;
  for (char ch : path) safe += (std::isalnum(static_cast<unsigned char>(ch)) || ch == '_' || ch == '-') ? ch : '_';
  return safe;
}

// The program's folder from "dir;path;version": all before the path.
std::string program_folder(const std::string& startup) {
  const size_t last = startup.rfind(';');
  if (last == std::string::npos || last == 0) return "";
  const size_t before = startup.rfind(';', last - 1);
  return before == std::string::npos ? std::string() : startup.substr(0, before);
}

}  // namespace

void Server::refused_setting(const std::string& text) {
  if (complaint) complaint(text);
  refused_settings_.push_back(text);
}

int32_t Server::start_command(Client& c, int id, const std::string& text, const std::string& extension) {
  int key = 0;
  int used = 0;
  if (std::sscanf(text.c_str(), "K,%d,%n", &key, &used) != 1 || used == 0 ||
      key != options_.key) {
    return 0;
  }
  // One program at a time: another that found this server waiting at the
  // same moment, or one whose own settings differ from those this server was
  // started with, is sent to find or start another; so is one that found
  // it just before it began to end.
  if (closing_) return kReplyServerTaken;
  for (const auto& other : clients_) {
    if (other.first != id && other.second.active) return kReplyServerTaken;
  }
  for (const auto& w : windows_) {
    if (w.second->owner != id) return kReplyServerTaken;
  }
  unsigned settings = 0;
  if (options_.settings_checked && extension.compare(0, 2, kSettingsTag) == 0 &&
      std::sscanf(extension.c_str() + 2, "%8x", &settings) == 1 && settings != options_.settings) {
    return kReplyServerTaken;
  }
  c.program = program_name(text.substr(static_cast<size_t>(used)));
  c.folder = program_folder(text.substr(static_cast<size_t>(used)));
  // What the server refused when it started concerns this program's run too.
  if (tell_program && !c.owner) {
    for (const std::string& refused : refused_settings_) tell_program(id, refused);
  }
  c.owner = true;
  c.active = true;
  ever_linked_ = true;
  return options_.key;
}

bool Server::open_asked(const std::string& text, OpenAsked* a) const {
  a->used = 0;
  if (std::sscanf(text.c_str(), "I,%d,%d,%d,%d,%d,%d,%n", &a->n, &a->width, &a->height, &a->colour1,
                  &a->colour2, &a->mode, &a->used) != 6 ||
      a->used == 0) {
    return false;
  }
  if (a->width <= 0 || a->height <= 0) {
    a->width = options_.width;
    a->height = options_.height;
  }
  a->width = std::min(a->width, kMaxWindowSize);
  a->height = std::min(a->height, kMaxWindowSize);
  return true;
}

int32_t Server::open_command(Client& c, int id, const std::string& text) {
  OpenAsked a;
  if (!open_asked(text, &a)) return 0;
  int n = a.n;
  const int width = a.width, height = a.height, colour1 = a.colour1, colour2 = a.colour2, used = a.used;
  const auto refused = [&](const std::string& why) {
    say(id, "a window of " + std::to_string(width) + " x " + std::to_string(height) + " pixels is refused: " + why);
    return 0;
  };
  if (!fits_budget(nullptr, width, height)) {
    return refused("the pictures would take more than " + std::to_string(options_.picture_budget >> 20) +
                   " MiB (LUMOVIEW_MEMORY_MB)");
  }
  // The number asked for when it is free, else the lowest free one; a number
  // whose block name is taken by someone else (a block another process
  // holds) is passed over.
  unsigned char* block = nullptr;
  const int asked = n;
  for (int k = kFirstWindow - 1; k <= kLastWindow && !block; ++k) {
    const int w = k < kFirstWindow ? asked : k;
    if (w < kFirstWindow || w > kLastWindow || windows_.count(w) || (k >= kFirstWindow && w == asked)) continue;
    block = host_.create_block(kBlockPrefix + std::to_string(number_) + ":" + std::to_string(w),
                               kWindowBlockSize);
    if (block) n = w;
  }
  if (!block) {
    say(id, "no window can be opened: every window number is in use, or its block's name is held by "
            "another process");
    return 0;
  }
  ColourTable first_colours;  // the background the picture is cleared to below
  if (colour1 >= 0) first_colours.set(kBackgroundEntry, colour1);
  frontend_.window_opening(n, width, height, options_.x, options_.y, first_colours.background());
  auto win = std::make_unique<Window>(n, block, canvases_.create(width, height, Rgb{255, 255, 255}),
                                      frontend_);
  if (!win->canvas().made()) {
    frontend_.window_closing(*win);
    host_.remove_block(kBlockPrefix + std::to_string(number_) + ":" + std::to_string(n));
    return refused("no memory could be had for its picture");
  }
  if (colour1 >= 0) win->colours().set(kBackgroundEntry, colour1);
  if (colour2 >= 0) win->colours().set(kForegroundEntry, colour2);
  win->canvas().clear(win->colours().background());
  win->initialise(width, height);
  win->dpi = options_.dpi;
  win->png_scale = options_.png_scale;
  win->display_list().set_limit(options_.list_limit);
  win->canvas().set_slice(options_.slice_seconds);
  win->slice_seconds = options_.slice_seconds;
  if (script_.active()) win->next_scripted = [this](InputEvent* e) { return script_.next(e); };
  Window* self = win.get();
  win->display_list().on_overflow = [this, n, self]() {
    say(self->owner, "window " + std::to_string(n) + " keeps its drawing as a picture: its display list passed " +
                         std::to_string(options_.list_limit >> 20) +
                         " MiB (vector files show what came before as an image)");
  };
  win->set_title(text.substr(static_cast<size_t>(used), kMaxTitle));
  win->owner = id;
  win->owner_program = c.program.empty() ? "lumoview" : c.program;
  win->owner_folder = c.folder;
  win->size_allowed = [this, self](int w, int h) {
    if (fits_budget(self, w, h)) return true;
    self->notice = "window " + std::to_string(self->number()) + " cannot be made " + std::to_string(w) + " x " +
                   std::to_string(h) + " pixels: the pictures would take more than " +
                   std::to_string(options_.picture_budget >> 20) + " MiB (LUMOVIEW_MEMORY_MB)";
    return false;
  };
  win->x = options_.x;
  win->y = options_.y;
  Window& ref = *win;
  windows_[n] = std::move(win);
  current_ = n;
  c.active = true;
  ever_linked_ = true;
  frontend_.window_opened(ref);
  // A large picture still being made: its program waits for the window
  // while the others are served.
  if (ref.figure_left()) {
    ref.working_for = id;
    any_work_ = true;
  }
  answer_ = window_line(ref);
  return n;
}

int32_t Server::close_window(int w, int client) {
  Window* win = window(w);
  if (!win) return 0;
  // A picture still being read or a file still being written is done
  // first: its program is answered as if the window had stayed.
  if (win->job_client() >= 0) {
    win->finish_work();
    answer_ended(*win);
  }
  save_picture(*win, client);
  frontend_.window_closing(*win);
  host_.remove_block(kBlockPrefix + std::to_string(number_) + ":" + std::to_string(w));
  // Its pictures still being written keep it (its block gone) until they are.
  for (PictureSave& save : saves_) {
    if (!save.closed && save.window == w) save.closed = std::move(windows_[w]);
  }
  windows_.erase(w);
  ++windows_gone_;
  if (current_ == w) current_ = windows_.empty() ? 0 : windows_.rbegin()->first;
  return current_;
}

void Server::begin_closing() {
  closing_ = true;
  refresh_header();
}

void Server::close_by_user(int w) {
  flush_pending();
  Window* win = window(w);
  if (!win) return;
  auto it = clients_.find(win->owner);
  if (it != clients_.end() && it->second.active) it->second.close_exit = true;
  close_window(w);
  refresh_header();
}

void Server::block_lost(const unsigned char* base) {
  if (base == server_block_) {
    if (complaint) complaint("a program cut the server block short; it is written afresh");
    refresh_header();
    return;
  }
  for (auto& entry : windows_) {
    Window& w = *entry.second;
    if (w.block() != base) continue;
    const int n = w.number();
    say(w.owner, "window " + std::to_string(n) + " is closed: a program cut its shared block short");
    close_by_user(n);
    return;
  }
}

int32_t Server::end_command(Client& c, int id) {
  if (c.active) {
    c.active = false;
    link_ended(id, true);
  }
  return 1;
}

void Server::client_gone(int client) {
  flush_pending();
  // What it asked for is done, as its drawing is, before its windows go.
  for (auto& entry : windows_) {
    if (entry.second->job_client() != client) continue;
    entry.second->finish_work();
    answer_ended(*entry.second);
  }
  late_replies_.erase(client);
  // Its pictures are still written, for nobody waiting (its number may
  // come to another program).
  for (PictureSave& save : saves_) {
    if (save.client == client) save.client = -1;
  }
  auto it = clients_.find(client);
  if (it == clients_.end()) return;
  const bool was_active = it->second.active;
  let_go(std::move(it->second.picture_made));
  clients_.erase(it);
  if (was_active) link_ended(client, false);
  // Its windows stay, owned by no program: the number may come to another
  // program's connection (a descriptor, a process id), which must not find
  // them its own, be told of their pictures or be ended when they close.
  for (auto& entry : windows_) {
    if (entry.second->owner == client) entry.second->owner = -1;
  }
  refresh_header();
}

void Server::link_ended(int id, bool waiting) {
  std::vector<int> closing;
  for (auto& entry : windows_) {
    Window& w = *entry.second;
    if (w.owner != id) continue;
    if (options_.switches[kSwitchLeavePictures]) save_picture(w, waiting ? id : -1);
    if (options_.switches[6]) closing.push_back(w.number());
  }
  for (int w : closing) close_window(w);
}

void Server::save_pictures(bool wait) {
  flush_pending();
  if (wait) finish_saves(0);  // then what was drawn since
  for (auto& entry : windows_) save_picture(*entry.second);
  if (wait) finish_saves(0);
}

bool Server::fits_budget(const Window* w, int width, int height, const Client* asking) const {
  int64_t total = int64_t{4} * width * height;
  // Memory being made for other programs' windows counts too.
  if (!asking) asking = handling_;
  for (const auto& c : clients_) {
    if (c.second.picture_made && &c.second != asking) total += c.second.picture_bytes;
  }
  for (const auto& entry : windows_) {
    if (entry.second.get() == w) continue;
    total += int64_t{4} * entry.second->canvas().width() * entry.second->canvas().height();
  }
  return total <= options_.picture_budget;
}

}  // namespace lumo::server
