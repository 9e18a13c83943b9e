// The web view's settings: addresses, tokens.  What it serves is tested
// end to end with a browser (tests/web).
#include <gtest/gtest.h>

#include <set>

#include "server/web/web_gate.h"
#include "server/web/web_proof.h"
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

std::string with_fields(int n) {
  std::string head = "GET / HTTP/1.1\r\n";
  for (int i = 0; i < n; ++i) head += "X-" + std::to_string(i) + ": v\r\n";
  return head;
}

// Heads the gate reads: what each gets (0: let in, once complete).
TEST(WebGate, RequestHeads) {
  struct Case {
    std::string head;
    int status;
    bool complete;
  } const cases[] = {
      {"GET /?token=x HTTP/1.1\r\nHost: h\r\n\r\n", 0, true},
      {"GET / HTTP/1.0\n\n", 0, true},
      {"GET / HTTP/1.1\r\nHost: h\r\n", 0, false},  // more to come
      {"GE", 0, false},
      {"GET /" + std::string(5000, 'a'), 414, false},  // the line has not even ended
      {"GET /" + std::string(5000, 'a') + " HTTP/1.1\r\n\r\n", 414, false},
      {"GET / HTTP/1.1\r\nX: " + std::string(20000, 'b'), 431, false},
      {with_fields(64) + "\r\n", 0, true},
      {with_fields(65), 431, false},
      {"HELLO THERE\r\n\r\n", 400, false},
      {"get / HTTP/1.1\r\n\r\n", 400, false},
      {"GET x HTTP/1.1\r\n\r\n", 400, false},
      {"GET / SPDY/3\r\n\r\n", 400, false},
      {"\x16\x03\x01", 400, false},  // TLS on a plain HTTP port
  };
  for (const Case& c : cases) {
    const std::string& head = c.head;
    bool complete = false;
    EXPECT_EQ(check_request_head(head, GateLimits(), &complete), c.status) << head.substr(0, 40);
    EXPECT_EQ(complete, c.complete) << head.substr(0, 40);
  }
}

// The proof's hash against the standard's own examples (FIPS 180-2,
// RFC 4231 case 2).
TEST(WebProof, KnownAnswers) {
  std::string hex;
  for (const unsigned char b : sha256("abc")) {
    static const char kHex[] = "0123456789abcdef";
    hex += kHex[b >> 4];
    hex += kHex[b & 15];
  }
  EXPECT_EQ(hex, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(hmac_sha256_hex("Jefe", "what do ya want for nothing?"),
            "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843");
  EXPECT_EQ(web_proof("key", "0123456789abcdef"), hmac_sha256_hex("key", "lumoview 0123456789abcdef"));
  EXPECT_EQ(web_proof("key", "0123"), "");
  EXPECT_EQ(web_proof("key", "0123456789abcdeg"), "");
}

}  // namespace
}  // namespace lumo::server
