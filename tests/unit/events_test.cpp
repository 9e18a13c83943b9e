// The event calls against a scripted server: what they ask, how they wait,
// and what they store in world and device coordinates.
#include <deque>

#include "include/lumo.h"
#include "include/lumo_ref.h"
#include "tests/unit/test_support.h"

using namespace lumo;
using namespace lumo::wire;
using testing_support::DrawTest;

namespace {

struct Answer {
  int32_t reply;
  int32_t kind, code, x, y;
};

class EventsTest : public DrawTest {
 protected:
  // The server answers "V" from `answers` (then "none will come").
  void answer(std::deque<Answer> answers) {
    answers_ = answers;
    fake::server().handler = [this](const fake::Command& c) -> int32_t {
      if (c.letter != 'V') return 1;
      ++asked_;
      if (answers_.empty()) return kEventNoneEver;
      const Answer a = answers_.front();
      answers_.pop_front();
      unsigned char* v = window_view(c.window);
      write_i32(v, kResult0, a.kind);
      write_i32(v, kResult1, a.code);
      write_i32(v, kResult2, a.x);
      write_i32(v, kResult3, a.y);
      return a.reply;
    };
  }
  std::deque<Answer> answers_;
  int asked_ = 0;
};

TEST_F(EventsTest, WaitingAsksLessOftenTheLongerNothingComes) {
  LmSetWorld(0, 0, 10, 10);  // 50 pixels a unit on 500 x 500, y up
  std::deque<Answer> none(7, Answer{kEventNoneYet, 0, 0, 0, 0});
  none.push_back({kEventTaken, 1, 3, 100, 400});
  answer(none);
  int kind = -1, code = -1;
  float x = -1, y = -1;
  EXPECT_EQ(LmWaitEvent(&kind, &code, &x, &y), 1);
  EXPECT_EQ(asked_, 8);
  EXPECT_EQ(fake::server().sleeps, (std::vector<int>{1, 2, 4, 8, 10, 10, 10}));
  EXPECT_EQ(kind, 1);
  EXPECT_EQ(code, 3);
  EXPECT_FLOAT_EQ(x, 2.0f);
  EXPECT_FLOAT_EQ(y, 2.0f);
}

TEST_F(EventsTest, PollingStoresKindZeroAndTheEndStoresNothing) {
  answer({{kEventNoneYet, 0, 0, 0, 0}, {kEventTaken, 2, 13, 5, 6}});
  int kind = 9, code = 9, dx = 9, dy = 9;
  float x = 9, y = 9;
  EXPECT_EQ(LmPollEvent(&kind, &code, &x, &y), 0);
  EXPECT_EQ(kind, 0);
  EXPECT_EQ(LmDevPollEvent(1, &kind, &code, &dx, &dy), 1);
  EXPECT_EQ(kind, 2);
  EXPECT_EQ(code, 13);
  EXPECT_EQ(dx, 5);
  EXPECT_EQ(dy, 6);
  // The server says no event will come (or the window is gone): a wait
  // returns 0 storing nothing, a poll says "nothing" in kind.
  kind = code = dx = dy = 9;
  EXPECT_EQ(LmDevWaitEvent(1, &kind, &code, &dx, &dy), 0);
  EXPECT_EQ(kind, 9);
  EXPECT_EQ(LmPollEvent(&kind, &code, &x, &y), 0);
  EXPECT_EQ(kind, 0);
  EXPECT_TRUE(fake::server().sleeps.empty());
  EXPECT_EQ(LmDevWaitEvent(7, &kind, &code, &dx, &dy), 0);  // a window not held
}

TEST_F(EventsTest, AClickPassesOverOtherEventsAndTwinsAgree) {
  answer({{kEventTaken, 2, 65, 0, 0}, {kEventTaken, 3, 1, 0, 0}, {kEventTaken, 1, 2, 250, 0},
          {kEventTaken, 1, 1, 10, 20}, {0, 0, 0, 0, 0}});
  set_word(kPixelMode, 1);  // as a new window starts
  float x = 0, y = 0;
  EXPECT_EQ(LmGetClick(&x, &y), 2);
  EXPECT_FLOAT_EQ(x, 250.0f);  // pixel mode: the world is the pixels
  EXPECT_FLOAT_EQ(y, 0.0f);
  int r = -1, w = 1, kind = 0, code = 0, dx = 0, dy = 0;
  EXPECT_EQ(lmdevwaitevent(&r, &w, &kind, &code, &dx, &dy), 1);
  EXPECT_EQ(r, 1);
  EXPECT_EQ(dx, 10);
  EXPECT_EQ(lmgetclick(&r, &x, &y), 0);  // the window closed while waiting
  EXPECT_EQ(r, 0);
}

}  // namespace
