// The file dialog's model: which folder and entries it shows for what the
// program offered, and what each thing the user types or opens leads to.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "server/frontend/file_chooser.h"
#include "tests/support/temp_folder.h"

using lumo::server::FileChooser;
using lumo::server::whole_path;

namespace {

class FileChooserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(folder_.path().empty());
    root_ = folder_.path();
    for (const char* d : {"/data", "/data/deep", "/.secret"}) mkdir((root_ + d).c_str(), 0700);
    for (const char* f : {"/b.dat", "/a.dat", "/notes.txt", "/.hidden.dat", "/data/x.dat"}) {
      std::fclose(std::fopen((root_ + f).c_str(), "w"));
    }
    ASSERT_EQ(symlink((root_ + "/data").c_str(), (root_ + "/linked").c_str()), 0);
  }

  static std::string names(const FileChooser& c) {
    std::string s;
    for (const auto& e : c.entries()) s += (s.empty() ? "" : " ") + e.name + (e.folder ? "/" : "");
    return s;
  }
  testing_support::TempFolder folder_{"lumo_chooser"};
  std::string root_;
};

}  // namespace

TEST_F(FileChooserTest, WhatTheProgramOffersChoosesFolderFilterAndName) {
  struct Case { std::string initial, folder, filter, name, entries; } cases[] = {
      {"*.dat", root_, "*.dat", "", "../ data/ linked/ a.dat b.dat"},
      {"", root_, "*", "", "../ data/ linked/ a.dat b.dat notes.txt"},
      {"result.txt", root_, "*.txt", "result.txt", "../ data/ linked/ notes.txt"},
      {"data/*.dat", root_ + "/data", "*.dat", "", "../ deep/ x.dat"},
      {"data", root_ + "/data", "*", "", "../ deep/ x.dat"},
      {root_ + "/data/new.dat", root_ + "/data", "*.dat", "new.dat", "../ deep/ x.dat"},
      {"nowhere/new.dat", root_, "*.dat", "new.dat", "../ data/ linked/ a.dat b.dat"},
      {".profile", root_, "*", ".profile", "../ data/ linked/ a.dat b.dat notes.txt"},
  };
  for (const Case& c : cases) {
    FileChooser chooser(c.initial, root_);
    EXPECT_EQ(chooser.folder(), c.folder) << c.initial;
    EXPECT_EQ(chooser.filter(), c.filter) << c.initial;
    EXPECT_EQ(chooser.name(), c.name) << c.initial;
    EXPECT_EQ(names(chooser), c.entries) << c.initial;
  }
  // The root shows no way up; a missing program folder starts there.
  FileChooser top("", "/no/such/folder");
  EXPECT_EQ(top.folder(), "/");
  ASSERT_FALSE(top.entries().empty());
  EXPECT_NE(top.entries()[0].name, "..");
}

// One user's way through the dialog: every step's outcome, folder and filter.
TEST_F(FileChooserTest, TypingAndOpeningWalkTheFoldersUntilAFileIsChosen) {
  FileChooser chooser("*.dat", root_);
  struct Step { char how; std::string what; bool chosen; std::string folder, filter, path; } steps[] = {
      {'t', "", false, root_, "*.dat", ""},                    // nothing typed: stays
      {'t', "*.txt", false, root_, "*.txt", ""},               // a filter replaces the filter
      {'t', "data", false, root_ + "/data", "*.txt", ""},      // a folder is entered
      {'o', "0", false, root_, "*.txt", ""},                   // ".." goes up
      {'t', "linked/*.dat", false, root_ + "/linked", "*.dat", ""},
      {'t', "../missing/", false, root_ + "/linked", "*.dat", ""},  // a folder not there
      {'o', "2", true, root_ + "/linked", "*.dat", root_ + "/linked/x.dat"},
      {'t', "../b.dat", true, root_ + "/linked", "*.dat", root_ + "/b.dat"},
      {'t', "sub/../new file.dat", true, root_ + "/linked", "*.dat", root_ + "/linked/new file.dat"},
      {'o', "99", false, root_ + "/linked", "*.dat", ""},     // no such entry
  };
  for (const Step& s : steps) {
    std::string path;
    const FileChooser::Outcome o = s.how == 't' ? chooser.confirm(s.what, &path)
                                                : chooser.open(std::stoul(s.what), &path);
    EXPECT_EQ(o == FileChooser::Outcome::kChosen, s.chosen) << s.how << " " << s.what;
    EXPECT_EQ(path, s.path) << s.how << " " << s.what;
    EXPECT_EQ(chooser.folder(), s.folder) << s.how << " " << s.what;
    EXPECT_EQ(chooser.filter(), s.filter) << s.how << " " << s.what;
  }
}

TEST(WholePath, NamesAreMadeWholeAndPlain) {
  setenv("HOME", "/home/ada", 1);
  struct Case { const char* name; const char* base; const char* whole; } cases[] = {
      {"a.dat", "/w", "/w/a.dat"},        {"/x//y/./z", "/w", "/x/y/z"},
      {"../../../a", "/w/v", "/a"},       {"~/plots/a.png", "/w", "/home/ada/plots/a.png"},
      {"~", "/w", "/home/ada"},           {"~ada/a", "/w", "/w/~ada/a"},
      {"", "", "/"},                      {"sub/", "/w/", "/w/sub"},
  };
  for (const Case& c : cases) EXPECT_EQ(whole_path(c.name, c.base), c.whole) << c.name << " in " << c.base;
}
