// Shared set-up for the unit tests: a fresh fake server and link state, and
// a link to server 1 with window blocks held, as the window operations leave it.
#ifndef LUMO_TESTS_TEST_SUPPORT_H
#define LUMO_TESTS_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "lib/link/link.h"
#include "tests/unit/fake_platform.h"

namespace testing_support {

inline constexpr int kKey = 77;

class LinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::testing::FLAGS_gtest_death_test_style = "threadsafe";
    fake::reset();
  }

  // A console program linked to server 1 (key 77) holding the given windows;
  // the last one is current.
  void link_console(std::initializer_list<int> windows = {1}) {
    fake::server().add_server(1, "0,4242,77,0,9,9,9b");
    ASSERT_EQ(lumo::find_server(), kKey);
    lumo::g_link.gui_messages = false;
    lumo::g_link.view_count = 0;
    for (int w : windows) hold_window(w);
  }

  unsigned char* hold_window(int w) {
    unsigned char* view = fake::server().add_window(1, w);
    lumo::g_link.window_views[w] = view;
    ++lumo::g_link.view_count;
    lumo::make_current(w);
    return view;
  }

  std::vector<fake::Command>& log() { return fake::server().log; }

  // Answers as a correct server does: layout probes, the start-up key, window
  // openings (numbers from next_window), closings (close_answer), the
  // server-block exchange (echoing the values sent) and 1 for everything
  // else.  `special` may answer a command first (return true to use *reply).
  void serve_like_lumoview(int server_number = 1) {
    fake::server().handler = [this, server_number](const fake::Command& c) -> int32_t {
      int32_t reply = 0;
      if (special && special(c, &reply)) return reply;
      if (c.letter == 'O' && c.window < 0) {
        static const int32_t answers[] = {224, 256, 2147483647, INT32_MIN};
        return answers[(c.bytes[2] - '0') & 3];
      }
      if (c.letter == 'K') return kKey;
      unsigned char* server = fake::server().block("LumoView" + std::to_string(server_number));
      if (c.letter == 'I') {
        const int w = next_window++;
        fake::server().add_window(server_number, w);
        std::snprintf(reinterpret_cast<char*>(server), 64, "%d,Window %d\n4242,77,0,9,9,9b", w, w);
        return open_answer;
      }
      if (c.letter == 'J') return close_answer;
      if (c.letter == 'L') {  // the program has gone: wait for the next one
        std::snprintf(reinterpret_cast<char*>(server), 64, "0,4242,77,%s", version.c_str());
        return 1;
      }
      if (c.letter == 'E' && c.window < 0) {
        int code = 0, mask = 0, a = 0, b = 0;
        std::sscanf(reinterpret_cast<char*>(server), "%d;%d;%d;%d;", &code, &mask, &a, &b);
        exchanges.push_back(reinterpret_cast<char*>(server));
        if (code >= 0) std::snprintf(reinterpret_cast<char*>(server), 64, "3;%d;%d;", a, b);
        return exchange_answer;
      }
      return 1;
    };
  }

  // Puts a waiting server 1 (key 77) in place, answering as above.
  void waiting_server(const std::string& server_version = "0,9,9,9b") {
    version = server_version;
    fake::server().add_server(1, "0,4242,77," + version);
    serve_like_lumoview();
  }

  std::function<bool(const fake::Command&, int32_t*)> special;
  std::string version = "0,9,9,9b";
  int next_window = 1;
  int32_t open_answer = 1;
  int32_t close_answer = 0;
  int32_t exchange_answer = 1;
  std::vector<std::string> exchanges;  // server-block requests as written
};

// A console program with window 1 open on a drawing area of the given size,
// the server having set the unit, the origin and a full viewport.
class DrawTest : public LinkTest {
 protected:
  void SetUp() override {
    LinkTest::SetUp();
    link_console({1});
    area(500, 500);
  }

  void area(int width, int height) {
    unsigned char* v = view();
    const int unit = width < height ? width : height;
    lumo::write_i32(v, lumo::wire::kAreaWidth, width);
    lumo::write_i32(v, lumo::wire::kAreaHeight, height);
    lumo::write_i32(v, lumo::wire::kUnit, unit);
    lumo::write_i32(v, lumo::wire::kOriginX, 0);
    lumo::write_i32(v, lumo::wire::kOriginY, height);
    lumo::write_i32(v, lumo::wire::kPosX, -1);
    lumo::write_i32(v, lumo::wire::kPosY, -1);
    lumo::write_f32(v, lumo::wire::kViewX1, 0);
    lumo::write_f32(v, lumo::wire::kViewY1, 0);
    lumo::write_f32(v, lumo::wire::kViewX2, static_cast<float>(width) / unit);
    lumo::write_f32(v, lumo::wire::kViewY2, static_cast<float>(height) / unit);
  }

  unsigned char* view(int w = 1) { return lumo::window_view(w); }
  int32_t seen_pen = 0, seen_brush = 0, seen_style = 0;
  int32_t word(int offset, int w = 1) { return lumo::read_i32(view(w), offset); }
  float field(int offset, int w = 1) { return lumo::read_f32(view(w), offset); }
  void set_word(int offset, int32_t value, int w = 1) { lumo::write_i32(view(w), offset, value); }
  void set_field(int offset, float value, int w = 1) { lumo::write_f32(view(w), offset, value); }
  // The commands sent so far, then forgets them.
  std::vector<fake::Command> take() {
    std::vector<fake::Command> out = log();
    log().clear();
    return out;
  }
};

}  // namespace testing_support

#endif
