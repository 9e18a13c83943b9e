// Console keys on a real pseudo-terminal: typed keys are read one at a
// time, echoed only when asked, and the terminal is restored afterwards.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <string>

#include "tests/support/child_process.h"
#include "tests/support/temp_folder.h"

extern char** environ;

namespace {

class PtyProbe {
 public:
  explicit PtyProbe(const char* mode = nullptr) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
    const int slave = open(ptsname(master_), O_RDWR | O_NOCTTY);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, slave, 0);
    posix_spawn_file_actions_adddup2(&actions, slave, 1);
    const std::string path = testing_support::binary_dir() + "/lumo_key_probe";
    char* argv[] = {const_cast<char*>(path.c_str()), const_cast<char*>(mode), nullptr};
    if (posix_spawn(&pid_, path.c_str(), &actions, nullptr, argv, environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(slave);
  }
  ~PtyProbe() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      int status;
      waitpid(pid_, &status, 0);
    }
    if (master_ >= 0) close(master_);
  }

  // Reads until `marker` has appeared (or 10 s passed); returns all read.
  std::string read_until(const std::string& marker) {
    for (int i = 0; i < 1000 && output_.find(marker) == std::string::npos; ++i) {
      pollfd p{master_, POLLIN, 10};
      if (poll(&p, 1, 10) > 0) {
        char buf[256];
        const ssize_t n = read(master_, buf, sizeof buf);
        if (n > 0) output_.append(buf, static_cast<size_t>(n));
      }
    }
    return output_;
  }

  // Types once the probe waits for a key in non-canonical mode.
  void type_when_raw(const char* keys) {
    for (int i = 0; i < 1000; ++i) {
      termios t;
      if (tcgetattr(master_, &t) == 0 && !(t.c_lflag & ICANON)) break;
      usleep(5000);
    }
    ASSERT_EQ(write(master_, keys, strlen(keys)), static_cast<ssize_t>(strlen(keys)));
  }

  pid_t pid() const { return pid_; }
  // The terminal's settings as the program left them.
  bool canonical_with_echo() {
    termios t;
    return tcgetattr(master_, &t) == 0 && (t.c_lflag & ICANON) && (t.c_lflag & ECHO);
  }
  void type(const char* keys) {
    ASSERT_EQ(write(master_, keys, strlen(keys)), static_cast<ssize_t>(strlen(keys)));
  }
  int wait_exit() {
    int status = 0;
    if (pid_ > 0 && waitpid(pid_, &status, 0) == pid_) pid_ = -1;
    return status;
  }

 private:
  int master_ = -1;
  pid_t pid_ = -1;
  std::string output_;
};

TEST(ConsoleKeys, KeysAreReadWithAndWithoutEchoOnATerminal) {
  PtyProbe probe;
  ASSERT_GT(probe.pid(), 0);
  std::string out = probe.read_until("ready");
  EXPECT_NE(out.find("hit=0"), std::string::npos);
  // Both keys arrive while the first read waits: the second stays queued.
  probe.type_when_raw("xy");
  out = probe.read_until("waiting");
  const size_t keys = out.find("keys=xy canonical=1 echo=1");
  ASSERT_NE(keys, std::string::npos) << out;
  // Only the echoed key appears before the report.
  const std::string between = out.substr(out.find("ready"), keys - out.find("ready"));
  EXPECT_EQ(between.find('x'), std::string::npos) << between;
  EXPECT_NE(between.find('y'), std::string::npos) << between;
  probe.type_when_raw("z");
  out = probe.read_until("key=z");
  EXPECT_NE(out.find("hit then key=z"), std::string::npos) << out;
}

// A linked program on a terminal, as users run one: what is typed while
// it draws is not echoed and is seen at once; keys read as on Windows.
class LinkedKeys : public ::testing::Test {
 protected:
  void SetUp() override {
    session_ = std::make_unique<testing_support::PrivateSession>();
    setenv("LUMODIR", (testing_support::binary_dir() + "/../bin").c_str(), 1);
    setenv("LUMOVIEW_GRACE_MS", "200", 1);
    unsetenv("DISPLAY");
  }
  void TearDown() override {
    unsetenv("LUMODIR");
    unsetenv("LUMOVIEW_GRACE_MS");
    usleep(400000);  // the headless server ends after its grace period
    session_.reset();
  }
  std::unique_ptr<testing_support::PrivateSession> session_;
};

}  // namespace

TEST_F(LinkedKeys, KeysWhileLinkedAreNotEchoedAndReadAsOnWindows) {
  PtyProbe probe("linked");
  ASSERT_GT(probe.pid(), 0);
  std::string out = probe.read_until("drawing");
  EXPECT_NE(out.find("linked canonical=0 echo=0"), std::string::npos) << out;
  probe.type("x");
  out = probe.read_until("more");
  EXPECT_NE(out.find("hit key=120"), std::string::npos) << out;
  EXPECT_EQ(out.substr(out.find("drawing")).find("x\r\nhit"), std::string::npos) << "echoed: " << out;
  EXPECT_EQ(out.substr(0, out.find("hit key")).find('x'), std::string::npos) << out;
  // Enter, Backspace, up, F1, Delete, Escape alone.
  probe.type("\r\x7f\x1b[A\x1bOP\x1b[3~");
  usleep(100000);
  probe.type("\x1b");
  out = probe.read_until("after");
  EXPECT_NE(out.find("keys=13,8,224,72,0,59,224,83,27"), std::string::npos) << out;
  out = probe.read_until("echo=1");
  EXPECT_NE(out.find("after canonical=1 echo=1"), std::string::npos) << out;
  EXPECT_EQ(probe.wait_exit(), 0);
}

// The terminal is put back when a linked program exits without ending its
// link, and when a signal ends it.
TEST_F(LinkedKeys, TheTerminalIsRestoredOnExitAndOnSignals) {
  {
    PtyProbe probe("exit");
    ASSERT_GT(probe.pid(), 0);
    EXPECT_NE(probe.read_until("echo=").find("linked canonical=0 echo=0"), std::string::npos);
    const int status = probe.wait_exit();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 3);
    EXPECT_TRUE(probe.canonical_with_echo());
  }
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
    PtyProbe probe("wait");
    ASSERT_GT(probe.pid(), 0);
    EXPECT_NE(probe.read_until("echo=").find("linked canonical=0 echo=0"), std::string::npos);
    EXPECT_FALSE(probe.canonical_with_echo());
    kill(probe.pid(), sig);
    const int status = probe.wait_exit();
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << sig;
    EXPECT_TRUE(probe.canonical_with_echo()) << sig;
  }
}

// Keys from a pipe, echoed: Backspace as the byte 8 (the terminal's 127 is
// no cursor motion), a UTF-8 character whole with its first byte (a bar
// follows each call), CR LF as one Enter; a lone CR too, the byte after it
// kept.  Each case fails on its own.
TEST(ConsoleKeys, EchoShowsWholeKeysAndCrLfIsOneEnter) {
  const struct {
    const char* typed;
    const char* shown;
    const char* codes;
  } cases[] = {
      {"a\x7fq", "a|\b|q|", "97,8,113,"},
      {"\xc3\xa9q", "\xc3\xa9||q|", "195,169,113,"},
      {"\xe2\x82\xac\xf0\x9f\x99\x82q", "\xe2\x82\xac|||\xf0\x9f\x99\x82||||q|",
       "226,130,172,240,159,153,130,113,"},
      {"\xc3zq", "\xc3|z|q|", "195,122,113,"},
      {"x\r\nq", "x|\n|q|", "120,13,113,"},
      {"\r\r\n\nq", "\n|\n|\n|q|", "13,13,13,113,"},
      {"\rzq", "\n|z|q|", "13,122,113,"},
      {"a\r\n", "a|\n||", "97,13,-1,"},
  };
  testing_support::TempFolder folder("lumo_keys");
  const std::string input = folder.path() + "/typed";
  for (const auto& c : cases) {
    FILE* f = std::fopen(input.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs(c.typed, f);
    std::fclose(f);
    testing_support::ChildProcess p({"/bin/sh", "-c", "cat \"$1\" | exec \"$0\" echo",
                                     testing_support::binary_dir() + "/lumo_key_probe", input});
    const std::string out = p.read_all(10000);
    EXPECT_EQ(out, std::string(c.shown) + "\ncodes=" + c.codes + "\n") << c.typed;
  }
}
