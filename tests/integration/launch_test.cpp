// The library finds and starts a real server process by its own search.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "include/lumo.h"
#include "lib/link/link.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_folder.h"

using namespace lumo;
using testing_support::PrivateSession;
using testing_support::TempFolder;

namespace {

class LaunchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    reset_link_state();
    session_ = std::make_unique<PrivateSession>();
    folder_ = std::make_unique<TempFolder>("lumo_launch");
    dir_ = folder_->path();
    const std::string server = testing_support::binary_dir() + "/lumo_standin_server";
    ASSERT_EQ(symlink(server.c_str(), (dir_ + "/lumoview").c_str()), 0);
    saved_path_ = std::getenv("PATH") ? std::getenv("PATH") : "";
  }

  void TearDown() override {
    // End exactly the server the library started: its pid is its handle.
    const pid_t pid = static_cast<pid_t>(started_pid_);
    reset_link_state();
    if (pid > 0) {
      kill(pid, SIGTERM);
      int status = 0;
      waitpid(pid, &status, 0);
    }
    setenv("PATH", saved_path_.c_str(), 1);
    unsetenv("LUMODIR");
    session_.reset();  // ends its servers, which may still write into the folder
    folder_.reset();
  }

  // Opens a window (starting the server) and checks that the link is real.
  void open_and_check() {
    ASSERT_EQ(LmOpen(1), 1);
    started_pid_ = g_link.server_window;
    EXPECT_GT(started_pid_, 0);
    EXPECT_EQ(g_link.server_number, 1);
    EXPECT_EQ(g_link.current_window, 1);
    EXPECT_NE(g_link.window_views[1], nullptr);
    EXPECT_FALSE(g_link.gui_messages);
    EXPECT_EQ(LmQuitEx(0), 1);
    EXPECT_EQ(g_link.server_number, 0);
  }

  std::unique_ptr<PrivateSession> session_;
  std::unique_ptr<TempFolder> folder_;
  std::string dir_;
  std::string saved_path_;
  long long started_pid_ = 0;
};

TEST_F(LaunchTest, ServerIsStartedFromTheLibraryDirectory) {
  setenv("LUMODIR", ("  " + dir_).c_str(), 1);
  open_and_check();
}

TEST_F(LaunchTest, ServerIsStartedFromThePath) {
  unsetenv("LUMODIR");
  setenv("PATH", ("/nonexistent:" + dir_ + ":" + saved_path_).c_str(), 1);
  open_and_check();
  // The server stays and waits: a second program (here: a second link of
  // this one) finds it without starting another.
  ASSERT_EQ(LmInit(), 1);
  EXPECT_EQ(g_link.server_window, started_pid_);
}

TEST_F(LaunchTest, MissingServerIsFatal) {
  ::testing::FLAGS_gtest_death_test_style = "fast";
  setenv("LUMODIR", "/nonexistent", 1);
  setenv("PATH", "/nonexistent", 1);
  // The kit's message, then where the library looked and what to set.
  EXPECT_EXIT(LmOpen(1), ::testing::ExitedWithCode(1),
              "lumoview: not found on the search path\\.\nLumo: searched LUMODIR \\(/nonexistent\\), "
              "the program's folder \\(.+\\), the current folder, PATH.*; set LUMODIR to the folder "
              "that holds lumoview\\.");
}

}  // namespace
