// The command envelope, the replies and the data area.
#include <cstring>

#include "include/lumo.h"
#include "tests/unit/test_support.h"

using namespace lumo;
using testing_support::LinkTest;

namespace {

void fill_command(int length_with_nul) {
  std::memset(g_link.command_buffer, 'x', static_cast<size_t>(length_with_nul - 1));
  g_link.command_buffer[0] = 'A';
  g_link.command_buffer[length_with_nul - 1] = '\0';
}

}  // namespace

TEST_F(LinkTest, CommandOf256BytesIsSentAnd257EndsTheProgram) {
  link_console();
  fill_command(256);
  EXPECT_EQ(send_command(256), 1);
  ASSERT_EQ(log().size(), 1u);
  EXPECT_EQ(log()[0].bytes.size(), 256u);

  fill_command(257);
  EXPECT_EXIT(send_command(257), ::testing::ExitedWithCode(1), "Internal buffer overflow\\[Axxx");
}

TEST_F(LinkTest, OverflowInAGuiProgramOffersAbortRetryIgnoreAndStillEnds) {
  link_console();
  g_link.gui_messages = true;
  fake::server().box_answer = platform::kAnswerIgnore;
  fill_command(300);
  EXPECT_EXIT(
      {
        send_command(300);
        // Not reached: the report returns, then the program ends.
      },
      ::testing::ExitedWithCode(1), "");
}

TEST_F(LinkTest, NoServerWindowMeansNoServerReplyAndNothingSent) {
  std::strcpy(g_link.command_buffer, "E  ");
  EXPECT_EQ(send_command(4), wire::kReplyNoServer);
  EXPECT_TRUE(log().empty());
}

TEST_F(LinkTest, VanishedServerWindowIsFatalWithTheRightMessage) {
  link_console();
  fake::server().alive = false;
  EXPECT_EXIT(send_window_command1(1, 'A', 2), ::testing::ExitedWithCode(1),
              "^The window was closed\\.\n$");
  std::strcpy(g_link.command_buffer, "K,77,");
  EXPECT_EXIT(send_command(6), ::testing::ExitedWithCode(1),
              "Failed to launch lumoview\\.\nCheck if lumoview alives as a zombi!!");
}

TEST_F(LinkTest, ServerDyingWhileACommandIsPendingEndsTheProgram) {
  link_console();
  fake::server().die_on_send = true;
  EXPECT_EXIT(send_window_command1(1, 'A', 2), ::testing::ExitedWithCode(1),
              "The window was closed\\.");
}

TEST_F(LinkTest, PlainAndSpecialReplies) {
  EXPECT_EQ(interpret_reply(5), 5);
  EXPECT_EQ(interpret_reply(-32767), -32767);
  EXPECT_EQ(interpret_reply(static_cast<int32_t>(0x80000006u)), static_cast<int32_t>(0x80000006u));
  EXPECT_EQ(interpret_reply(wire::kReplyNoServer), wire::kReplyNoServer);
  EXPECT_EQ(interpret_reply(wire::kReplyTrue), 1);
}

TEST_F(LinkTest, AbortedReplyIsFatal) {
  link_console();
  EXPECT_EXIT(interpret_reply(wire::kReplyAborted), ::testing::ExitedWithCode(1),
              "Ended abnormally\\.");
}

TEST_F(LinkTest, CloseExitTellsTheServerThenExitsZero) {
  link_console();
  fake::server().handler = [](const fake::Command& c) {
    if (c.text() == "L,0,") {
      std::fprintf(stderr, "end request received\n");
      return 1;
    }
    return wire::kReplyCloseExit;
  };
  EXPECT_EXIT(send_window_command1(1, 'A', 2), ::testing::ExitedWithCode(0),
              "end request received");
}

TEST_F(LinkTest, ExitReplyExitsZeroWithoutEndRequest) {
  link_console();
  EXPECT_EXIT(interpret_reply(wire::kReplyExit), ::testing::ExitedWithCode(0), "");
}

TEST_F(LinkTest, DetachedReplyReleasesTheLinkAndLaterCommandsSendNothing) {
  link_console();
  fake::server().replies = {wire::kReplyDetached};
  EXPECT_EQ(send_window_command1(1, 'A', 2), 0);
  EXPECT_EQ(g_link.server_window, 0);
  EXPECT_EQ(g_link.server_number, 0);
  EXPECT_EQ(g_link.view_count, 0);
  EXPECT_EQ(send_code('P', ' ', '!'), wire::kReplyNoServer);
  EXPECT_EQ(log().size(), 1u);
}

TEST_F(LinkTest, WindowCommandsFillOnlyTheirWordsAndSendLetterAndCode) {
  link_console({1, 63});
  unsigned char* view = window_view(63);
  write_i32(view, wire::kArg3, 1234);
  send_window_command2(63, 'B', 24, 7);
  ASSERT_EQ(log().size(), 1u);
  EXPECT_EQ(log()[0].bytes, std::string("B_\0", 3));
  EXPECT_EQ(log()[0].arg[0], 24);
  EXPECT_EQ(log()[0].arg[1], 7);
  EXPECT_EQ(log()[0].arg[2], 1234);  // word 3 keeps its previous contents
  send_window_command3(1, 'A', 1, 2, 3);
  EXPECT_EQ(log()[1].text(), "A!");
  EXPECT_EQ(log()[1].arg[2], 3);
}

TEST_F(LinkTest, WindowCommandForAWindowNotHeldSendsNothing) {
  link_console({1});
  EXPECT_EQ(send_window_command1(2, 'A', 2), 0);
  EXPECT_EQ(send_window_command3(64, 'A', 2, 0, 0), 0);
  EXPECT_EQ(send_window_command2(-1, 'A', 2, 0), 0);
  EXPECT_EQ(send_window_data(5, "abc", 3), 0);
  EXPECT_EQ(put_window_text(7, "abc"), 0);
  EXPECT_TRUE(log().empty());
}

TEST_F(LinkTest, SendCodeSendsThreeCharactersAndNul) {
  link_console();
  send_code('B', '0', '#');
  EXPECT_EQ(log()[0].bytes, std::string("B0#\0", 4));
}

TEST_F(LinkTest, DataTransferChunksAt2048Bytes) {
  link_console();
  std::string bytes(2049, 'q');
  bytes[2048] = 'z';
  EXPECT_EQ(send_window_data(1, bytes.data(), 0), 1);
  EXPECT_TRUE(log().empty());

  EXPECT_EQ(send_window_data(1, bytes.data(), 2048), 1);
  ASSERT_EQ(log().size(), 1u);
  EXPECT_EQ(log()[0].arg[0], wire::kBlockChunk);
  EXPECT_EQ(log()[0].arg[1], 0);
  EXPECT_EQ(log()[0].arg[2], 2048);

  log().clear();
  EXPECT_EQ(send_window_data(1, bytes.data(), 2049), 1);
  ASSERT_EQ(log().size(), 2u);
  EXPECT_EQ(log()[1].arg[1], 2048);
  EXPECT_EQ(log()[1].arg[2], 1);
  EXPECT_EQ(log()[1].raw_data[0], 'z');
}

TEST_F(LinkTest, BlockTransferAnnouncesSendsAndCommits) {
  link_console();
  std::string bytes(3000, 'q');
  EXPECT_EQ(send_window_block(1, 28, bytes.data(), 3000), 1);
  ASSERT_EQ(log().size(), 4u);
  EXPECT_EQ(log()[0].letter, 'N');
  EXPECT_EQ(log()[0].arg[0], 28);
  EXPECT_EQ(log()[1].arg[0], wire::kBlockChunk);
  EXPECT_EQ(log()[2].arg[2], 3000 - 2048);
  EXPECT_EQ(log()[3].arg[0], wire::kBlockCommit);
}

TEST_F(LinkTest, RefusedAnnouncementSendsNoChunkAndNoCancel) {
  link_console();
  fake::server().replies = {0};
  EXPECT_EQ(send_window_block(1, 30, "abcd", 4), 0);
  EXPECT_EQ(log().size(), 1u);
}

TEST_F(LinkTest, RefusedChunkCancelsTheBlock) {
  link_console();
  std::string bytes(5000, 'q');
  fake::server().replies = {1, 1, 0};  // announce, chunk 0, chunk 1 refused
  EXPECT_EQ(send_window_block(1, 30, bytes.data(), 5000), 0);
  ASSERT_GE(log().size(), 4u);
  EXPECT_EQ(log()[2].arg[1], 2048);
  EXPECT_EQ(log()[3].arg[0], wire::kBlockCancel);
  for (const auto& c : log()) EXPECT_NE(c.arg[0], wire::kBlockCommit);
}

TEST_F(LinkTest, PutWindowTextCopiesAtMost2047Characters) {
  link_console();
  EXPECT_EQ(put_window_text(1, "hello"), 5);
  EXPECT_STREQ(window_data(1), "hello");
  EXPECT_EQ(put_window_text(1, window_data(1)), 5);
  EXPECT_EQ(put_window_text(1, nullptr), 0);
  EXPECT_STREQ(window_data(1), "");
  std::string big(5000, 'a');
  EXPECT_EQ(put_window_text(1, big.c_str()), 2047);
  EXPECT_EQ(std::strlen(window_data(1)), 2047u);
}

TEST_F(LinkTest, PutWindowTextNTrimsBlankPaddingAndClamps) {
  link_console();
  EXPECT_STREQ(put_window_text_n(1, "abc   ", 6), "abc");
  EXPECT_STREQ(put_window_text_n(1, "      ", 6), "");
  EXPECT_STREQ(put_window_text_n(1, "ab cd xyz", 5), "ab cd");
  EXPECT_STREQ(put_window_text_n(1, "ab\0zz", 5), "ab");
  EXPECT_EQ(put_window_text_n(1, nullptr, 4), nullptr);
  EXPECT_STREQ(window_data(1), "");
  EXPECT_STREQ(put_window_text_n(1, "abc", -3), "");
  std::string big(5000, 'b');
  EXPECT_EQ(std::strlen(put_window_text_n(1, big.c_str(), 5000)), 2047u);
}

TEST_F(LinkTest, FormatWindowTextWritesIntoTheDataArea) {
  link_console();
  EXPECT_EQ(format_window_text(1, "%d:%d %s", 1, 2, "Plot"), 8);
  EXPECT_STREQ(window_data(1), "1:2 Plot");
  std::string big(3000, 'c');
  EXPECT_EQ(format_window_text(1, "%s", big.c_str()), 2047);
}

// The request travels in the server block and with the command; the
// answer is read from the server block, or, where the connection carries
// the program's own answer, from there (the block may hold another
// program's by then).
TEST_F(LinkTest, RequestValuesWritesTheRequestAndReadsTheAnswer) {
  for (bool direct : {false, true}) {
    link_console();
    char* text = reinterpret_cast<char*>(g_link.server_view);
    fake::server().answers_direct = direct;
    fake::server().handler = [&](const fake::Command& c) {
      EXPECT_EQ(c.bytes, std::string("E  \0" "3;3;640;-1;", 15) + '\0');
      EXPECT_STREQ(text, "3;3;640;-1;");
      std::strcpy(text, direct ? "3;11;22;" : "3;1024;768;");
      if (direct) fake::server().answer = "3;1024;768;";
      return 1;
    };
    int32_t a = 640;
    int32_t b = -1;
    EXPECT_EQ(request_values(3, &a, &b), 1);
    EXPECT_EQ(a, 1024) << direct;
    EXPECT_EQ(b, 768) << direct;
  }
}

TEST_F(LinkTest, RequestValuesSettingReadsNothingBack) {
  link_console();
  char* text = reinterpret_cast<char*>(g_link.server_view);
  fake::server().handler = [&](const fake::Command&) {
    EXPECT_STREQ(text, "-4;2;0;9;");
    std::strcpy(text, "3;55;66;");
    return 7;
  };
  int32_t b = 9;
  EXPECT_EQ(request_values(-4, nullptr, &b), 7);
  EXPECT_EQ(b, 9);
}

TEST_F(LinkTest, RequestValuesWithAShortAnswerReturnsZeroAndLeavesValues) {
  link_console();
  char* text = reinterpret_cast<char*>(g_link.server_view);
  fake::server().handler = [&](const fake::Command&) {
    std::strcpy(text, "3;12;");
    return 1;
  };
  int32_t a = 1;
  int32_t b = 2;
  EXPECT_EQ(request_values(2, &a, &b), 0);
  EXPECT_EQ(a, 1);
  EXPECT_EQ(b, 2);
}

TEST_F(LinkTest, RequestValuesWithoutAServerBlockIsFatal) {
  g_link.gui_messages = false;
  int32_t a = 0;
  int32_t b = 0;
  EXPECT_EXIT(request_values(2, &a, &b), ::testing::ExitedWithCode(1),
              "Failed to communicate with the graphics window\\.");
}

TEST_F(LinkTest, ProbeCurrentWindow) {
  EXPECT_EQ(probe_current_window(), -1);
  link_console();
  fake::server().replies = {5};
  EXPECT_EQ(probe_current_window(), 1);
  fake::server().replies = {wire::kReplyAborted, 3};
  EXPECT_EQ(probe_current_window(), 2);
  fake::server().replies = {wire::kReplyAborted, wire::kWindowProbeSecondReply};
  EXPECT_EQ(probe_current_window(), 0);
  ASSERT_EQ(log().size(), 5u);
  EXPECT_EQ(log()[3].letter, 'O');
  EXPECT_EQ(log()[3].arg[0], 1);
  EXPECT_EQ(log()[4].arg[0], 2);
}

// Drawing that needs no answer is posted when the connection takes it:
// with the block's state and arguments, and the data area's text only where
// the server reads it.  Everything else still waits for its answer.
TEST_F(LinkTest, DrawingThatNeedsNoAnswerIsPostedWithWhatItReads) {
  link_console();
  fake::server().take_posts = true;
  fake::server().default_reply = 77;
  LmSetWorld(0, 0, 0, 0);
  log().clear();
  LmLine(10, 20, 30, 40);
  ASSERT_EQ(log().size(), 2u);
  for (const fake::Command& c : log()) {
    EXPECT_TRUE(c.posted);
    EXPECT_EQ(c.posted_bytes, static_cast<size_t>(wire::kDataArea));
  }
  EXPECT_EQ(log()[0].arg[0], wire::kDrawMove);
  EXPECT_EQ(log()[1].arg[0], wire::kDrawLine);
  EXPECT_EQ(log()[1].arg[1], 30);

  log().clear();
  LmText(5, 5, "Lumo");
  ASSERT_EQ(log().size(), 1u);
  EXPECT_TRUE(log()[0].posted);
  EXPECT_EQ(log()[0].data, "Lumo");
  EXPECT_EQ(log()[0].posted_bytes, static_cast<size_t>(wire::kDataArea) + 5);

  // A pen change travels with its changed bits, which then start afresh.
  log().clear();
  LmSetPen(LmRgb(1, 2, 3), 0, 2, 13);
  ASSERT_FALSE(log().empty());
  EXPECT_TRUE(log().back().posted);
  EXPECT_NE(log().back().changed, 0);
  EXPECT_EQ(read_i32(window_view(1), wire::kChanged), 0);

  // A query and a no-op window operation are answered.
  log().clear();
  EXPECT_EQ(LmDevWindowOp(1), 77);
  LmGetPixel(1, 1);
  ASSERT_EQ(log().size(), 2u);
  EXPECT_FALSE(log()[0].posted);
  EXPECT_FALSE(log()[1].posted);
}

TEST_F(LinkTest, WithoutPostingEveryCommandIsAnsweredAndAServerGoneWhilePostingEndsTheProgram) {
  link_console();
  LmSetWorld(0, 0, 0, 0);
  log().clear();
  fake::server().replies = {1, 0};
  LmLine(1, 2, 3, 4);
  ASSERT_EQ(log().size(), 2u);
  EXPECT_FALSE(log()[1].posted);
  EXPECT_EQ(LmDevMoveTo(1, 5, 6), 1);
  fake::server().take_posts = true;
  fake::server().die_on_send = true;
  EXPECT_EXIT(LmLine(1, 2, 3, 4), ::testing::ExitedWithCode(1), "^The window was closed\\.\n$");
}
