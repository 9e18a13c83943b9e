// Reporting: presentation, language and the end of the link.
#include <unistd.h>

#include <cstring>

#include "lib/link/messages.h"
#include "tests/unit/test_support.h"

using namespace lumo;
using testing_support::LinkTest;

TEST_F(LinkTest, GuiProgramShowsTopmostErrorBoxes) {
  EXPECT_EQ(report_message(1, "Failed to get PATH"), platform::kAnswerOk);
  fake::server().box_answer = platform::kAnswerIgnore;
  EXPECT_EQ(report_message(0, "Failed to open new window # %d.", 4), platform::kAnswerIgnore);
  ASSERT_EQ(fake::server().boxes.size(), 2u);
  EXPECT_EQ(fake::server().boxes[0].first, "Failed to get PATH");
  EXPECT_EQ(fake::server().boxes[0].second, 0x40010u);
  EXPECT_EQ(fake::server().boxes[1].first, "Failed to open new window # 4.");
  EXPECT_EQ(fake::server().boxes[1].second, 0x40012u);
}

TEST_F(LinkTest, AbortInAWarningBoxEndsTheLinkOnlyWithWindowsOpen) {
  fake::server().box_answer = platform::kAnswerAbort;
  EXPECT_EQ(report_message(0, "warning"), platform::kAnswerAbort);
  link_console({1});
  g_link.gui_messages = true;
  EXPECT_EQ(report_message(0, "warning"), 0);
  EXPECT_EQ(g_link.view_count, 0);
  EXPECT_EQ(g_link.server_number, 0);
  EXPECT_TRUE(log().empty());  // the silent end sends nothing
}

TEST_F(LinkTest, ConsoleWarningGoesToStderrAndTheProgramGoesOn) {
  link_console({1});
  ::testing::internal::CaptureStderr();
  const int n = report_message(0, "Failed to open new window # %d.", 4);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Failed to open new window # 4.\n");
  EXPECT_EQ(n, 31);
  EXPECT_EQ(g_link.view_count, 1);
}

TEST_F(LinkTest, ConsoleFatalReportWithWindowsEndsTheLink) {
  link_console({1});
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(report_message(1, "The window was closed."), 0);
  ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(g_link.view_count, 0);
  EXPECT_EQ(g_link.server_number, 0);
}

TEST_F(LinkTest, QuotedConsoleStartPromptsAndWaitsForOneCharacter) {
  link_console({1});
  g_link.quoted_start = true;
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  ASSERT_EQ(write(fds[1], "xy", 2), 2);
  close(fds[1]);
  const int saved_stdin = dup(0);
  dup2(fds[0], 0);
  close(fds[0]);
  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  report_message(1, "Ended abnormally.");
  const std::string out = ::testing::internal::GetCapturedStdout();
  ::testing::internal::GetCapturedStderr();
  const int next = std::getchar();  // the prompt consumed exactly one character
  dup2(saved_stdin, 0);
  close(saved_stdin);
  clearerr(stdin);
  EXPECT_EQ(out, "> ");
  EXPECT_EQ(next, 'y');
}

TEST_F(LinkTest, LongMessagesAreCutAt255Characters) {
  std::string big(600, 'm');
  g_link.gui_messages = false;
  ::testing::internal::CaptureStderr();
  report_message(0, "%s", big.c_str());
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), std::string(255, 'm') + "\n");
}

TEST_F(LinkTest, JapaneseTextsAreChosenUnderCodePage932Only) {
  EXPECT_STREQ(message_text(Msg::GetPath), "Failed to get PATH");  // code page still 0
  g_link.code_page = 932;
  // "環境変数 PATH の取得に失敗しました" in Shift-JIS.
  EXPECT_STREQ(message_text(Msg::GetPath),
               "\x8a\xc2\x8b\xab\x95\xcf\x90\x94 PATH \x82\xcc\x8e\xe6\x93\xbe\x82\xc9"
               "\x8e\xb8\x94\x73\x82\xb5\x82\xdc\x82\xb5\x82\xbd");
  // Texts without a twin stay English.
  EXPECT_STREQ(message_text(Msg::BufferOverflow), "Internal buffer overflow[%s]");
  EXPECT_STREQ(message_text(Msg::MissingNtSignature), "Missing NT signature. Unknown file type.");
  g_link.code_page = 1252;
  EXPECT_STREQ(message_text(Msg::WindowClosed), "The window was closed.");
}

TEST_F(LinkTest, EveryMessageHasAnEnglishTextAndTwinsKeepTheirConversions) {
  for (const MessageText& m : kCatalogue) {
    ASSERT_NE(m.english, nullptr);
    if (!m.japanese) continue;
    // A twin takes the same kinds of arguments (their order may differ).
    auto count = [](const char* s, const char* conv) {
      int n = 0;
      for (const char* p = std::strstr(s, conv); p; p = std::strstr(p + 1, conv)) ++n;
      return n;
    };
    for (const char* conv : {"%s", "%d", "%lu"}) {
      EXPECT_EQ(count(m.english, conv), count(m.japanese, conv)) << m.english;
    }
  }
}
