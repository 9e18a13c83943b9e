// A test's own temporary folder: made fresh (mkdtemp) under GoogleTest's
// temporary folder, removed with everything in it when the object goes out
// of scope, also when the test fails or stops at an assertion.
// A process that ends by exit() with folders still made (a death test's
// child, which runs the test again up to the statement that ends it) removes
// its own folders on the way out; a forked child leaves its parent's alone.
#ifndef LUMO_TESTS_TEMP_FOLDER_H
#define LUMO_TESTS_TEMP_FOLDER_H

#include <ftw.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace testing_support {

namespace temp_folder_detail {

inline void remove_tree(const std::string& path) {
  // Depth first, links not followed: only what lies in the folder goes.
  nftw(path.c_str(), [](const char* p, const struct stat*, int, FTW*) { return std::remove(p); }, 16,
       FTW_DEPTH | FTW_PHYS);
}

// The folders made and not yet removed, with the process that made each.
// Never destroyed: the exit handler may still need it.
inline std::vector<std::pair<pid_t, std::string>>& live() {
  static auto* folders = [] {
    auto* made = new std::vector<std::pair<pid_t, std::string>>;
    std::atexit([] {
      for (const auto& f : live()) {
        if (f.first == getpid()) remove_tree(f.second);
      }
    });
    return made;
  }();
  return *folders;
}

}  // namespace temp_folder_detail

class TempFolder {
 public:
  // The folder is named <prefix>_XXXXXX; path() is empty when none could
  // be made.
  explicit TempFolder(const std::string& prefix) {
    std::string pattern = ::testing::TempDir() + prefix + "_XXXXXX";
    if (mkdtemp(&pattern[0]) != nullptr) {
      path_ = pattern;
      temp_folder_detail::live().push_back({getpid(), path_});
    }
    EXPECT_FALSE(path_.empty()) << "no temporary folder " << pattern;
  }
  ~TempFolder() {
    if (path_.empty()) return;
    temp_folder_detail::remove_tree(path_);
    auto& live = temp_folder_detail::live();
    live.erase(std::remove(live.begin(), live.end(), std::make_pair(getpid(), path_)), live.end());
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& path() const { return path_; }
  // A path in the folder.
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

}  // namespace testing_support

#endif
