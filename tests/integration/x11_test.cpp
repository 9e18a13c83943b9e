// lumoview on a virtual X display: the window a program draws is on screen.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "tests/support/child_process.h"

using testing_support::ChildProcess;
using testing_support::PrivateSession;

namespace {

bool find_program(const char* name, std::string* path) {
  for (const char* dir : {"/usr/bin", "/bin", "/usr/local/bin"}) {
    const std::string p = std::string(dir) + "/" + name;
    if (access(p.c_str(), X_OK) == 0) {
      *path = p;
      return true;
    }
  }
  return false;
}

// A private Xvfb display (ended by its process id) and a lumoview on it.
class X11Window : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string xvfb;
    if (!find_program("Xvfb", &xvfb)) GTEST_SKIP() << "Xvfb is not installed";
    // Xvfb picks a display number nobody uses and tells it: tests running at
    // the same time never share a display.
    session_ = std::make_unique<PrivateSession>();
    x_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{xvfb, "-displayfd", "1", "-screen", "0", "800x600x24",
                                 "-nolisten", "tcp"});
    const std::string number = x_->read_line(20000);
    ASSERT_FALSE(number.empty()) << "Xvfb did not start";
    const std::string display = ":" + number;

    setenv("DISPLAY", display.c_str(), 1);
    setenv("LUMOVIEW_READY_FD", "1", 1);
    server_ = std::make_unique<ChildProcess>(std::vector<std::string>{dir_ + "/../bin/lumoview"});
    unsetenv("LUMOVIEW_READY_FD");
    ASSERT_EQ(server_->read_line(20000), "ready");
  }

  void TearDown() override {
    server_.reset();
    unsetenv("DISPLAY");
    x_.reset();
    session_.reset();
  }

  const std::string dir_ = testing_support::binary_dir();
  std::unique_ptr<PrivateSession> session_;
  std::unique_ptr<ChildProcess> x_;
  std::unique_ptr<ChildProcess> server_;
};

TEST_F(X11Window, ProgramDrawingIsShownInARealWindow) {
  ChildProcess owner({dir_ + "/lumo_client", "owner"});
  ASSERT_EQ(owner.read_line(20000), "ready 1");

  // Give the window time to be mapped and painted, then look at the screen.
  const std::string artifacts = dir_ + "/artifacts";
  mkdir(artifacts.c_str(), 0755);
  long blue = 0;
  for (int i = 0; i < 40 && blue < 15000; ++i) {
    usleep(100000);
    ChildProcess shot({dir_ + "/lumo_screenshot", artifacts + "/x11_window.png", "0000ff"});
    blue = std::atol(shot.read_line(10000).c_str());
    shot.wait_exit(10000);
  }
  // The owner filled 100 x 200 pixels with blue.
  EXPECT_GE(blue, 15000);
  owner.write_line("go");
  EXPECT_EQ(owner.wait_exit(20000), 0);
}

// A program that draws without pause (all of it posted, never waiting for an
// answer) still learns that the user closed its window, and ends.
TEST_F(X11Window, ClosingTheWindowEndsAProgramThatNeverWaits) {
  ChildProcess program({dir_ + "/lumo_client", "closable"});
  ASSERT_EQ(program.read_line(20000), "ready");
  int asked = 0;
  for (int i = 0; i < 50 && asked == 0; ++i) {
    usleep(100000);
    ChildProcess close({dir_ + "/lumo_close_window", "Closable"});
    asked = std::atoi(close.read_line(10000).c_str());
    close.wait_exit(10000);
  }
  ASSERT_EQ(asked, 1);
  const int status = program.wait_exit(10000);
  ASSERT_NE(status, -1) << "the program went on drawing into a closed window";
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace

// With a display the server ends once no program is linked and no window
// is shown: a hidden window keeps nobody waiting.
TEST_F(X11Window, AHiddenWindowDoesNotKeepTheServerRunning) {
  setenv("LUMODIR", (dir_ + "/../bin").c_str(), 1);
  ChildProcess program({dir_ + "/lumo_client", "hide"});
  EXPECT_EQ(program.read_line(20000), "hidden=1");
  EXPECT_EQ(program.wait_exit(20000), 0);
  unsetenv("LUMODIR");
  EXPECT_GE(server_->wait_exit(8000), 0) << "the server stayed";
}
