// The server's search list and the switch string of a new server.
#include "lib/link/launch.h"
#include "tests/unit/test_support.h"

using namespace lumo;
using testing_support::LinkTest;

namespace {

std::string switches(StartOptions o) {
  char out[256];
  build_server_switches(out, sizeof out, o);
  return out;
}

}  // namespace

TEST_F(LinkTest, SearchListOrderLibraryDirFirstWithoutLeadingBlanks) {
  auto& s = fake::server();
  s.env["LUMODIR"] = "   /opt/lumo/bin";
  s.env["PATH"] = "/usr/bin:/bin";
  std::strcpy(g_link.exe_path, "/home/u/proj/prog");
  s.files = {"/opt/lumo/bin/lumoview", "/home/u/proj/lumoview", "/bin/lumoview"};
  EXPECT_STREQ(locate_server_executable("lumoview"), "/opt/lumo/bin/lumoview");
  EXPECT_EQ(s.probed.size(), 1u);
}

TEST_F(LinkTest, SearchListProgramDirectoryWinsOverCurrentAndPath) {
  auto& s = fake::server();
  s.env["PATH"] = "/usr/bin:/bin/:";
  std::strcpy(g_link.exe_path, "/home/u/proj/prog");
  s.files = {"/home/u/proj/lumoview", "./lumoview", "/bin/lumoview"};
  EXPECT_STREQ(locate_server_executable("lumoview"), "/home/u/proj/lumoview");

  s.probed.clear();
  s.files = {"/bin/lumoview"};
  EXPECT_STREQ(locate_server_executable("lumoview"), "/bin/lumoview");
  // Every entry once, in order; a trailing separator is not doubled; empty
  // entries vanish.
  const std::vector<std::string> expected = {"/home/u/proj/lumoview", "./lumoview",
                                             "/usr/bin/lumoview", "/bin/lumoview"};
  EXPECT_EQ(s.probed, expected);
}

TEST_F(LinkTest, SearchSkipsCandidatesLongerThanAPath) {
  auto& s = fake::server();
  const std::string deep = "/" + std::string(250, 'd');
  s.env["PATH"] = deep + ":/usr/bin";
  s.files = {deep + "/lumoview", "/usr/bin/lumoview"};
  EXPECT_STREQ(locate_server_executable("lumoview"), "/usr/bin/lumoview");
  for (const auto& p : s.probed) EXPECT_LT(p.size(), 260u);
}

TEST_F(LinkTest, SearchFailuresAreFatal) {
  g_link.gui_messages = false;
  fake::server().env["PATH"] = "/usr/bin";
  EXPECT_EXIT(locate_server_executable("lumoview"), ::testing::ExitedWithCode(1),
              "^lumoview: not found on the search path\\.\nLumo: searched [^\n]*lumoview\\.\n$");
  fake::server().env.clear();
  EXPECT_EXIT(locate_server_executable("lumoview"), ::testing::ExitedWithCode(1),
              "^Failed to get PATH\n$");
}

TEST_F(LinkTest, SwitchStringFollowsTheOptionsInOrder) {
  EXPECT_EQ(switches({5, 0, 0, 640, 480, -1, -1, -1, -1}), " /t /B /r /I /L /O /p0,0 /s640,480");
  const int keep_all = 0x3F << 16;
  EXPECT_EQ(switches({keep_all, -1, -1, -1, -1, -1, -1, -1, -1}), "");
  EXPECT_EQ(switches({-1, 0, 0, 0, 480, 5, 0, 0, 1200}), " /p0,0 /m0 /dpi1200");
  EXPECT_EQ(switches({-1, -1, -1, -1, -1, 4, 14, 4, 1201}), " /a4 /m14 /z4");
  // Bit 17 keeps /b out; the others follow bits 0..5.
  EXPECT_EQ(switches({(1 << 17) | 0x3F, -1, -1, -1, -1, 1, 15, 1, 1}), " /t /r /i /l /o /a1 /z1 /dpi1");
}
