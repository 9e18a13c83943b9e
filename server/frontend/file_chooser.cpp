#include "server/frontend/file_chooser.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>

namespace lumo::server {
namespace {

constexpr size_t kMostEntries = 10000;  // a folder larger than this shows its first ones

bool has_wildcard(const std::string& s) { return s.find_first_of("*?[") != std::string::npos; }

bool is_folder(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The folder part and the last part of a name ("" and the name when it
// has no folder part).
void split(const std::string& name, std::string* folder, std::string* last) {
  const size_t slash = name.rfind('/');
  if (slash == std::string::npos) {
    folder->clear();
    *last = name;
  } else {
    *folder = slash == 0 ? "/" : name.substr(0, slash);
    *last = name.substr(slash + 1);
  }
}

std::string joined(const std::string& folder, const std::string& name) {
  return folder.empty() || folder.back() == '/' ? folder + name : folder + "/" + name;
}

}  // namespace

std::string whole_path(const std::string& name, const std::string& base) {
  std::string path;
  if (!name.empty() && name[0] == '/') {
    path = name;
  } else if (name == "~" || name.compare(0, 2, "~/") == 0) {
    const char* home = std::getenv("HOME");
    path = std::string(home && *home ? home : "/") + "/" + name.substr(1);
  } else {
    path = joined(base.empty() ? "/" : base, name);
  }
  std::vector<std::string> parts;
  size_t at = 0;
  while (at <= path.size()) {
    size_t end = path.find('/', at);
    if (end == std::string::npos) end = path.size();
    const std::string part = path.substr(at, end - at);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    at = end + 1;
  }
  std::string whole;
  for (const std::string& p : parts) whole += "/" + p;
  return whole.empty() ? "/" : whole;
}

FileChooser::FileChooser(const std::string& initial, const std::string& base) {
  const std::string start = base.empty() || !is_folder(base) ? "/" : whole_path(base, "/");
  std::string folder, last;
  split(initial, &folder, &last);
  const std::string where = folder.empty() ? start : whole_path(folder, start);
  if (has_wildcard(last)) {
    filter_ = last;
  } else if (!initial.empty() && is_folder(whole_path(initial, start))) {
    enter(whole_path(initial, start));
    if (folder_.empty()) enter(start);
    return;
  } else {
    name_ = last;
    const size_t dot = last.rfind('.');
    if (dot != std::string::npos && dot > 0) filter_ = "*" + last.substr(dot);
  }
  enter(is_folder(where) ? where : start);
  if (folder_.empty()) enter("/");
}

void FileChooser::enter(const std::string& folder) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) return;  // an unreadable folder leaves the dialog where it was
  folder_ = folder;
  std::vector<Entry> folders, files;
  while (dirent* e = readdir(dir)) {
    const std::string name = e->d_name;
    if (name.empty() || name[0] == '.') continue;
    if (folders.size() + files.size() >= kMostEntries) break;
    const bool sub = e->d_type == DT_DIR || ((e->d_type == DT_LNK || e->d_type == DT_UNKNOWN) &&
                                             is_folder(joined(folder, name)));
    if (sub) {
      folders.push_back({name, true});
    } else if (fnmatch(filter_.c_str(), name.c_str(), FNM_PERIOD) == 0) {
      files.push_back({name, false});
    }
  }
  closedir(dir);
  auto by_name = [](const Entry& a, const Entry& b) { return a.name < b.name; };
  std::sort(folders.begin(), folders.end(), by_name);
  std::sort(files.begin(), files.end(), by_name);
  entries_.clear();
  if (folder_ != "/") entries_.push_back({"..", true});
  entries_.insert(entries_.end(), folders.begin(), folders.end());
  entries_.insert(entries_.end(), files.begin(), files.end());
}

std::string FileChooser::resolve(const std::string& name) const { return whole_path(name, folder_); }

FileChooser::Outcome FileChooser::confirm(const std::string& typed, std::string* path) {
  if (typed.empty()) return Outcome::kStay;
  std::string folder, last;
  split(typed, &folder, &last);
  if (has_wildcard(last)) {
    filter_ = last;
    enter(folder.empty() ? folder_ : resolve(folder));
    return Outcome::kStay;
  }
  const std::string whole = resolve(typed);
  if (is_folder(whole)) {
    enter(whole);
    return Outcome::kStay;
  }
  if (last.empty()) return Outcome::kStay;  // a folder that is not there
  *path = whole;
  return Outcome::kChosen;
}

FileChooser::Outcome FileChooser::open(size_t i, std::string* path) {
  if (i >= entries_.size()) return Outcome::kStay;
  const std::string whole = resolve(entries_[i].name);
  if (entries_[i].folder) {
    enter(whole);
    return Outcome::kStay;
  }
  *path = whole;
  return Outcome::kChosen;
}

}  // namespace lumo::server
