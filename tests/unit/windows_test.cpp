// Opening, joining, closing and ending.
#include <unistd.h>

#include "include/lumo.h"
#include "include/lumo_ref.h"
#include "tests/unit/test_support.h"

using namespace lumo;
using testing_support::LinkTest;

namespace {

class WindowsTest : public LinkTest {
 protected:
  void SetUp() override {
    LinkTest::SetUp();
    fake::server().env["PATH"] = "/usr/bin";
    fake::server().files = {"/usr/bin/lumoview"};
  }

  // A server that already shows window `w` titled `title`.
  void showing_server(int n, int w, const std::string& title) {
    fake::server().add_server(n, std::to_string(w) + "," + title + "\n4242,77,0,9,9,9b");
    fake::server().add_window(n, w);
  }

  std::vector<fake::Command> after_startup() {
    std::vector<fake::Command> out;
    bool seen = false;
    for (const auto& c : log()) {
      if (seen) out.push_back(c);
      if (c.letter == 'K') seen = true;
    }
    return out;
  }
};

// Feeds one character to stdin while `body` runs; returns what it printed.
template <typename F>
std::string with_stdin_key(F body) {
  int fds[2];
  if (pipe(fds) != 0) return "pipe failed";
  if (write(fds[1], "\n", 1) != 1) return "write failed";
  close(fds[1]);
  const int saved = dup(0);
  dup2(fds[0], 0);
  close(fds[0]);
  ::testing::internal::CaptureStdout();
  body();
  std::string out = ::testing::internal::GetCapturedStdout();
  dup2(saved, 0);
  close(saved);
  clearerr(stdin);
  return out;
}

}  // namespace

TEST_F(WindowsTest, FirstOpenStartsTheServerAndOpensWindowOne) {
  fake::server().on_launch = [this] { waiting_server(); };
  open_answer = 1;
  special = [](const fake::Command& c, int32_t* r) {
    if (c.letter == 'B' && c.arg[0] == 24) {
      *r = 41;
      return true;
    }
    return false;
  };
  EXPECT_EQ(LmOpen(1), 41);
  const auto cmds = after_startup();
  ASSERT_EQ(cmds.size(), 2u);
  EXPECT_EQ(cmds[0].bytes, std::string("I,1,0,0,-1,-1,-1,") + '\0');
  EXPECT_EQ(cmds[1].text(), "B!");
  EXPECT_EQ(cmds[1].arg[0], 24);
  EXPECT_EQ(cmds[1].arg[1], 0);
  EXPECT_EQ(g_link.current_window, 1);
  EXPECT_EQ(g_link.current_window_code, '!');
  EXPECT_EQ(g_link.view_count, 1);
}

TEST_F(WindowsTest, TheServersNumberForTheNewWindowWins) {
  waiting_server();
  next_window = 7;
  EXPECT_EQ(LmOpenEx(2, 640, 480, 3, 4, 1, "My title"), 1);
  EXPECT_EQ(after_startup()[0].text(), "I,2,640,480,3,4,1,My title");
  EXPECT_EQ(g_link.current_window, 7);
  EXPECT_EQ(g_link.window_views[7], fake::server().block("LumoView1:7"));
  EXPECT_EQ(g_link.window_views[2], nullptr);
}

// Another program's open may rewrite the server block before this program
// reads it: where the connection carries the program's own answer, that is
// the one taken.
TEST_F(WindowsTest, TheProgramsOwnAnswerNamesItsNewWindow) {
  waiting_server();
  fake::server().answers_direct = true;
  special = [](const fake::Command& c, int32_t* r) {
    if (c.letter != 'I') return false;
    fake::server().add_window(1, 3);
    fake::server().add_window(1, 9);
    std::strcpy(reinterpret_cast<char*>(fake::server().block("LumoView1")), "9,Other\n4242,77,0,9,9,9b");
    fake::server().answer = "3,Mine";
    *r = 3;
    return true;
  };
  LmOpen(1);
  EXPECT_EQ(g_link.current_window, 3);
  EXPECT_EQ(g_link.window_views[9], nullptr);
}

// Ending the link ends it even with every window closed before: a later
// open links afresh (its start-up command sent again).
TEST_F(WindowsTest, QuitAfterClosingEveryWindowEndsTheLink) {
  waiting_server();
  LmOpen(1);
  LmClose(-1);
  LmQuit();
  EXPECT_EQ(g_link.server_view, nullptr);
  EXPECT_EQ(g_link.server_number, 0);
  fake::server().add_server(1, "0,4242,77,0,9,9,9b");
  log().clear();
  EXPECT_GT(LmOpen(1), 0);
  EXPECT_EQ(fake::server().sent('K').size(), 1u);
}

TEST_F(WindowsTest, RefusedOpenIsFatal) {
  waiting_server();
  open_answer = 0;
  g_link.gui_messages = false;
  EXPECT_EXIT(LmOpen(1), ::testing::ExitedWithCode(1), "^Failed to open a graphics window\\.\n$");
}

TEST_F(WindowsTest, MissingWindowBlockIsAWarningAndTheProgramGoesOn) {
  waiting_server();
  special = [](const fake::Command& c, int32_t* r) {
    if (c.letter != 'I') return false;
    std::strcpy(reinterpret_cast<char*>(fake::server().block("LumoView1")), "5,Lost");
    *r = 1;
    return true;
  };
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(LmOpen(5), 0);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Failed to open new window # 5.\n");
  EXPECT_EQ(g_link.current_window, 0);
}

TEST_F(WindowsTest, JoinSkipsAnIdleServerAndDescribesTheWindow) {
  fake::server().add_server(1, "0,4242,77,0,9,9,9b");
  showing_server(2, 3, "Graph");
  serve_like_lumoview(2);
  special = [](const fake::Command& c, int32_t* r) {
    if (c.letter == 'B' && c.arg[0] == 10) {  // switch 4 off: no question
      *r = 0;
      return true;
    }
    return false;
  };
  char desc[280];
  EXPECT_EQ(LmJoin(0, 0, 1, desc), 3);
  EXPECT_STREQ(desc, "2:3 Graph");
  EXPECT_EQ(g_link.server_number, 2);
  EXPECT_TRUE(g_link.joined);
  EXPECT_TRUE(fake::server().sent('B').size() == 1);  // the switch read only
  EXPECT_EQ(LmJoin(0, 0, 1, desc), 0);                 // already linked
}

// Any title a window can have keeps it findable: none at all (LmOpen(n)),
// blanks, commas, or a long one.
TEST_F(WindowsTest, WindowsAreFoundWhateverTheirTitle) {
  const std::string titles[] = {"", " ", "a,b,c", "7,8,9", std::string(255, 'x')};
  for (const std::string& title : titles) {
    fake::server().add_server(1, "0,4242,77,0,9,9,9b");
    showing_server(2, 3, title);
    serve_like_lumoview(2);
    char desc[280];
    EXPECT_EQ(LmJoin(0, 0, 0, desc), 0);
    EXPECT_EQ(std::string(desc), "2:3 " + title);
  }
}

TEST_F(WindowsTest, JoinOfAWindowTheServerDoesNotShowIsFatal) {
  showing_server(1, 2, "Plot");
  serve_like_lumoview();
  g_link.code_page = 1252;
  g_link.gui_messages = false;
  char desc[280];
  EXPECT_EXIT(LmJoin(5, 0, 1, desc), ::testing::ExitedWithCode(1),
              "^Failed to do 'join' \\[ no specified window found \\]\\.\n$");
}

TEST_F(WindowsTest, DeclinedQuestionThenSecondTryAsksAboutTheCurrentWindow) {
  showing_server(1, 2, "Plot");
  fake::server().add_window(1, 5);
  serve_like_lumoview();
  std::vector<std::string> questions;
  int asked = 0;
  special = [&](const fake::Command& c, int32_t* r) {
    if (c.letter == 'B' && c.arg[0] == 10) {
      *r = 1;  // switch 4 on
      return true;
    }
    if (c.letter == 'B' && c.arg[0] == 3) {
      questions.push_back(c.data);
      unsigned char* v = window_view(c.window);
      write_i32(v, wire::kResult0, ++asked == 1 ? wire::kAnswerNo : wire::kAnswerYes);
      *r = 1;
      return true;
    }
    return false;
  };
  char desc[280];
  EXPECT_EQ(LmJoin(5, 0, 1, desc), 2);
  ASSERT_EQ(questions.size(), 2u);
  EXPECT_EQ(questions[0], "Would you like to draw on ( 'join' to ) [ 1:5 Plot ] ?");
  EXPECT_EQ(questions[1], "Would you like to draw on ( 'join' to ) [ 1:2 Plot ] ?");
  EXPECT_STREQ(desc, "1:2 Plot");
  EXPECT_TRUE(g_link.joined);
}

TEST_F(WindowsTest, FindOnlyJoinLeavesNoLinkAndTheNextOpenAsksForAWindow) {
  showing_server(1, 2, "Plot");
  serve_like_lumoview();
  char desc[280];
  EXPECT_EQ(LmJoin(0, 0, 0, desc), 0);
  EXPECT_STREQ(desc, "1:2 Plot");
  EXPECT_EQ(g_link.server_number, 0);
  EXPECT_FALSE(g_link.joined);
  EXPECT_EQ(g_link.view_count, 0);
  // The server now waits again; a new window is requested.
  std::strcpy(reinterpret_cast<char*>(fake::server().block("LumoView1")), "0,4242,77,0,9,9,9b");
  log().clear();
  LmOpen(1);
  EXPECT_EQ(fake::server().sent('I').size(), 1u);
}

TEST_F(WindowsTest, OpenAfterJoinTakesTheJoinedWindowOver) {
  showing_server(1, 2, "Plot");
  serve_like_lumoview();
  special = [](const fake::Command& c, int32_t* r) {
    if (c.letter == 'B' && c.arg[0] == 10) {
      *r = 0;
      return true;
    }
    return false;
  };
  char desc[280];
  ASSERT_EQ(LmJoin(0, 0, 1, desc), 2);
  log().clear();
  EXPECT_EQ(LmOpenEx(1, 100, 100, 0x20000ff, -1, 3, "ignored"), 2);
  ASSERT_EQ(log().size(), 2u);
  EXPECT_EQ(log()[0].letter, 'A');
  EXPECT_EQ(log()[0].arg[0], 5);
  EXPECT_EQ(log()[0].arg[1], 0x20000ff);
  EXPECT_EQ(log()[0].arg[2], 1);
  EXPECT_EQ(log()[1].letter, 'G');
  EXPECT_EQ(log()[1].arg[0], 18);
  EXPECT_FALSE(g_link.joined);
  log().clear();
  LmOpen(2);
  EXPECT_EQ(fake::server().sent('I').size(), 1u);
}

TEST_F(WindowsTest, JoinRefusesWindowNumbersBeyondTheTable) {
  showing_server(1, 2, "Plot");
  serve_like_lumoview();
  char desc[280] = "x";
  EXPECT_EQ(LmJoin(64, 0, 1, desc), 0);
  EXPECT_TRUE(log().empty());
}

TEST_F(WindowsTest, CloseCurrentWindowMakesTheServersAnswerCurrent) {
  waiting_server();
  LmOpen(1);
  LmOpen(2);
  log().clear();
  close_answer = 1;
  EXPECT_EQ(LmClose(0), 1);
  ASSERT_EQ(log().size(), 2u);
  EXPECT_EQ(log()[0].bytes, std::string("J\"\0", 3));
  EXPECT_EQ(log()[1].text(), "B!");
  EXPECT_EQ(log()[1].arg[0], 22);
  EXPECT_EQ(g_link.current_view, fake::server().block("LumoView1:1"));
  EXPECT_EQ(g_link.view_count, 1);
}

TEST_F(WindowsTest, CloseAllClosesInIncreasingOrderAndTheTwinWritesBoth) {
  waiting_server();
  LmOpen(1);
  LmOpen(2);
  LmOpen(3);
  log().clear();
  int result = 9;
  int n = -1;
  EXPECT_EQ(lmclose(&result, &n), 0);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(n, 0);
  ASSERT_EQ(log().size(), 3u);
  EXPECT_EQ(log()[0].text(), "J!");
  EXPECT_EQ(log()[1].text(), "J\"");
  EXPECT_EQ(log()[2].text(), "J#");
  EXPECT_EQ(g_link.view_count, 0);
}

TEST_F(WindowsTest, QuitPromptsOnlyInAQuotedConsole) {
  waiting_server();
  LmOpen(1);
  EXPECT_EQ(with_stdin_key([] { LmQuit(); }), "");  // unquoted
  EXPECT_EQ(fake::server().sent('L').back().text(), "L,1,");

  fake::server().command_line = "\"prog\"";
  LmOpen(1);
  EXPECT_EQ(with_stdin_key([] { LmQuit(); }), "> ");
  LmOpen(1);
  EXPECT_EQ(with_stdin_key([] { LmQuitEx(0); }), "");
  EXPECT_EQ(fake::server().sent('L').back().text(), "L,0,");
  LmOpen(1);
  const size_t ends = fake::server().sent('L').size();
  EXPECT_EQ(with_stdin_key([] { LmAbort(); }), "> ");
  EXPECT_EQ(fake::server().sent('L').size(), ends);
  EXPECT_EQ(g_link.server_number, 0);
}

TEST_F(WindowsTest, OpenTwinCutsLongTitlesAndDropsBlankOnes) {
  char copy[260];
  std::string title(300, 't');
  copy_padded(copy, sizeof copy, title.c_str(), 300);
  EXPECT_EQ(std::string(copy), std::string(259, 't'));
  copy_padded(copy, sizeof copy, "ab  ", 4);
  EXPECT_STREQ(copy, "ab");

  waiting_server();
  int result = 0, n = 1, w = 0, h = 0, c1 = -1, c2 = -1, mode = -1;
  std::string blanks(12, ' ');
  lmopenex(&result, &n, &w, &h, &c1, &c2, &mode, &blanks[0], 12);
  EXPECT_EQ(fake::server().sent('I').back().text(), "I,1,0,0,-1,-1,-1,");
  EXPECT_EQ(result, 1);
  std::string named = "Chart   ";
  lmopenex(&result, &n, &w, &h, &c1, &c2, &mode, &named[0], 8);
  EXPECT_EQ(fake::server().sent('I').back().text(), "I,1,0,0,-1,-1,-1,Chart");
  // A title that makes the request longer than 256 bytes ends the program.
  EXPECT_EXIT(lmopenex(&result, &n, &w, &h, &c1, &c2, &mode, &title[0], 300),
              ::testing::ExitedWithCode(1), "^Internal buffer overflow\\[I,1,0,0,-1,-1,-1,ttt");
}

TEST_F(WindowsTest, JoinTwinPassesItsDescriptionOnlyWhenLongEnough) {
  showing_server(1, 2, "A rather long window title");
  serve_like_lumoview();
  int result = 0, win = 0, server = 0, ask = 0;
  char small[10];
  std::memset(small, '#', sizeof small);
  lmjoin(&result, &win, &server, &ask, small, 10);
  EXPECT_EQ(small[0], '#');
  char desc[16];
  lmjoin(&result, &win, &server, &ask, desc, 16);
  EXPECT_STREQ(desc, "1:2 A rather lo");  // terminated inside its length
}
