// Start-up: the exact sequence, the checks and the fatal paths.
#include "include/lumo.h"
#include "include/lumo_ref.h"
#include "lib/link/launch.h"
#include "tests/unit/test_support.h"

using namespace lumo;
using testing_support::LinkTest;

namespace {

class StartupTest : public LinkTest {
 protected:
  void SetUp() override {
    LinkTest::SetUp();
    fake::server().env["PATH"] = "/usr/bin";
    fake::server().files = {"/usr/bin/lumoview"};
  }
};

}  // namespace

TEST_F(StartupTest, RunningServerGetsProbesThenTheStartupCommand) {
  waiting_server();
  fake::server().command_line = "\"/opt/app/prog\" arg";
  EXPECT_EQ(LmInit(), 1);
  ASSERT_EQ(log().size(), 5u);
  const size_t lengths[] = {8, 8, 12, 8};
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(log()[k].bytes.size(), lengths[k]);
    EXPECT_EQ(log()[k].bytes.substr(0, 4), std::string("O,") + char('0' + k) + '\0');
  }
  EXPECT_EQ(log()[0].bytes.substr(4), std::string("\x00\x09\x00\x00", 4));
  EXPECT_EQ(log()[2].bytes.substr(4), std::string("\x18\x2d\x44\x54\xfb\x21\x09\xc0", 8));
  // The run settings' fingerprint follows the text (none set here: FNV-1a's
  // starting value).
  EXPECT_EQ(log()[4].bytes,
            std::string("K,77,/home/user;/opt/app/prog;Version  0.99.9b") + '\0' + "S=811c9dc5" + '\0');
  EXPECT_TRUE(g_link.quoted_start);
  EXPECT_FALSE(g_link.gui_messages);
  EXPECT_EQ(g_link.code_page, 1252);
  EXPECT_TRUE(fake::server().launches.empty());

  log().clear();
  EXPECT_EQ(LmInit(), 0);  // already linked: nothing is done
  EXPECT_TRUE(log().empty());
}

TEST_F(StartupTest, OutOfRangeOptionsBehaveLikeLmInit) {
  waiting_server();
  int result = 0;
  int flags = -1, x = -1, y = -1, w = 0, h = 0, a = 0, m = -1, z = 0, dpi = 0;
  EXPECT_EQ(lminitex(&result, &flags, &x, &y, &w, &h, &a, &m, &z, &dpi), 1);
  EXPECT_EQ(result, 1);
  EXPECT_EQ(log().size(), 5u);
  EXPECT_TRUE(exchanges.empty());
}

TEST_F(StartupTest, RunningServerTakesTheOptionsAsRequestsBeforeStartup) {
  waiting_server();
  EXPECT_EQ(LmInitEx(0x21 | (0x3E << 16), 10, 20, 800, 600, 2, 5, 3, 96), 1);
  // Switch 1 on (the others kept), position, size and dpi through the server
  // block; a, m and z as three-character codes; all before the probes.
  const std::vector<std::string> expected = {"-101;3;1;0;", "4;3;10;20;", "3;3;800;600;",
                                             "10;3;96;96;"};
  EXPECT_EQ(exchanges, expected);
  std::vector<std::string> codes;
  for (const auto& c : log())
    if (c.letter != 'O' && c.letter != 'K') codes.push_back(c.bytes.substr(0, 4));
  const std::vector<std::string> expected_codes = {
      std::string("E  \0", 4), std::string("E  \0", 4), std::string("E  \0", 4),
      std::string("B0\"\0", 4), std::string("G \x05\0", 4), std::string("G \x0d\0", 4),
      std::string("E  \0", 4)};
  EXPECT_EQ(codes, expected_codes);
  EXPECT_EQ(log().back().letter, 'K');
  EXPECT_TRUE(fake::server().launches.empty());
}

TEST_F(StartupTest, NoServerStartsOneWithTheSwitchesAndLinksToIt) {
  fake::server().on_launch = [this] { waiting_server(); };
  EXPECT_EQ(LmInitEx(5, 0, 0, 640, 480, -1, -1, -1, -1), 1);
  ASSERT_EQ(fake::server().launches.size(), 1u);
  EXPECT_EQ(fake::server().launches[0].path, "/usr/bin/lumoview");
  EXPECT_EQ(fake::server().launches[0].switches, " /t /B /r /I /L /O /p0,0 /s640,480");
  EXPECT_EQ(log().back().letter, 'K');
}

TEST_F(StartupTest, NoServerAfterTheLaunchIsFatal) {
  EXPECT_EXIT(LmInit(), ::testing::ExitedWithCode(1),
              "^Cannot execute lumoview to open the graphics window\\.\n$");
  // Every server number taken by a server showing an earlier program's
  // windows: the user learns why, and what to do.
  for (int n = 1; n <= 15; ++n) fake::server().add_server(n, "1,Graph\n" + std::to_string(100 + n) + ",4242,77,0,9,9,9b");
  EXPECT_EXIT(LmInit(), ::testing::ExitedWithCode(1),
              "^Cannot execute lumoview to open the graphics window\\.\n$");
  fake::server().add_server(16, "1,Graph\n116,4242,77,0,9,9,9b");
  EXPECT_EXIT(LmInit(), ::testing::ExitedWithCode(1),
              "^Cannot execute lumoview to open the graphics window\\.\nLumo: all 16 servers are in use, each "
              "showing windows of an earlier program; close some of those windows\\.\n$");
}

TEST_F(StartupTest, WrongKeyIsFatal) {
  waiting_server();
  special = [](const fake::Command& c, int32_t* r) {
    if (c.letter != 'K') return false;
    *r = 78;
    return true;
  };
  EXPECT_EXIT(LmInit(), ::testing::ExitedWithCode(1),
              "^Failed to initialize the graphics window\\.\n$");
}

// A server that another program linked first (or that keeps other run
// settings) sends the program on: it starts a server of its own and links
// there, its fingerprint showing the settings it carries.
TEST_F(StartupTest, ARefusedStartUpLinksToAnotherServer) {
  waiting_server();
  fake::server().env["LUMOVIEW_PNG_DIR"] = "out";
  special = [](const fake::Command& c, int32_t* r) {
    if (c.letter != 'K' || fake::server().launches.size() == 1) return false;
    *r = wire::kReplyServerTaken;
    return true;
  };
  fake::server().on_launch = [] { fake::server().add_server(2, "0,4242,77,0,9,9,9b"); };
  EXPECT_EQ(LmInit(), 2);
  EXPECT_EQ(fake::server().launches.size(), 1u);
  EXPECT_EQ(g_link.server_number, 2);
  const std::string& k = log().back().bytes;
  EXPECT_EQ(log().back().letter, 'K');
  EXPECT_NE(k.substr(k.size() - 11), std::string("S=811c9dc5") + '\0');
}

TEST_F(StartupTest, OverflowingStartupCommandEndsTheProgram) {
  waiting_server();
  fake::server().module_path = "/" + std::string(240, 'p');
  EXPECT_EXIT(LmInit(), ::testing::ExitedWithCode(1), "^Internal buffer overflow\\[K,77,/home/user;/ppp");
}

TEST_F(StartupTest, LongCurrentDirectoryLeavesTheDirectoryPartEmpty) {
  waiting_server();
  fake::server().current_directory = "/" + std::string(254, 'd');
  EXPECT_EQ(LmInit(), 1);
  EXPECT_EQ(log().back().text(), "K,77,;/opt/app/prog;Version  0.99.9b");
}

TEST_F(StartupTest, UnquotedCommandLineLeavesQuotedStartClear) {
  waiting_server();
  fake::server().command_line = "prog \"arg\"";
  LmInit();
  EXPECT_FALSE(g_link.quoted_start);
}

namespace {

struct ProbeCase {
  int probe;
  const char* message;
  int status;
};

class ProbeFailureTest : public StartupTest, public ::testing::WithParamInterface<ProbeCase> {};

}  // namespace

TEST_P(ProbeFailureTest, EachProbeHasItsOwnVerdict) {
  waiting_server();
  const ProbeCase pc = GetParam();
  special = [pc](const fake::Command& c, int32_t* r) {
    if (c.letter != 'O' || c.window >= 0 || c.bytes[2] != '0' + pc.probe) return false;
    *r = 12345;
    return true;
  };
  if (pc.status == 0) {
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(LmInit(), 1);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), std::string(pc.message) + "\n");
  } else {
    EXPECT_EXIT(LmInit(), ::testing::ExitedWithCode(1), std::string("^") + pc.message + "\n$");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Probes, ProbeFailureTest,
    ::testing::Values(ProbeCase{0, "Incompatible library version\\.", 1},
                      ProbeCase{1, "This system is not supported \\(reason code = 1\\)\\.", 1},
                      ProbeCase{2, "This system is not supported \\(reason code = 2\\)\\.", 1},
                      ProbeCase{3, "This system is not supported (reason code = 3).", 0}),
    [](const ::testing::TestParamInfo<ProbeCase>& info) {
      return "Probe" + std::to_string(info.param.probe);
    });

namespace {

struct VersionCase {
  const char* server;
  int code_page;
  const char* warning;  // "" for none
};

class VersionTest : public StartupTest, public ::testing::WithParamInterface<VersionCase> {};

}  // namespace

TEST_P(VersionTest, WarnsOnceWithTheRightTextAndArgumentOrder) {
  const VersionCase vc = GetParam();
  waiting_server(vc.server);
  fake::server().code_page = vc.code_page;
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(LmInit(), 1);
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(err, *vc.warning ? std::string(vc.warning) + "\n" : "");
}

INSTANTIATE_TEST_SUITE_P(
    Versions, VersionTest,
    ::testing::Values(
        VersionCase{"0,9,9,9b", 1252, ""}, VersionCase{"0,9,9,9c", 1252, ""},
        VersionCase{"0,9,9,10", 1252,
                    "WARNING:  The linked Lumo library [0,9,9,9b] is older than lumoview [0,9,9,10]."},
        VersionCase{"0,9,8", 1252, "WARNING:  lumoview is older than the linked Lumo library [0,9,9,9b]."},
        VersionCase{"0,9,10,1", 1252,
                    "WARNING:  The linked Lumo library [0,9,9,9b] is older than lumoview [0,9,10,1]."},
        VersionCase{"0,9,9,8", 1252,
                    "WARNING:  lumoview [0,9,9,8] is older than the linked Lumo library [0,9,9,9b]."},
        // Japanese: library, server file, server text in their own order.
        VersionCase{"0,9,9,8", 932,
                    "\x83\x89\x83\x43\x83\x75\x83\x89\x83\x8a [0,9,9,9b] \x82\xe6\x82\xe8\x8c\xc3"
                    "\x82\xa2 lumoview [0,9,9,8] \x82\xaa\x8e\x67\x82\xed\x82\xea\x82\xc4\x82\xa2"
                    "\x82\xdc\x82\xb7"},
        VersionCase{"0,9,8", 932,
                    "\x83\x89\x83\x43\x83\x75\x83\x89\x83\x8a [0,9,9,9b] \x82\xe6\x82\xe8\x8c\xc3"
                    "\x82\xa2 lumoview \x82\xaa\x8e\x67\x82\xed\x82\xea\x82\xc4\x82\xa2\x82\xdc"
                    "\x82\xb7"}),
    [](const ::testing::TestParamInfo<VersionCase>& info) {
      return "Case" + std::to_string(info.index);
    });

TEST_F(StartupTest, JapaneseMessagesUnderCodePage932) {
  fake::server().code_page = 932;
  // "%s が見つかりません" with the server's file.
  EXPECT_EXIT(LmInit(), ::testing::ExitedWithCode(1),
              "^lumoview \x82\xaa\x8c\xa9\x82\xc2\x82\xa9\x82\xe8\x82\xdc\x82\xb9\x82\xf1\n$");
}
