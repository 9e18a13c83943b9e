// Runs as scripts make them: several programs on one server at the same
// moment, programs started together, and runs one after another that find
// the earlier run's server still waiting.
#include <cairo.h>
#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>


#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/striped_png.h"

using testing_support::ChildProcess;
using testing_support::PrivateSession;

namespace {

std::string bin(const std::string& name) { return testing_support::binary_dir() + "/" + name; }

// What a "many" client printed: its server, its windows, its mismatches.
struct Report {
  std::string server;
  std::vector<int> windows;
  std::string mismatches;
};

Report report_of(ChildProcess& p) {
  Report r;
  for (int i = 0; i < 3; ++i) {
    const std::string line = p.read_line(60000);
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
    if (key == "server") r.server = value;
    if (key == "mismatches") r.mismatches = value;
    if (key == "windows") {
      std::stringstream in(value);
      std::string w;
      while (std::getline(in, w, ',')) r.windows.push_back(std::atoi(w.c_str()));
    }
  }
  return r;
}

// Programs on one server never hold the same window.
void expect_apart(const std::vector<Report>& reports) {
  std::map<std::string, std::set<int>> held;
  for (const Report& r : reports) {
    EXPECT_EQ(r.mismatches, "0") << "a window showed another program's drawing";
    for (int w : r.windows) {
      EXPECT_TRUE(held[r.server].insert(w).second) << "window " << w << " of server " << r.server
                                                   << " came back to two programs";
    }
  }
}

std::vector<std::string> files_in(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d)) {
      if (e->d_name[0] != '.') names.push_back(e->d_name);
    }
    closedir(d);
  }
  return names;
}

void remove_tree(const std::string& dir) {
  for (const std::string& name : files_in(dir)) unlink((dir + "/" + name).c_str());
  rmdir(dir.c_str());
}

class RunsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    session_ = std::make_unique<PrivateSession>();
    setenv("LUMODIR", (testing_support::binary_dir() + "/../bin").c_str(), 1);
    unsetenv("DISPLAY");
    // Headless pictures would go to the current folder: into one of ours.
    setenv("LUMOVIEW_PNG_DIR", folder("pictures").c_str(), 1);
    setenv("LUMOVIEW_GRACE_MS", "300", 1);
  }

  void TearDown() override {
    clients_.clear();
    testing_support::end_session_servers();
    for (const std::string& d : dirs_) remove_tree(d);
    unsetenv("LUMODIR");
    unsetenv("LUMOVIEW_GRACE_MS");
    unsetenv("LUMOVIEW_PNG_DIR");
    session_.reset();
  }

  ChildProcess& client(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {bin("lumo_client")};
    argv.insert(argv.end(), args.begin(), args.end());
    clients_.push_back(std::make_unique<ChildProcess>(argv));
    return *clients_.back();
  }

  std::string folder(const std::string& name) {
    const std::string d = ::testing::TempDir() + "lumo_runs_" + name + "_" + session_->name();
    mkdir(d.c_str(), 0700);
    dirs_.push_back(d);
    return d;
  }

  std::unique_ptr<PrivateSession> session_;
  std::vector<std::unique_ptr<ChildProcess>> clients_;
  std::vector<std::string> dirs_;
};

// An owner and a program that joined it open 25 windows each at the same
// moment, four times over: every answer reaches the program that asked.
TEST_F(RunsTest, AnOwnerAndAJoinerOpeningAtOnceNeverShareAWindow) {
  for (int round = 0; round < 3; ++round) {
    ChildProcess& owner = client({"many", "owner", "25", "4"});
    ASSERT_EQ(owner.read_line(30000), "ready");
    ChildProcess& joiner = client({"many", "join", "25", "4"});
    ASSERT_EQ(joiner.read_line(30000), "ready");
    ASSERT_TRUE(owner.write_line("go"));
    ASSERT_TRUE(joiner.write_line("go"));
    const std::vector<Report> reports = {report_of(owner), report_of(joiner)};
    EXPECT_EQ(reports[0].windows.size(), 25u);
    EXPECT_EQ(reports[1].windows.size(), 25u);
    expect_apart(reports);
    ASSERT_TRUE(owner.write_line("done"));
    ASSERT_TRUE(joiner.write_line("done"));
    EXPECT_EQ(joiner.wait_exit(20000), 0);
    EXPECT_EQ(owner.wait_exit(20000), 0);
    clients_.clear();
  }
}

// Four programs started at the same instant with no server: each gets
// windows of its own, on its own server or sharing one.
TEST_F(RunsTest, ProgramsStartedTogetherKeepTheirOwnWindows) {
  for (int round = 0; round < 3; ++round) {
    if (round == 2) usleep(300 * 1000);  // about when the first servers end
    for (int i = 0; i < 4; ++i) client({"many", "solo", "8", "4"});
    std::vector<Report> reports;
    for (auto& c : clients_) reports.push_back(report_of(*c));
    for (const Report& r : reports) EXPECT_EQ(r.windows.size(), 8u);
    expect_apart(reports);
    for (auto& c : clients_) ASSERT_TRUE(c->write_line("done"));
    for (auto& c : clients_) EXPECT_EQ(c->wait_exit(20000), 0);
    clients_.clear();
    // The next round may find these servers waiting, or ending.
  }
}

// A run that finds the earlier run's server still waiting keeps its own
// settings: its pictures go to its own folder.
TEST_F(RunsTest, ARunAfterAnotherWritesItsPicturesWhereItsSettingsSay) {
  setenv("LUMOVIEW_GRACE_MS", "20000", 1);
  const std::string first = folder("first"), second = folder("second");
  for (const std::string& dir : {first, second}) {
    setenv("LUMOVIEW_PNG_DIR", dir.c_str(), 1);
    ChildProcess& c = client({"many", "solo", "1", "1"});
    EXPECT_EQ(report_of(c).mismatches, "0");
    ASSERT_TRUE(c.write_line("done"));
    EXPECT_EQ(c.wait_exit(30000), 0);
  }
  EXPECT_EQ(files_in(first).size(), 1u);
  EXPECT_EQ(files_in(second).size(), 1u) << "the second run's picture went elsewhere";
}

// Ending the link after closing every window ends it: a later open, after
// the idle server has gone, links afresh.
TEST_F(RunsTest, AnOpenAfterQuittingWithNoWindowLinksAfresh) {
  ChildProcess& c = client({"reopen"});
  const std::string line = c.read_line(30000);
  EXPECT_EQ(line.substr(line.size() > 6 ? line.size() - 6 : 0), "030201") << line;
  EXPECT_EQ(c.wait_exit(20000), 0);
}

// A joined program's questions are answered while another program draws a
// polyline that takes the server seconds (200,000 random points, a 3-pixel
// pen): the drawing goes in slices with other programs served between.
// Drawn whole, the polyline kept the reader waiting for all of it.
TEST_F(RunsTest, AJoinedProgramIsAnsweredWhileAnotherDrawsALongPolyline) {
  ChildProcess& painter = client({"painter", "200000"});
  ASSERT_EQ(painter.read_line(30000), "ready");
  ChildProcess& reader = client({"reader"});
  ASSERT_EQ(reader.read_line(30000), "joined");
  ASSERT_TRUE(painter.write_line("go"));
  ASSERT_EQ(painter.read_line(30000), "drawing");
  usleep(300 * 1000);  // the polyline's points are sent and its drawing begun
  ASSERT_TRUE(reader.write_line("go"));
  // A bound only a server held by the whole polyline misses: it takes the
  // server several seconds of processor time on this kind of machine.
  EXPECT_EQ(reader.read_line(4000), "answered=10") << "the reader waited for the whole polyline";
  EXPECT_EQ(painter.read_line(300000), "drawn=1");
  EXPECT_EQ(painter.wait_exit(30000), 0);
  EXPECT_EQ(reader.wait_exit(30000), 0);
}

std::string contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A joined program's questions are answered while another program loads a
// picture that takes the server seconds to read, or writes a drawing file of
// a display list that takes seconds to write: the work goes on beside the
// server's loop.  The program that asked is answered when it is done, with
// the same picture and the same file as work done at once gives.
TEST_F(RunsTest, AJoinedProgramIsAnsweredWhileAnotherLoadsOrWritesAFile) {
  const std::string dir = folder("files");
  const std::string picture = dir + "/big.png", figure = dir + "/long.svg";
  // 16,000 x 16,000 pixels: within the pictures' memory, seconds to read.
  ASSERT_TRUE(testing_support::write_striped_png(picture, 16000));
  struct Case {
    std::vector<std::string> args;
    std::string done;
    std::string at_end;  // the same window written at once as its program ends
  };
  const Case cases[] = {
      {{"filer", "load", "0", picture}, "drawn=1 pixel=C83264", ""},
      {{"filer", "save", "6000000", figure}, "drawn=1", dir + "/lumo_client-1.svg"},
      // The picture of an 8,000 x 6,000 window: a second or two to write.
      {{"filer", "save", "1000", dir + "/large.png", "8000", "6000"}, "drawn=1",
       std::string(getenv("LUMOVIEW_PNG_DIR")) + "/lumo_client-1.png"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[3]);
    if (!c.at_end.empty()) setenv("LUMOVIEW_SAVE", (dir + ":svg").c_str(), 1);
    ChildProcess& asker = client(c.args);
    ASSERT_EQ(asker.read_line(120000), "ready");
    ChildProcess& reader = client({"reader"});
    ASSERT_EQ(reader.read_line(30000), "joined");
    ASSERT_TRUE(asker.write_line("go"));
    ASSERT_EQ(asker.read_line(30000), "drawing");
    usleep(300 * 1000);  // the request is taken and its work begun
    ASSERT_TRUE(reader.write_line("go"));
    // A bound only a server held by the whole work misses, and the work
    // (seconds) still going on when the reader has its answers.
    EXPECT_EQ(reader.read_line(4000), "answered=10") << "the reader waited for the whole work";
    EXPECT_EQ(asker.read_line(10), "") << "the reader was answered only once the work was done";
    EXPECT_EQ(asker.read_line(300000), c.done);
    EXPECT_EQ(asker.wait_exit(60000), 0);
    EXPECT_EQ(reader.wait_exit(30000), 0);
    testing_support::end_session_servers();
    unsetenv("LUMOVIEW_SAVE");
    if (c.at_end.empty()) continue;
    const std::string written = contents(c.args[3]);
    EXPECT_GT(written.size(), 20000u);
    EXPECT_EQ(written, contents(c.at_end)) << "the file written beside the loop differs from one written at once";
  }
}

// The pixel at (x, y) of a PNG file as 0xRRGGBB; -1 when it cannot be read.
long png_pixel(const std::string& path, int x, int y) {
  cairo_surface_t* file = cairo_image_surface_create_from_png(path.c_str());
  long v = -1;
  if (cairo_surface_status(file) == CAIRO_STATUS_SUCCESS && x < cairo_image_surface_get_width(file) &&
      y < cairo_image_surface_get_height(file)) {
    cairo_surface_flush(file);
    uint32_t p;
    std::memcpy(&p, cairo_image_surface_get_data(file) + static_cast<size_t>(y) * cairo_image_surface_get_stride(file) + 4 * x, 4);
    v = p & 0xFFFFFFu;
  }
  cairo_surface_destroy(file);
  return v;
}

// A joined program that draws into a window whose PNG is being written
// waits for the file alone: a third program's questions are answered
// meanwhile.  The drawer then reads its own drawing; the file holds the
// picture as it was asked for, the picture written at the owner's end the
// box.  The same for programs on the socket alone, and for a drawer that
// returns from main at once (what it posted is drawn all the same).
TEST_F(RunsTest, AProgramDrawingIntoAWindowBeingWrittenWaitsAlone) {
  const struct {
    const char* channel;
    bool leaves;
  } cases[] = {{"1", false}, {"0", false}, {"1", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("LUMO_CHANNEL=") + c.channel + (c.leaves ? ", the drawer leaves" : ""));
    setenv("LUMO_CHANNEL", c.channel, 1);
    const std::string dir = folder(std::string("drawn_over_") + c.channel + (c.leaves ? "_left" : ""));
    const std::string picture = dir + "/large.png";
    ChildProcess& asker = client({"filer", "save", "1000", picture, "8000", "6000", "hold"});
    ASSERT_EQ(asker.read_line(120000), "ready");
    ChildProcess& drawer = client({"drawer", c.leaves ? "leave" : "stay"});
    ASSERT_EQ(drawer.read_line(30000), "joined");
    ChildProcess& reader = client({"reader"});
    ASSERT_EQ(reader.read_line(30000), "joined");
    ASSERT_TRUE(asker.write_line("go"));
    ASSERT_EQ(asker.read_line(30000), "drawing");
    usleep(50 * 1000);  // the request taken, the file begun
    ASSERT_TRUE(drawer.write_line("go"));
    usleep(50 * 1000);
    ASSERT_TRUE(reader.write_line("go"));
    // A bound only a server waiting for the file misses.
    EXPECT_EQ(reader.read_line(4000), "answered=10") << "the reader waited for the file";
    EXPECT_EQ(asker.read_line(10), "") << "the reader was answered only once the file was written";
    if (!c.leaves) {
      EXPECT_EQ(drawer.read_line(10), "") << "the drawer was answered while the file was written";
    }
    EXPECT_EQ(asker.read_line(300000), "drawn=1");
    EXPECT_EQ(drawer.read_line(30000), c.leaves ? "left" : "drawn pixel=00FF00");
    EXPECT_EQ(drawer.wait_exit(30000), 0);
    ASSERT_TRUE(asker.write_line("end"));  // its window goes with it
    EXPECT_EQ(asker.wait_exit(60000), 0);
    EXPECT_EQ(reader.wait_exit(30000), 0);
    testing_support::end_session_servers();
    const int box_x = c.leaves ? 250 : 150;
    EXPECT_EQ(png_pixel(picture, box_x, 100), png_pixel(picture, 4000, 3000)) << "the drawer's box is in the file";
    EXPECT_EQ(png_pixel(std::string(getenv("LUMOVIEW_PNG_DIR")) + "/lumo_client-1.png", box_x, 100), 0x00FF00)
        << "the drawer's box is not in the picture at the end";
  }
  unsetenv("LUMO_CHANNEL");
}

// A server stopped (SIGTERM) while a program waits for the pictures of its
// end first writes them and answers it: the program ends as usual.
TEST_F(RunsTest, AServerStoppedWhileAProgramsPicturesAreWrittenAnswersItFirst) {
  const std::string dir = folder("stopped");
  ChildProcess& asker = client({"filer", "save", "10", dir + "/asked.png", "8000", "6000"});
  ASSERT_EQ(asker.read_line(120000), "ready");
  ASSERT_TRUE(asker.write_line("go"));
  ASSERT_EQ(asker.read_line(30000), "drawing");
  ASSERT_EQ(asker.read_line(120000), "drawn=1");
  usleep(50 * 1000);  // its end taken, its 8,000 x 6,000 picture being written
  const pid_t server = testing_support::session_server_pid(1);
  ASSERT_GT(server, 0);
  kill(server, SIGTERM);
  EXPECT_EQ(asker.wait_exit(60000), 0) << "the program was not answered";
  const std::string picture = std::string(getenv("LUMOVIEW_PNG_DIR")) + "/lumo_client-1.png";
  EXPECT_GT(contents(picture).size(), 1000u);
}

}  // namespace
