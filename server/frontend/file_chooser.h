// What the POSIX server's file dialog knows, apart from how it looks: the
// folder shown, the filter, the folder's entries and what a typed name
// means.  Names are the file system's bytes.
#ifndef LUMO_SERVER_FRONTEND_FILE_CHOOSER_H
#define LUMO_SERVER_FRONTEND_FILE_CHOOSER_H

#include <string>
#include <vector>

namespace lumo::server {

class FileChooser {
 public:
  struct Entry {
    std::string name;
    bool folder;
  };
  enum class Outcome { kStay, kChosen };

  // initial: what the program offered, a name or a filter such as "*.clr",
  // with or without a folder; relative to `base` (the program's folder).
  FileChooser(const std::string& initial, const std::string& base);

  const std::string& folder() const { return folder_; }
  const std::string& filter() const { return filter_; }
  // The name field's first text.
  const std::string& name() const { return name_; }
  // ".." (but at the root), then the folders, then the files the filter
  // lets through, each group by name; hidden entries are left out.
  const std::vector<Entry>& entries() const { return entries_; }

  // The user confirmed `typed` (the name field): a folder is entered, a
  // filter replaces the filter (both kStay), an empty text stays, and any
  // other text is the chosen file, its whole path in *path.
  Outcome confirm(const std::string& typed, std::string* path);
  // The user opened entry i: a folder is entered (kStay), a file chosen.
  Outcome open(size_t i, std::string* path);

 private:
  void enter(const std::string& folder);
  std::string resolve(const std::string& name) const;

  std::string folder_;
  std::string filter_ = "*";
  std::string name_;
  std::vector<Entry> entries_;
};

// A path made whole and plain: relative to `base`, "~" for the home folder,
// "." and ".." steps and repeated slashes taken out.
std::string whole_path(const std::string& name, const std::string& base);

}  // namespace lumo::server

#endif
