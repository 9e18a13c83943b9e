// Where the server writes a window's pictures at its program's end, what
// they are called, and what the program is told about them.
//
// A picture is named "<program>-<window>.<ext>" after the program that
// opened the window and the window's number, whatever else runs: a later
// run replaces an earlier run's file of the same name.  A relative folder
// (LUMOVIEW_PNG_DIR, LUMOVIEW_SAVE) starts in the folder the program was
// run in, is made when missing, and without any folder named a server
// without a display writes PNG files into the program's folder.
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "server/core/pictures.h"
#include "server/core/server.h"

namespace lumo::server {

namespace {

bool is_separator(char c) {
#ifdef _WIN32
  return c == '/' || c == '\\';
#else
  return c == '/';
#endif
}

bool is_absolute(const std::string& path) {
  if (!path.empty() && is_separator(path[0])) return true;
#ifdef _WIN32
  if (path.size() >= 2 && path[1] == ':') return true;
#endif
  return false;
}

}  // namespace

std::string path_in(const std::string& folder, const std::string& path) {
  if (folder.empty() || path.empty() || is_absolute(path)) return path;
  if (is_separator(folder.back())) return folder + path;
#ifdef _WIN32
  return folder + "\\" + path;
#else
  return folder + "/" + path;
#endif
}

std::string path_as_read_from(const std::string& folder, const std::string& path) {
  if (folder.empty() || path.size() <= folder.size() || path.compare(0, folder.size(), folder) != 0) {
    return path;
  }
  if (is_separator(folder.back())) return path.substr(folder.size());
  return is_separator(path[folder.size()]) ? path.substr(folder.size() + 1) : path;
}

std::string folder_of(const std::string& path) {
  size_t cut = path.size();
  while (cut > 0 && !is_separator(path[cut - 1])) --cut;
  if (cut == 0) return ".";
  return cut == 1 ? path.substr(0, 1) : path.substr(0, cut - 1);
}

bool make_folder(const std::string& folder, std::string* reason) {
  std::error_code error;
  const std::filesystem::path p(folder);
  if (std::filesystem::is_directory(p, error)) return true;
  std::filesystem::create_directories(p, error);
  if (!error && std::filesystem::is_directory(p, error)) return true;
  *reason = error ? error.message() : std::strerror(ENOTDIR);
  return false;
}

std::string reason_of(int error) {
  return error ? std::string(std::strerror(error)) : std::string("the file could not be written");
}

// The files a window is written to at its program's end: PNG into the
// picture folder, each figure format into the figure folder.
std::vector<std::pair<std::string, FigureFormat>> Server::picture_files(const Window& w) const {
  std::vector<std::pair<std::string, FigureFormat>> files;
  const std::string name = w.owner_program + "-" + std::to_string(w.number());
  std::string png_dir = options_.png_dir;
  if (png_dir.empty() && options_.figure_dir.empty() && options_.pictures_by_default) {
    png_dir = w.owner_folder.empty() ? "." : w.owner_folder;
  }
  if (!png_dir.empty()) {
    files.push_back({path_in(path_in(w.owner_folder, png_dir), name + ".png"), FigureFormat::kPng});
  }
  if (!options_.figure_dir.empty()) {
    const std::string dir = path_in(w.owner_folder, options_.figure_dir);
    for (FigureFormat f : options_.figure_formats) {
      files.push_back({path_in(dir, name + "." + figure_extension(f)), f});
    }
  }
  return files;
}

// The pictures are written a file at a time, each beside the loop where
// the canvas can: a large window's PNG takes a good part of a second, and
// other programs are served meanwhile.  The program waiting for them is
// answered once the last is written, after the lines that tell it where.
void Server::save_picture(Window& w, int client) {
  if (w.picture_saved) return;
  for (const PictureSave& s : saves_) {
    if (!s.closed && s.window == w.number()) return;  // being written
  }
  auto files = picture_files(w);
  if (files.empty()) return;
  // Drawing while it is written marks it unsaved again.
  w.picture_saved = true;
  saves_.emplace_back();
  PictureSave& save = saves_.back();
  save.window = w.number();
  save.client = client;
  if (teller) {
    save.tell = teller(w.owner);
  } else if (tell_program) {
    save.tell = [this, owner = w.owner](const std::string& text) { tell_program(owner, text); };
  }
  save.files = std::move(files);
  any_work_ = true;
  if (advance_save(save, 0)) saves_.pop_back();
}

bool Server::advance_save(PictureSave& s, double seconds) {
  Window& w = s.closed ? *s.closed : *window(s.window);
  for (;;) {
    if (s.task) {
      if (!s.task->wait(seconds)) return false;
      const bool written = s.task->succeeded();
      const int error = s.task->error();
      s.task.reset();
      picture_ended(w, s, written, written ? std::string() : reason_of(error));
      continue;
    }
    if (s.next == s.files.size()) break;
    const auto& file = s.files[s.next];
    const std::string folder = folder_of(file.first);
    auto known = unwritable_folders_.find(folder);
    std::string reason = known == unwritable_folders_.end() ? std::string() : known->second;
    if (reason.empty() && make_folder(folder, &reason)) {
      s.task = w.start_file_write(file.first, file.second);
      if (s.task) continue;
      errno = 0;
      const bool written = w.write_file(file.first, file.second);
      picture_ended(w, s, written, written ? std::string() : w.refusal.empty() ? reason_of(errno) : w.refusal);
      continue;
    }
    picture_ended(w, s, false, reason);
  }
  const std::string number = std::to_string(s.window);
  if (s.tell && !s.written.empty()) s.tell("window " + number + " written to " + s.written);
  if (s.tell && !s.failed.empty()) s.tell("window " + number + " cannot be written to " + s.failed + ": " + s.failure);
  return true;
}

void Server::advance_saves(double first_wait) {
  for (size_t i = 0; i < saves_.size();) {
    if (advance_save(saves_[i], i == 0 ? first_wait : 0)) {
      saves_.erase(saves_.begin() + static_cast<std::ptrdiff_t>(i));
    } else {
      ++i;
    }
  }
}

void Server::picture_ended(Window& w, PictureSave& s, bool written, const std::string& reason) {
  const std::string& path = s.files[s.next++].first;
  if (written) {
    if (picture_written) picture_written(path);
    s.written += (s.written.empty() ? "" : ", ") + path_as_read_from(w.owner_folder, path);
    return;
  }
  s.failed += (s.failed.empty() ? "" : ", ") + path_as_read_from(w.owner_folder, path);
  // A folder that cannot take one picture takes none: the log says it
  // once, and it is not tried again for every window.
  const std::string folder = folder_of(path);
  if (!unwritable_folders_.count(folder)) {
    unwritable_folders_[folder] = reason;
    if (complaint) complaint("cannot write pictures into " + folder + " (" + path + "): " + reason);
  }
  if (s.failure.empty()) s.failure = reason;
}

void Server::finish_saves(int w) {
  for (size_t i = 0; i < saves_.size();) {
    PictureSave& s = saves_[i];
    if (w != 0 && (s.closed || s.window != w)) {
      ++i;
      continue;
    }
    while (!advance_save(s, 1)) {
    }
    saves_.erase(saves_.begin() + static_cast<std::ptrdiff_t>(i));
  }
}

void Server::say(int client, const std::string& text) {
  if (complaint) complaint(text);
  if (tell_program && client >= 0) tell_program(client, text);
}

}  // namespace lumo::server
