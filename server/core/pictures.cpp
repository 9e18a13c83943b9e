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

void Server::save_picture(Window& w) {
  if (w.picture_saved) return;
  const auto files = picture_files(w);
  if (files.empty()) return;
  std::string written, failed, failure;
  for (const auto& file : files) {
    const std::string folder = folder_of(file.first);
    auto known = unwritable_folders_.find(folder);
    std::string reason = known == unwritable_folders_.end() ? std::string() : known->second;
    if (reason.empty() && make_folder(folder, &reason)) {
      errno = 0;
      if (w.write_file(file.first, file.second)) {
        if (picture_written) picture_written(file.first);
        written += (written.empty() ? "" : ", ") + path_as_read_from(w.owner_folder, file.first);
        continue;
      }
      reason = w.refusal.empty() ? reason_of(errno) : w.refusal;
    }
    failed += (failed.empty() ? "" : ", ") + path_as_read_from(w.owner_folder, file.first);
    // A folder that cannot take one picture takes none: the log says it
    // once, and it is not tried again for every window.
    if (known == unwritable_folders_.end()) {
      unwritable_folders_[folder] = reason;
      if (complaint) complaint("cannot write pictures into " + folder + " (" + file.first + "): " + reason);
    }
    if (failure.empty()) failure = reason;
  }
  if (tell_program && !written.empty()) {
    tell_program(w.owner, "window " + std::to_string(w.number()) + " written to " + written);
  }
  if (tell_program && !failed.empty()) {
    tell_program(w.owner, "window " + std::to_string(w.number()) + " cannot be written to " + failed + ": " + failure);
  }
  w.picture_saved = true;
}

void Server::say(int client, const std::string& text) {
  if (complaint) complaint(text);
  if (tell_program && client >= 0) tell_program(client, text);
}

}  // namespace lumo::server
