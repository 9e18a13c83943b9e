// The POSIX transport against a real second process.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <string>

#include "common/posix_names.h"
#include "lib/link/link.h"
#include "tests/support/child_process.h"

using namespace lumo;
using testing_support::ChildProcess;
using testing_support::PrivateSession;

namespace {

constexpr int kKey = 4711;

class PosixTransportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::testing::FLAGS_gtest_death_test_style = "fast";
    reset_link_state();
    g_link.gui_messages = false;
    session_ = std::make_unique<PrivateSession>();
  }

  void TearDown() override {
    reset_link_state();
    server_.reset();
    session_.reset();
  }

  void start_server() {
    server_ = std::make_unique<ChildProcess>(std::vector<std::string>{
        testing_support::binary_dir() + "/lumo_standin_server", std::to_string(kKey)});
    ASSERT_GT(server_->pid(), 0);
    ASSERT_EQ(server_->read_line(10000), "ready 1");
  }

  // Opens a window the way the window operations do and holds its block.
  int open_window() {
    const int n = std::snprintf(g_link.command_buffer, sizeof g_link.command_buffer,
                                "I,1,0,0,-1,-1,-1,");
    const int w = interpret_reply(send_command(n + 1));
    if (w <= 0) return 0;
    char name[64];
    std::snprintf(name, sizeof name, "LumoView%d:%d", g_link.server_number, w);
    unsigned char* view = open_shared_view(name);
    if (!view) return 0;
    if (g_link.view_count < 0) g_link.view_count = 0;
    g_link.window_views[w] = view;
    ++g_link.view_count;
    make_current(w);
    return w;
  }

  std::unique_ptr<PrivateSession> session_;
  std::unique_ptr<ChildProcess> server_;
};

TEST_F(PosixTransportTest, LinksAndExchangesCommandsRepliesAndValues) {
  start_server();
  ASSERT_EQ(find_server(), kKey);
  EXPECT_EQ(g_link.server_number, 1);
  EXPECT_EQ(g_link.server_window, server_->pid());
  EXPECT_STREQ(g_link.server_version_text, "0,9,9,9b");

  const int w = open_window();
  ASSERT_EQ(w, 1);
  char header[128];
  copy_server_text(header, sizeof header);
  EXPECT_EQ(std::string(header).substr(0, 11), "1,Window 1\n");  // the two-line header

  EXPECT_EQ(send_window_command2(w, 'A', 998, -5), -5);
  EXPECT_EQ(send_window_command2(w, 'A', 998, wire::kReplyTrue), 1);
  int32_t a = 1;
  int32_t b = 2;
  EXPECT_EQ(request_values(5, &a, &b), 1);
  EXPECT_EQ(a, 6);
  EXPECT_EQ(b, 7);

  std::string bytes(5000, 'p');
  EXPECT_EQ(send_window_block(w, 30, bytes.data(), 5000), w);
}

TEST_F(PosixTransportTest, DetachedReplyLeavesTheProgramRunningWithoutServer) {
  start_server();
  ASSERT_EQ(find_server(), kKey);
  const int w = open_window();
  ASSERT_GT(w, 0);
  EXPECT_EQ(send_window_command2(w, 'A', 998, wire::kReplyDetached), 0);
  EXPECT_EQ(g_link.server_window, 0);
  EXPECT_EQ(send_code('E', ' ', ' '), wire::kReplyNoServer);
}

TEST_F(PosixTransportTest, ServerDyingWhileACommandIsPendingEndsTheClient) {
  start_server();
  ASSERT_EQ(find_server(), kKey);
  const int w = open_window();
  ASSERT_GT(w, 0);
  EXPECT_EXIT(send_window_command1(w, 'A', 999), ::testing::ExitedWithCode(1),
              "^The window was closed\\.\n$");
}

TEST_F(PosixTransportTest, ServerKilledBetweenCommandsEndsTheClient) {
  start_server();
  ASSERT_EQ(find_server(), kKey);
  const int w = open_window();
  ASSERT_GT(w, 0);
  server_->kill_now();
  EXPECT_EXIT(send_window_command1(w, 'A', 2), ::testing::ExitedWithCode(1),
              "The window was closed\\.");
}

TEST_F(PosixTransportTest, StartupCommandToAVanishedServerNamesTheZombie) {
  start_server();
  ASSERT_EQ(find_server(), kKey);
  server_->kill_now();
  std::strcpy(g_link.command_buffer, "K,4711,");
  EXPECT_EXIT(send_command(8), ::testing::ExitedWithCode(1),
              "Failed to launch lumoview\\.\nCheck if lumoview alives as a zombi!!");
}

// A block nobody holds (its server died) or that another user owns is absent.
TEST_F(PosixTransportTest, OrphanedAndForeignBlocksAreIgnored) {
  char object[128];
  ASSERT_TRUE(posix_names::shm_object_name("LumoView1", object, sizeof object));
  int fd = shm_open(object, O_RDWR | O_CREAT | O_EXCL, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, 4096), 0);
  const char header[] = "0,1,99,0,9,9,9b";
  ASSERT_EQ(pwrite(fd, header, sizeof header, 0), static_cast<ssize_t>(sizeof header));
  EXPECT_EQ(open_shared_view("LumoView1"), nullptr);
  EXPECT_EQ(find_server(), 0);

  if (getuid() == 0) {
    ASSERT_EQ(fchown(fd, 65534, 65534), 0);
    EXPECT_EQ(open_shared_view("LumoView1"), nullptr);
  }
  close(fd);
  shm_unlink(object);
}

TEST_F(PosixTransportTest, ANewServerReplacesAStaleBlockAndTakesNumberOne) {
  char object[128];
  ASSERT_TRUE(posix_names::shm_object_name("LumoView1", object, sizeof object));
  int fd = shm_open(object, O_RDWR | O_CREAT | O_EXCL, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, 4096), 0);
  close(fd);
  start_server();
  EXPECT_EQ(find_server(), kKey);
}

TEST_F(PosixTransportTest, SecondServerTakesTheNextNumber) {
  start_server();
  ChildProcess second({testing_support::binary_dir() + "/lumo_standin_server", "99"});
  ASSERT_EQ(second.read_line(10000), "ready 2");
  // Server 1 becomes busy once it shows a window; the scan then finds 2.
  ASSERT_EQ(find_server(), kKey);
  ASSERT_GT(open_window(), 0);
  release_link(-1);
  EXPECT_EQ(find_server(), 99);
  EXPECT_EQ(g_link.server_number, 2);
}

}  // namespace
