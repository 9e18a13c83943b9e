// Shared set-up for the unit tests: a fresh fake server and link state, and
// a link to server 1 with window blocks held, as the window operations leave it.
#ifndef LUMO_TESTS_TEST_SUPPORT_H
#define LUMO_TESTS_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <string>

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
};

}  // namespace testing_support

#endif
