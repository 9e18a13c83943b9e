// Finding a waiting server and releasing views.
#include <cstring>

#include "tests/unit/test_support.h"

using namespace lumo;
using testing_support::LinkTest;

TEST_F(LinkTest, FindServerPassesOverBusyAndMalformedBlocks) {
  fake::server().add_server(1, "1,Graph\n4242,5,0,9,9,9b");  // busy: shows a window
  fake::server().add_server(2, "0,4242,9");                   // three fields only
  fake::server().add_server(3, "x,4242,9,0,9,9,9b");          // not a number
  fake::server().add_server(4, "0,4242,31,0,9,9,10\nrest");
  fake::server().add_server(5, "0,4242,41,0,9,9,9b");
  EXPECT_EQ(find_server(), 31);
  EXPECT_EQ(g_link.server_number, 4);
  EXPECT_EQ(g_link.server_window, 4242);
  EXPECT_STREQ(g_link.server_version_text, "0,9,9,10");
  EXPECT_STREQ(g_link.mapping_name, "LumoView4");
  EXPECT_EQ(g_link.server_view, fake::server().block("LumoView4"));
}

TEST_F(LinkTest, FindServerWithNoUsableBlockReturnsZero) {
  fake::server().add_server(1, "2,Plot\n4242,5,0,9,9,9b");
  EXPECT_EQ(find_server(), 0);
  EXPECT_EQ(g_link.server_view, nullptr);
  EXPECT_EQ(g_link.server_number, 0);
}

TEST_F(LinkTest, FindServerReadsOnlyInsideTheBlock) {
  // A header that fills its block without a terminator must not be read past.
  unsigned char* b = fake::server().add_server(1, "", 256);
  const char head[] = "0,4242,8,";
  std::memset(b, '7', 256);
  std::memcpy(b, head, sizeof head - 1);
  EXPECT_EQ(find_server(), 8);
  EXPECT_EQ(std::strlen(g_link.server_version_text), 256u - (sizeof head - 1));
}

TEST_F(LinkTest, TooSmallBlocksAreNotUsed) {
  fake::server().add_server(1, "0,4242,8,0,9,9,9b", 64);
  EXPECT_EQ(find_server(), 0);
  fake::server().add_block("LumoView1:1", 1000);
  EXPECT_EQ(open_shared_view("LumoView1:1"), nullptr);
}

TEST_F(LinkTest, ReleaseLinkWithoutWindowViewsChangesNothing) {
  fake::server().add_server(1, "0,4242,77,0,9,9,9b");
  find_server();
  g_link.view_count = 0;
  release_link(-1);
  EXPECT_EQ(g_link.server_number, 1);
  EXPECT_NE(g_link.server_view, nullptr);
  EXPECT_TRUE(fake::server().released.empty());
}

TEST_F(LinkTest, ReleaseLinkReleasesEveryViewAndResetsTheLink) {
  link_console({1, 3, 5});
  unsigned char* server_block = g_link.server_view;
  release_link(-1);
  EXPECT_EQ(fake::server().released.size(), 4u);
  EXPECT_EQ(fake::server().released.back(), server_block);
  EXPECT_EQ(g_link.view_count, 0);
  EXPECT_EQ(g_link.server_number, 0);
  EXPECT_EQ(g_link.server_window, 0);
  EXPECT_EQ(g_link.current_window, 0);
  EXPECT_EQ(g_link.current_window_code, ' ');
  EXPECT_EQ(g_link.current_view, nullptr);
  EXPECT_STREQ(g_link.mapping_name, "");
  for (auto* v : g_link.window_views) EXPECT_EQ(v, nullptr);
}

TEST_F(LinkTest, ReleaseLinkOfOneWindowDropsThatWindowAndTheServer) {
  link_console({2, 4});
  release_link(4);
  EXPECT_EQ(g_link.window_views[4], nullptr);
  EXPECT_NE(g_link.window_views[2], nullptr);
  EXPECT_EQ(g_link.view_count, 1);
  EXPECT_EQ(g_link.server_view, nullptr);
  EXPECT_EQ(g_link.server_number, 0);
}

TEST_F(LinkTest, ViewsOfAVanishedServerAreLeftAlone) {
  link_console({1});
  fake::server().alive = false;
  release_link(-1);
  EXPECT_TRUE(fake::server().released.empty());
  EXPECT_EQ(g_link.view_count, 0);
}

TEST_F(LinkTest, FailedUnmapIsReportedAndReleasingGoesOn) {
  link_console({1, 2});
  fake::server().fail_release = true;
  ::testing::internal::CaptureStderr();
  release_link(-1);
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("Failed to UnmapViewOfFile [err=5]."), std::string::npos);
  EXPECT_EQ(g_link.view_count, 0);
  EXPECT_EQ(g_link.server_number, 0);
}
