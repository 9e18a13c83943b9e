// The real library against the real server, end to end, headless and on a
// virtual X display.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/posix_channel.h"
#include "common/posix_names.h"
#include "tests/integration/server_session.h"

namespace {

bool png_size(const std::string& path, int* w, int* h) {
  std::ifstream in(path, std::ios::binary);
  const std::string b((std::istreambuf_iterator<char>(in)), {});
  if (b.size() < 24 || b.compare(1, 3, "PNG") != 0) return false;
  auto be32 = [&](size_t i) {
    return (static_cast<unsigned char>(b[i]) << 24) | (static_cast<unsigned char>(b[i + 1]) << 16) |
           (static_cast<unsigned char>(b[i + 2]) << 8) | static_cast<unsigned char>(b[i + 3]);
  };
  *w = static_cast<int>(be32(16));
  *h = static_cast<int>(be32(20));
  return true;
}

TEST_F(ServerTest, FiguresDrawnAreReadBackAndSavedAsPng) {
  const std::string trace = pictures_ + "/trace.txt";
  setenv("LUMOVIEW_TRACE", trace.c_str(), 1);
  ChildProcess& c = client("draw");  // the library starts the server itself
  unsetenv("LUMOVIEW_TRACE");
  auto v = values_of(c, 10);
  EXPECT_EQ(v["window"], "1");
  EXPECT_EQ(v["rect_inside"], "02ff0000");   // the brush
  EXPECT_EQ(v["rect_outline"], "020000ff");  // the pen
  EXPECT_EQ(v["rect_outside"], "02ffffff");
  EXPECT_EQ(v["line_on"], "02008000");
  EXPECT_EQ(v["line_beside"], "02ffffff");
  EXPECT_EQ(v["ellipse_centre"], "0200ffff");
  EXPECT_EQ(v["ellipse_corner"], "02ffffff");
  EXPECT_EQ(v["polygon_inside"], "02c8c800");
  EXPECT_EQ(v["pixel"], "021e140a");
  EXPECT_EQ(c.wait_exit(20000), 0);
  int w = 0, h = 0;
  ASSERT_TRUE(png_size(pictures_ + "/lumo_client-1.png", &w, &h));
  EXPECT_EQ(w, 400);
  EXPECT_EQ(h, 300);
  std::ifstream in(trace);
  const std::string lines((std::istreambuf_iterator<char>(in)), {});
  EXPECT_NE(lines.find("\"I,0,400,300,-1,-1,-1,Figures\" -> 1"), std::string::npos) << lines;
  EXPECT_NE(lines.find("A window 1 args 21 "), std::string::npos);
}

// Smooth lines keep their positions between pixels from the program to the
// picture: two lines a third of a pixel apart leave different ink, each
// centred within a tenth of a pixel of where it was drawn (pixel p centred
// at p).
TEST_F(ServerTest, SmoothLinesAThirdOfAPixelApartReadBackApart) {
  start_server({"--headless"});
  ChildProcess& c = client("thirds");
  auto v = values_of(c, 8);
  double centre[2];
  std::string ink[2];
  for (int i = 0; i < 2; ++i) {
    double total = 0, moment = 0;
    for (int row = 99; row <= 102; ++row) {
      const std::string key = "line" + std::to_string(i) + "_row" + std::to_string(row);
      ASSERT_TRUE(v.count(key)) << key;
      const double d = (255 - std::stoi(v[key])) / 255.0;
      total += d;
      moment += d * row;
      ink[i] += v[key] + " ";
    }
    ASSERT_GT(total, 0.5) << ink[i];
    centre[i] = moment / total;
  }
  EXPECT_NE(ink[0], ink[1]);
  EXPECT_NEAR(centre[0], 100.1, 0.1) << ink[0];
  EXPECT_NEAR(centre[1], 100.4, 0.1) << ink[1];
  EXPECT_EQ(c.wait_exit(20000), 0);
}

TEST_F(ServerTest, SecondProgramJoinsAndDrawsIntoTheSameWindow) {
  setenv("LUMOVIEW_GRACE_MS", "20000", 1);
  start_server({"--headless"});
  ChildProcess& owner = client("owner");
  ASSERT_EQ(owner.read_line(20000), "ready 1");
  ChildProcess& joiner = client("joiner");
  auto j = values_of(joiner, 3);
  EXPECT_EQ(j["joined"], "1");
  EXPECT_EQ(j["desc"], "1:1 Shared");
  EXPECT_EQ(j["joiner_sees"], "0200ff00");
  EXPECT_EQ(joiner.wait_exit(20000), 0);
  ASSERT_TRUE(owner.write_line("go"));
  auto o = values_of(owner, 2);
  EXPECT_EQ(o["joined_drawing"], "0200ff00");
  EXPECT_EQ(o["own_drawing"], "02ff0000");
  EXPECT_EQ(owner.wait_exit(20000), 0);
}

TEST_F(ServerTest, KilledServerEndsTheClientWithTheClosedMessage) {
  start_server({"--headless"});
  ChildProcess& c = client("busy", true);
  ASSERT_EQ(c.read_line(20000), "ready");
  kill(server_->pid(), SIGKILL);
  expect_ended_by_closed_window(c);
}

TEST_F(ServerTest, KilledClientLeavesTheServerServingOthers) {
  setenv("LUMOVIEW_GRACE_MS", "20000", 1);
  start_server({"--headless"});
  ChildProcess& owner = client("owner");
  ASSERT_EQ(owner.read_line(20000), "ready 1");
  owner.kill_now();
  ChildProcess& joiner = client("joiner");
  auto j = values_of(joiner, 3);
  EXPECT_EQ(j["joined"], "1");
  EXPECT_EQ(j["joiner_sees"], "0200ff00");
  EXPECT_EQ(joiner.wait_exit(20000), 0);
}

// Scripted answers in order; past them a server without a display refuses,
// and the program's user is told why, once, with messages printed instead.
TEST_F(ServerTest, DialogsTakeScriptedAnswersInOrderThenRefuse) {
  const std::string answers = pictures_ + "/answers.txt";
  std::ofstream(answers) << "yes\nno\nAda\n/tmp/colours.clr\n";
  setenv("LUMOVIEW_ANSWERS", answers.c_str(), 1);
  ChildProcess& c = client("dialogs", true);
  unsetenv("LUMOVIEW_ANSWERS");
  const std::string out = c.read_all(20000);
  std::map<std::string, std::string> v;
  size_t told = 0, at = 0;
  for (size_t end; (end = out.find('\n', at)) != std::string::npos; at = end + 1) {
    const std::string line = out.substr(at, end - at);
    if (line.find("no display, so it cannot show dialogs") != std::string::npos) ++told;
    const size_t eq = line.find('=');
    if (eq != std::string::npos) v[line.substr(0, eq)] = line.substr(eq + 1);
  }
  EXPECT_EQ(v["ask1"], "1");
  EXPECT_EQ(v["ask2"], "-1");
  EXPECT_EQ(v["prompt"], "3:Ada");
  EXPECT_EQ(v["file"], "16:/tmp/colours.clr");
  EXPECT_EQ(v["refused"], "0");  // no answers left, no display: refused
  EXPECT_EQ(v["message"], "1");  // printed instead
  EXPECT_EQ(v["refused_ask"], "0");
  EXPECT_EQ(told, 1u) << out;
  EXPECT_NE(out.find("\nAll done.\n"), std::string::npos) << out;
  EXPECT_EQ(c.wait_exit(20000), 0);
}

// Commands with random pauses between them (the server falls asleep and is
// woken again), answered early or not, each checked by reading back at once;
// two programs at the same time on one server.  A lost wake-up would hang.
TEST_F(ServerTest, TransportUnderStressLosesNothing) {
  setenv("LUMOVIEW_GRACE_MS", "20000", 1);
  start_server({"--headless"});
  ChildProcess& owner = client("stress");
  ASSERT_EQ(owner.read_line(20000), "ready");
  ChildProcess& joiner = client("stress-join");
  ASSERT_EQ(joiner.read_line(60000), "ready");
  ASSERT_TRUE(owner.write_line("go"));
  EXPECT_EQ(joiner.read_line(120000), "mismatches=0");
  EXPECT_EQ(owner.read_line(120000), "mismatches=0");
  EXPECT_EQ(joiner.wait_exit(20000), 0);
  EXPECT_EQ(owner.wait_exit(20000), 0);
}

// Drawing that needs no answer is posted into a ring of 32 slots.  With the
// server stopped the program fills the ring and waits; once the server goes
// on, everything posted is drawn in order.
TEST_F(ServerTest, AFullRingWaitsForTheServerAndLosesNothing) {
  start_server({"--headless"});
  ChildProcess& c = client("flood");
  ASSERT_EQ(c.read_line(20000), "ready");
  ASSERT_EQ(kill(server_->pid(), SIGSTOP), 0);
  ASSERT_TRUE(c.write_line("go"));
  const std::string early = c.read_line(500);
  kill(server_->pid(), SIGCONT);
  EXPECT_EQ(early, "") << "6000 pixels were posted while the server could take none";
  EXPECT_EQ(c.read_line(20000), "posted");
  EXPECT_EQ(c.read_line(20000), "mismatches=0");
  EXPECT_EQ(c.wait_exit(20000), 0);
}

// Polygons, polylines, Bezier curves and series are posted with their
// points: with the server stopped the program goes on drawing them; once it
// runs again they are drawn in order (a hexagon drawn over another shows the
// later colour), a pixel read sees them, and a polygon of 100,000 points,
// far more than the ring holds, is drawn whole.
TEST_F(ServerTest, PointFiguresArePostedAndReadBackInOrder) {
  start_server({"--headless"});
  ChildProcess& c = client("figures");
  ASSERT_EQ(c.read_line(20000), "ready");
  ASSERT_EQ(kill(server_->pid(), SIGSTOP), 0);
  ASSERT_TRUE(c.write_line("go"));
  const std::string posted = c.read_line(10000);
  kill(server_->pid(), SIGCONT);
  EXPECT_EQ(posted, "posted") << "the figures waited for the stopped server";
  EXPECT_EQ(c.read_line(60000), "mismatches=0");
  EXPECT_EQ(c.wait_exit(20000), 0);
}

TEST_F(ServerTest, ServerKilledWhileTheProgramWaitsForRoomEndsIt) {
  start_server({"--headless"});
  ChildProcess& c = client("flood", true);
  ASSERT_EQ(c.read_line(20000), "ready");
  ASSERT_EQ(kill(server_->pid(), SIGSTOP), 0);
  ASSERT_TRUE(c.write_line("go"));
  usleep(200000);
  kill(server_->pid(), SIGKILL);
  expect_ended_by_closed_window(c);
}

// A program killed with drawing posted but not yet carried out: the server
// draws it all the same, as it would have drawn answered commands.
TEST_F(ServerTest, DrawingPostedByAKilledProgramIsStillDrawn) {
  setenv("LUMOVIEW_GRACE_MS", "20000", 1);
  start_server({"--headless"});
  ChildProcess& poster = client("post-and-hang");
  ASSERT_EQ(poster.read_line(20000), "ready");
  ASSERT_EQ(kill(server_->pid(), SIGSTOP), 0);
  const std::string posted = poster.read_line(5000);
  poster.kill_now();
  kill(server_->pid(), SIGCONT);
  ASSERT_EQ(posted, "posted");
  ChildProcess& checker = client("check-posted");
  EXPECT_EQ(checker.read_line(20000), "mismatches=0");
  EXPECT_EQ(checker.wait_exit(20000), 0);
}

}  // namespace

// A started server is nobody's child to reap: a program that links and quits
// three times is left no zombie, and its standard error has nothing from
// those starts but the server's own lines.
TEST_F(ServerTest, StartedServersAreNotLeftAsZombies) {
  ChildProcess& c = client("cycles", true);
  const std::string out = c.read_all(20000);
  EXPECT_EQ(c.wait_exit(20000), 0);
  EXPECT_NE(out.find("zombies=0\n"), std::string::npos) << out;
  size_t start = 0;
  for (size_t end; (end = out.find('\n', start)) != std::string::npos; start = end + 1) {
    const std::string line = out.substr(start, end - start);
    EXPECT_TRUE(line.rfind("lumoview: ", 0) == 0 || line.rfind("zombies=", 0) == 0) << line;
  }
}

// A program that blocks every signal hands that mask to the server it
// starts: the server still takes the SIGBUS of its block cut short (and
// writes the block afresh) instead of being killed by it.
TEST_F(ServerTest, AServerStartedWithEverySignalBlockedSurvivesItsBlockCutShort) {
  ChildProcess& c = client("blocked", true);
  ASSERT_EQ(c.read_line(20000), "first=1");
  char object[128];
  ASSERT_TRUE(lumo::posix_names::shm_object_name("LumoView1", object, sizeof object));
  const int fd = shm_open(object, O_RDWR, 0);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(ftruncate(fd, 0), 0);
  close(fd);
  c.write_line("go");
  EXPECT_EQ(c.read_line(20000), "second=2");
  EXPECT_EQ(c.wait_exit(20000), 0);
}

// A program started with its standard error closed and ended without
// quitting (killed here): its server still sees it go and ends.
TEST_F(ServerTest, AProgramWithoutStandardErrorLeavesNoServerBehind) {
  ChildProcess c({"/bin/sh", "-c", "exec " + bin("lumo_client") + " post-and-hang 2>&-"});
  ASSERT_TRUE(c.wait_for("posted", 20000));
  c.kill_now();
  char object[128];
  ASSERT_TRUE(lumo::posix_names::shm_object_name("LumoView1", object, sizeof object));
  bool gone = false;
  for (int i = 0; i < 100 && !gone; ++i) {
    const int fd = shm_open(object, O_RDONLY, 0);
    gone = fd < 0;
    if (fd >= 0) close(fd);
    if (!gone) usleep(100000);
  }
  EXPECT_TRUE(gone) << "the server outlived its program by 10 s";
}

// A server told to write its messages to its program's standard error
// (LUMOVIEW_LOG=stderr) by a program that has none finds its descriptors
// 0 to 2 open on /dev/null: its sockets never take their numbers, where its
// messages would go into them.
TEST_F(ServerTest, AServerStartedWithoutStandardErrorWritesNoMessageIntoItsSockets) {
  setenv("LUMOVIEW_LOG", "stderr", 1);
  ChildProcess c({"/bin/sh", "-c", "exec " + bin("lumo_client") + " post-and-hang 2>&-"});
  unsetenv("LUMOVIEW_LOG");
  ASSERT_TRUE(c.wait_for("posted", 20000));
  const pid_t server = testing_support::session_server_pid(1);
  ASSERT_GT(server, 0);
  for (int fd = 0; fd <= 2; ++fd) {
    char path[64], target[256] = "";
    std::snprintf(path, sizeof path, "/proc/%d/fd/%d", static_cast<int>(server), fd);
    const ssize_t n = readlink(path, target, sizeof target - 1);
    EXPECT_EQ(std::string(target, n > 0 ? static_cast<size_t>(n) : 0), "/dev/null") << "descriptor " << fd;
  }
  c.kill_now();
}

// The server holds none of the program's output: a pipeline reading the
// program ends with it, not when the server (lingering here 5 s) ends.
TEST_F(ServerTest, APipelineReadingTheProgramEndsWithIt) {
  setenv("LUMOVIEW_GRACE_MS", "5000", 1);
  const long long start = lumo::posix_channel::monotonic_ns();
  ChildProcess pipeline({"/bin/sh", "-c", bin("lumo_client") + " draw 2>&1 | cat"});
  const std::string out = pipeline.read_all(20000);
  const double seconds = (lumo::posix_channel::monotonic_ns() - start) / 1e9;
  EXPECT_NE(out.find("pixel=021e140a"), std::string::npos) << out;
  EXPECT_LT(seconds, 3.0);
  EXPECT_EQ(pipeline.wait_exit(5000), 0);
}

// LUMOVIEW_TRACE=1 traces to standard error (no file named "1").
TEST_F(ServerTest, TraceOneMeansStandardError) {
  unlink("1");
  setenv("LUMOVIEW_TRACE", "1", 1);
  setenv("LUMOVIEW_READY_FD", "1", 1);
  ChildProcess server({server_path(), "--headless"}, true);
  unsetenv("LUMOVIEW_READY_FD");
  unsetenv("LUMOVIEW_TRACE");
  ASSERT_EQ(server.read_line(20000), "ready");
  ChildProcess& c = client("draw");
  EXPECT_EQ(c.wait_exit(20000), 0);
  EXPECT_TRUE(server.wait_for("\"K,", 5000));
  EXPECT_NE(access("1", F_OK), 0);
}

// Drawing into a window another program closed is refused, posted or not:
// every drawing answers 0, as a query does.
TEST_F(ServerTest, DrawingIntoAWindowAnotherProgramClosedAnswersZero) {
  ChildProcess& keeper = client("keeper");
  ASSERT_TRUE(keeper.wait_for("ready", 20000));
  ChildProcess& closer = client("closer");
  EXPECT_EQ(closer.read_line(20000), "joined=1");
  EXPECT_TRUE(closer.wait_for("closed=", 20000));
  EXPECT_EQ(closer.wait_exit(20000), 0);
  keeper.write_line("go");
  EXPECT_EQ(keeper.read_line(20000), "line=0 rect=0 ellipse=0 line=0");
}

// Pictures are written into a new file and renamed into place: a link
// planted under the picture's name is replaced, never followed.
TEST_F(ServerTest, PicturesReplaceAPlantedLinkInsteadOfFollowingIt) {
  const std::string victim = pictures_ + "/victim.txt";
  { std::ofstream(victim) << "keep me"; }
  ASSERT_EQ(symlink(victim.c_str(), (pictures_ + "/lumo_client-1.png").c_str()), 0);
  ChildProcess& c = client("draw");
  EXPECT_EQ(c.wait_exit(20000), 0);
  end_servers_of_session();
  std::ifstream in(victim);
  const std::string kept((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(kept, "keep me");
  struct stat st;
  ASSERT_EQ(lstat((pictures_ + "/lumo_client-1.png").c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  int w = 0, h = 0;
  EXPECT_TRUE(png_size(pictures_ + "/lumo_client-1.png", &w, &h));
  unlink(victim.c_str());
}

// A picture folder that cannot be written is said once in the server's
// log; two servers writing into one folder at the same time name each
// program's pictures alike (the later replaces the earlier).
TEST_F(ServerTest, PictureFoldersAreCheckedAndNamesDoNotDependOnTheServer) {
  { std::ofstream(pictures_ + "/plain") << "a file, not a folder"; }
  setenv("LUMOVIEW_PNG_DIR", (pictures_ + "/plain/sub").c_str(), 1);
  setenv("LUMOVIEW_READY_FD", "1", 1);
  ChildProcess lost({server_path(), "--headless"}, true);
  unsetenv("LUMOVIEW_READY_FD");
  ASSERT_EQ(lost.read_line(20000), "ready");
  ChildProcess& first = client("draw");
  EXPECT_EQ(first.wait_exit(20000), 0);
  const std::string said = lost.read_all(5000);
  size_t times = 0;
  for (size_t at = said.find("cannot write pictures"); at != std::string::npos;
       at = said.find("cannot write pictures", at + 1)) {
    ++times;
  }
  EXPECT_EQ(times, 1u) << said;

  setenv("LUMOVIEW_PNG_DIR", pictures_.c_str(), 1);
  setenv("LUMOVIEW_READY_FD", "1", 1);
  ChildProcess one({server_path(), "--headless"});
  ChildProcess two({server_path(), "--headless"});
  unsetenv("LUMOVIEW_READY_FD");
  ASSERT_EQ(one.read_line(20000), "ready");
  ASSERT_EQ(two.read_line(20000), "ready");
  ChildProcess& keeper = client("keeper");  // holds server 1
  ASSERT_TRUE(keeper.wait_for("ready", 20000));
  ChildProcess& drawer = client("draw");  // finds server 2 waiting
  EXPECT_EQ(drawer.wait_exit(20000), 0);
  keeper.write_line("go");
  EXPECT_EQ(keeper.wait_exit(20000), 0);
  EXPECT_GE(one.wait_exit(10000), 0);
  EXPECT_GE(two.wait_exit(10000), 0);
  int w = 0, h = 0;
  EXPECT_TRUE(png_size(pictures_ + "/lumo_client-1.png", &w, &h));
  EXPECT_NE(access((pictures_ + "/lumo_client-2-1.png").c_str(), F_OK), 0);
  unlink((pictures_ + "/plain").c_str());
}

// Runs one after another, each in a folder of its own: where each run's
// pictures and figures go, their names, and what the program's own
// standard error says about them and about what the server refused.
TEST_F(ServerTest, EachRunsPicturesAndRefusalsAreItsOwnAndSaidToIt) {
  struct Run {
    const char* what;
    std::vector<std::pair<const char*, std::string>> env;  // "{dir}": the run's folder
    std::string args;                                      // of lumo_client
    std::vector<std::string> said;                         // in the program's output
    std::string file, no_file;                             // in the run's folder
    int times = 1;
    int png_width = 0;  // of `file`, when not 0
  };
  const std::vector<Run> runs = {
      {"without a folder named", {}, "draw", {"lumoview: window 1 written to lumo_client-1.png"},
       "lumo_client-1.png", "", 1},
      {"one run after another", {{"LUMOVIEW_PNG_DIR", "{dir}"}}, "draw",
       {"lumoview: window 1 written to lumo_client-1.png"}, "lumo_client-1.png", "lumo_client-2-1.png", 3},
      {"a relative folder, made", {{"LUMOVIEW_PNG_DIR", "out/sub"}}, "draw",
       {"window 1 written to out/sub/lumo_client-1.png"}, "out/sub/lumo_client-1.png", "", 1},
      {"figures only", {{"LUMOVIEW_SAVE", "figs:svg"}}, "draw", {"window 1 written to figs/lumo_client-1.svg"},
       "figs/lumo_client-1.svg", "lumo_client-1.png", 1},
      {"a refused format", {{"LUMOVIEW_SAVE", "figs:png,jpg"}}, "draw",
       {"lumoview: LUMOVIEW_SAVE=figs:png,jpg is refused"}, "", "figs", 1},
      {"a bad line of scripted input", {{"LUMOVIEW_EVENTS", "{dir}/events"}}, "draw", {"line 2 is not an event"},
       "", "", 1},
      {"a folder that cannot be made", {{"LUMOVIEW_PNG_DIR", "plain/sub"}}, "draw",
       {"window 1 cannot be written to plain/sub/lumo_client-1.png: Not a directory"}, "", "", 1},
      {"a drawing file without a display", {}, "save chart.pdf",
       {"saved=1", "lumoview: without a display the file dialog is not shown: chart.pdf is taken as its answer"}, "chart.pdf", "", 1},
      {"a drawing file that cannot be written", {}, "save plain/chart.pdf",
       {"saved=0", "lumoview: cannot write plain/chart.pdf: Not a directory"}, "", "", 1},
      {"a refused screen scale", {{"LUMOVIEW_SCALE", "1.7"}}, "draw",
       {"lumoview: LUMOVIEW_SCALE=1.7 is refused: the scales are 1, 1.25, 1.5, 2 and 3"}, "lumo_client-1.png", "", 1},
      {"PNG files at twice the size", {{"LUMOVIEW_PNG_SCALE", "2"}}, "draw", {"window 1 written to lumo_client-1.png"},
       "lumo_client-1.png", "", 1, 800},
      {"a refused PNG scale", {{"LUMOVIEW_PNG_SCALE", "4"}}, "draw",
       {"lumoview: LUMOVIEW_PNG_SCALE=4 is refused: the scales are 1, 1.25, 1.5, 2 and 3; PNG files keep the "
        "window's size"}, "lumo_client-1.png", "", 1, 400},
  };
  const std::string base = pictures_ + "/runs";
  mkdir(base.c_str(), 0700);
  int n = 0;
  for (const Run& run : runs) {
    SCOPED_TRACE(run.what);
    const std::string dir = base + "/" + std::to_string(++n);
    mkdir(dir.c_str(), 0700);
    { std::ofstream(dir + "/plain") << "a file, not a folder"; }
    { std::ofstream(dir + "/events") << "key 13\nfly 1 2\n"; }
    auto in_dir = [&](std::string text) {
      for (size_t at; (at = text.find("{dir}")) != std::string::npos;) text.replace(at, 5, dir);
      return text;
    };
    unsetenv("LUMOVIEW_PNG_DIR");
    for (const auto& e : run.env) setenv(e.first, in_dir(e.second).c_str(), 1);
    for (int time = 0; time < run.times; ++time) {
      ChildProcess c({"/bin/sh", "-c", "cd '" + dir + "' && exec '" + bin("lumo_client") + "' " + run.args + " 2>&1"});
      const std::string out = c.read_all(20000);
      EXPECT_EQ(c.wait_exit(5000), 0) << out;
      for (const std::string& text : run.said) EXPECT_NE(out.find(text), std::string::npos) << out;
      EXPECT_EQ(out.find("has no display"), std::string::npos) << out;
    }
    for (const auto& e : run.env) unsetenv(e.first);
    if (!run.file.empty()) {
      EXPECT_EQ(access((dir + "/" + run.file).c_str(), F_OK), 0) << run.file;
      int w = 0, h = 0;
      if (run.png_width) {
        EXPECT_TRUE(png_size(dir + "/" + run.file, &w, &h) && w == run.png_width) << w;
      }
    }
    if (!run.no_file.empty()) {
      EXPECT_NE(access((dir + "/" + run.no_file).c_str(), F_OK), 0) << run.no_file;
    }
    // Servers of a run keep its settings: the next run starts afresh.
    // (The old session goes first: its end restores the variables it set.)
    session_.reset();
    session_ = std::make_unique<PrivateSession>();
  }
  std::filesystem::remove_all(base);
}

// A joined window's block is shared: while its owner posts lines at full
// speed, a joined program's queries still read their own arguments.
TEST_F(ServerTest, AJoinedProgramsCommandsReadTheirOwnArguments) {
  ChildProcess& owner = client("scribbler");
  ASSERT_TRUE(owner.wait_for("ready", 20000));
  ChildProcess& joined = client("measurer");
  EXPECT_EQ(joined.read_line(30000), "wrong=0");
  EXPECT_EQ(joined.wait_exit(20000), 0);
  owner.write_line("stop");
  EXPECT_EQ(owner.wait_exit(20000), 0);
}
