// Input of the windows in the server: the bounded queue, the scripted
// source, and what the "V" command answers in every case (an event, none
// yet, none ever, a window closed by the user or by the script).
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "server/core/events.h"
#include "tests/server/server_fixture.h"

namespace lumo::server::test_support {
namespace {

TEST(EventQueue, KeepsTheNewestAndCountsWhatItDropped) {
  EventQueue q;
  for (int i = 0; i < EventQueue::kCapacity + 40; ++i) q.push({kEventKey, i, i, -i});
  EXPECT_EQ(q.size(), EventQueue::kCapacity);
  EXPECT_EQ(q.dropped(), 40u);
  InputEvent e;
  for (int i = 40; i < EventQueue::kCapacity + 40; ++i) {
    ASSERT_TRUE(q.pop(&e));
    EXPECT_EQ(e.code, i);
    EXPECT_EQ(e.y, -i);
  }
  EXPECT_FALSE(q.pop(&e));
}

TEST(EventScript, ReadsEventsAndNamesTheLineItCannotRead) {
  EventScript s;
  std::string error;
  ASSERT_TRUE(s.parse("# a picking session\r\nclick 1 10 20   # the first\n\n  key 13\nwheel -1 5 6\nclose\n", &error)) << error;
  InputEvent e;
  EXPECT_EQ(s.next(&e), EventScript::kEvent);
  EXPECT_EQ(e.kind, kEventButton);
  EXPECT_EQ(e.code, 1);
  EXPECT_EQ(e.x, 10);
  EXPECT_EQ(e.y, 20);
  EXPECT_EQ(s.next(&e), EventScript::kEvent);
  EXPECT_EQ(e.kind, kEventKey);
  EXPECT_EQ(e.code, 13);
  EXPECT_EQ(s.next(&e), EventScript::kEvent);
  EXPECT_EQ(e.kind, kEventWheel);
  EXPECT_EQ(e.code, -1);
  EXPECT_EQ(s.next(&e), EventScript::kClose);
  EXPECT_EQ(s.next(&e), EventScript::kDone);

  for (const char* bad : {"click 4 1 1", "click 1 2", "key", "key 0", "wheel 2 1 1", "jump 1",
                          "click 1 2 3 4", "key 13 extra"}) {
    EventScript t;
    EXPECT_FALSE(t.parse(std::string("key 1\n") + bad + "\n", &error)) << bad;
    EXPECT_NE(error.find("line 2"), std::string::npos) << error;
    EXPECT_FALSE(t.active());
  }
  EXPECT_FALSE(s.load("/nonexistent/events.txt", &error));
}

class EventCommand : public ServerCoreTest {
 protected:
  void SetUp() override {}  // each test starts the server with its script
  void open_window(const std::string& script) {
    if (!script.empty()) {
      options.events_path = ::testing::TempDir() + "lumo_events_" + std::to_string(getpid()) + ".txt";
      std::ofstream(options.events_path) << script;
    }
    ServerCoreTest::SetUp();
    ASSERT_EQ(text("I,1,64,48,-1,-1,-1,"), 1);
  }
  void TearDown() override {
    if (!options.events_path.empty()) std::remove(options.events_path.c_str());
  }
  // The reply to "V" and the result words it wrote.
  int32_t take(int32_t mode = 0) { return command(1, 'V', mode); }
  std::vector<int32_t> results() {
    return {read_i32(block(1), kResult0), read_i32(block(1), kResult1), read_i32(block(1), kResult2),
            read_i32(block(1), kResult3)};
  }
};

TEST_F(EventCommand, QueuedEventsComeFirstThenTheScriptThenNoneEver) {
  open_window("click 3 7 8\nkey 328\n");
  Window& w = *server->window(1);
  w.events.push({kEventWheel, 1, 30, 40});
  EXPECT_EQ(take(), kEventTaken);
  EXPECT_EQ(results(), (std::vector<int32_t>{kEventWheel, 1, 30, 40}));
  EXPECT_EQ(take(), kEventTaken);
  EXPECT_EQ(results(), (std::vector<int32_t>{kEventButton, 3, 7, 8}));
  EXPECT_EQ(take(), kEventTaken);
  EXPECT_EQ(results()[1], 328);
  // No display here and the script is done: nothing will ever come.
  EXPECT_EQ(take(), kEventNoneEver);
  for (int i = 0; i < EventQueue::kCapacity + 3; ++i) w.events.push({kEventKey, 65, 0, 0});
  EXPECT_EQ(take(1), kEventTaken);
  EXPECT_EQ(results()[0], 3);
  EXPECT_EQ(command(2, 'V', 0), 0);  // no such window
}

TEST_F(EventCommand, AScriptedCloseEndsTheWaitAndTheWindow) {
  open_window("close\n");
  EXPECT_EQ(take(), 0);
  EXPECT_EQ(server->window(1), nullptr);
}

TEST_F(EventCommand, AWindowClosedByTheUserAnswersTheWaitBeforeTheProgramEnds) {
  open_window("");
  server->close_by_user(1);
  // Asking for input learns the window is gone; the program's next other
  // command is told to end, as always after the user closed its window.
  EXPECT_EQ(take(), 0);
  EXPECT_EQ(command(1, 'A', kDrawAttributes), kReplyCloseExit);
}

}  // namespace
}  // namespace lumo::server::test_support
