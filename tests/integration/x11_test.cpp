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

TEST(X11Window, ProgramDrawingIsShownInARealWindow) {
  std::string xvfb;
  if (!find_program("Xvfb", &xvfb)) GTEST_SKIP() << "Xvfb is not installed";
  // A display number nobody uses.
  int number = 0;
  for (int n = 93; n < 120 && !number; ++n) {
    struct stat st;
    const std::string lock = "/tmp/.X" + std::to_string(n) + "-lock";
    const std::string sock = "/tmp/.X11-unix/X" + std::to_string(n);
    if (stat(lock.c_str(), &st) != 0 && stat(sock.c_str(), &st) != 0) number = n;
  }
  ASSERT_NE(number, 0);
  const std::string display = ":" + std::to_string(number);
  PrivateSession session;
  ChildProcess x({xvfb, display, "-screen", "0", "800x600x24", "-nolisten", "tcp"}, true);
  const std::string socket = "/tmp/.X11-unix/X" + std::to_string(number);
  for (int i = 0; i < 200 && access(socket.c_str(), F_OK) != 0; ++i) usleep(50000);
  ASSERT_EQ(access(socket.c_str(), F_OK), 0) << "Xvfb did not start";

  setenv("DISPLAY", display.c_str(), 1);
  setenv("LUMOVIEW_READY_FD", "1", 1);
  const std::string dir = testing_support::binary_dir();
  auto server = std::make_unique<ChildProcess>(std::vector<std::string>{dir + "/../bin/lumoview"});
  unsetenv("LUMOVIEW_READY_FD");
  ASSERT_EQ(server->read_line(20000), "ready");
  ChildProcess owner({dir + "/lumo_client", "owner"});
  ASSERT_EQ(owner.read_line(20000), "ready 1");

  // Give the window time to be mapped and painted, then look at the screen.
  const std::string artifacts = dir + "/artifacts";
  mkdir(artifacts.c_str(), 0755);
  long blue = 0;
  for (int i = 0; i < 40 && blue < 15000; ++i) {
    usleep(100000);
    ChildProcess shot({dir + "/lumo_screenshot", artifacts + "/x11_window.png", "0000ff"});
    blue = std::atol(shot.read_line(10000).c_str());
    shot.wait_exit(10000);
  }
  // The owner filled 100 x 200 pixels with blue.
  EXPECT_GE(blue, 15000);
  owner.write_line("go");
  EXPECT_EQ(owner.wait_exit(20000), 0);
  unsetenv("DISPLAY");
  server.reset();
}

}  // namespace
