// The web view's settings: addresses, tokens.  What it serves is tested
// end to end with a browser (tests/web).
#include <gtest/gtest.h>

#include <set>

#include "server/web/web_view.h"

namespace lumo::server {
namespace {

TEST(WebSettings, AddressesAndPorts) {
  struct Case {
    const char* text;
    bool ok;
    const char* address;
    int port;
  } const cases[] = {
      {"8080", true, "127.0.0.1", 8080},
      {"0", true, "127.0.0.1", 0},
      {"65535", true, "127.0.0.1", 65535},
      {"0.0.0.0:80", true, "0.0.0.0", 80},
      {"localhost:9000", true, "localhost", 9000},
      {"[::1]:8080", true, "::1", 8080},
      {"[::]:0", true, "::", 0},
      {"", false, "", 0},
      {"65536", false, "", 0},
      {"-1", false, "", 0},
      {"80x", false, "", 0},
      {"host:", false, "", 0},
      {":8080", false, "", 0},
      {"[::1]8080", false, "", 0},
      {"[::1", false, "", 0},
  };
  for (const Case& c : cases) {
    WebSettings s;
    std::string error;
    EXPECT_EQ(parse_web_address(c.text, &s, &error), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(s.address, c.address) << c.text;
      EXPECT_EQ(s.port, c.port) << c.text;
    } else {
      EXPECT_NE(error.find(c.text), std::string::npos) << "the message names what was given: " << error;
    }
  }
}

TEST(WebSettings, Tokens) {
  EXPECT_TRUE(web_token_ok("abc-DEF_0.9~"));
  EXPECT_TRUE(web_token_ok(std::string(128, 'a')));
  for (const char* bad : {"", "a b", "a&b", "a=b", "a%41", "a/b", "a?b", "a#b", "\xc3\xa9"}) {
    EXPECT_FALSE(web_token_ok(bad)) << bad;
  }
  EXPECT_FALSE(web_token_ok(std::string(129, 'a')));
  std::set<std::string> seen;
  for (int i = 0; i < 100; ++i) {
    const std::string t = random_web_token();
    EXPECT_EQ(t.size(), 32u);
    EXPECT_TRUE(web_token_ok(t)) << t;
    seen.insert(t);
  }
  EXPECT_EQ(seen.size(), 100u);
}

}  // namespace
}  // namespace lumo::server
