// The sample programs and the probes, run as users run them.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/temp_folder.h"

using testing_support::ChildProcess;
using testing_support::PrivateSession;
using testing_support::TempFolder;

namespace {

std::string program(const std::string& name) {
  return testing_support::binary_dir() + "/../bin/" + name;
}

struct Outcome {
  std::string out;
  int status = -1;
};

class SamplesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    session_ = std::make_unique<PrivateSession>();
    folder_ = std::make_unique<TempFolder>("lumo_samples");
    dir_ = folder_->path();
    setenv("LUMOVIEW_PNG_DIR", dir_.c_str(), 1);
    setenv("LUMODIR", (testing_support::binary_dir() + "/../bin").c_str(), 1);
    setenv("LUMOVIEW_GRACE_MS", "200", 1);
    unsetenv("DISPLAY");
  }

  void TearDown() override {
    unsetenv("LUMOVIEW_PNG_DIR");
    unsetenv("LUMODIR");
    unsetenv("LUMOVIEW_GRACE_MS");
    session_.reset();  // ends its servers, which may still write into the folder
    folder_.reset();
  }

  std::string file(const std::string& name, const std::string& text) {
    const std::string path = dir_ + "/" + name;
    std::ofstream(path) << text;
    return path;
  }

  Outcome run(const std::vector<std::string>& argv, bool merge_stderr = false) {
    ChildProcess p(argv, merge_stderr);
    Outcome r;
    r.out = p.read_all(30000);
    r.status = p.wait_exit(30000);
    return r;
  }

  bool exists(const std::string& name) {
    struct stat st;
    return stat((dir_ + "/" + name).c_str(), &st) == 0;
  }

  std::unique_ptr<PrivateSession> session_;
  std::unique_ptr<TempFolder> folder_;
  std::string dir_;
};

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) out.push_back(l);
  return out;
}

const char kFiveRecords[] =
    "1 0.0 0.0\n2 1.0 1.003\n3 2.0 2.010\n4 3.0 3.001\n5 4.0 3.995\n";

TEST_F(SamplesTest, DiffchartReportsTwiceDrawsAndWritesItsResult) {
  const std::string data = file("five.dat", kFiveRecords);
  const std::string result = dir_ + "/result.txt";
  const Outcome r = run({program("diffchart"), data, result});
  EXPECT_EQ(r.status, 0);
  // The plotted heights: 100 d + 0.7 + a small offset falling from 5e-5 to 1e-5.
  const float d2 = 2.010f - 2.0f;
  const float h2 = 100 * d2 + static_cast<float>(0.7 + 3 * 0.00001);
  const float d4 = 3.995f - 4.0f;
  const float h4 = 100 * d4 + static_cast<float>(0.7 + 1 * 0.00001);
  char second[200];
  std::snprintf(second, sizeof second,
                "max  number3 : %f\nmin  number5 : %f\nmax - min : %f\n", h2, h4, h2 - h4);
  EXPECT_EQ(r.out,
            "max  number3 : 0.010000\nmin  number5 : -0.005000\nmax - min : 0.015000\n" +
                std::string(second));
  EXPECT_EQ(std::string(second).substr(0, 23), "max  number3 : 1.700029");
  std::ifstream in(result);
  const std::string text((std::istreambuf_iterator<char>(in)), {});
  const auto rows = lines_of(text);
  ASSERT_EQ(rows.size(), 5u);
  EXPECT_EQ(rows[0], "0.000000 0.700050 0.000000");
  for (const auto& row : rows) {
    float a, b, c;
    char extra;
    EXPECT_EQ(std::sscanf(row.c_str(), "%f %f %f%c", &a, &b, &c, &extra), 3) << row;
    EXPECT_EQ(std::count(row.begin(), row.end(), '.'), 3);
  }
  EXPECT_TRUE(exists("diffchart-1.png"));
}

TEST_F(SamplesTest, DiffchartTiesAndRenumberedRecords) {
  const Outcome flat = run({program("diffchart"), file("flat.dat", "1 1 2\n2 2 3\n3 3 4\n"),
                        dir_ + "/r1.txt"});
  EXPECT_EQ(lines_of(flat.out)[0], "max  number1 : 1.000000");
  EXPECT_EQ(lines_of(flat.out)[1], "min  number1 : 1.000000");
  EXPECT_EQ(lines_of(flat.out)[2], "max - min : 0.000000");
  // The last record's number is N: 1 2 3 then 2 uses two records.
  const Outcome renumbered = run({program("diffchart"),
                              file("renumbered.dat", "1 0 5\n2 1 1\n3 2 9\n2 3 0\n"),
                              dir_ + "/r2.txt"});
  EXPECT_EQ(lines_of(renumbered.out)[0], "max  number1 : 5.000000");
  std::ifstream in(dir_ + "/r2.txt");
  const std::string text((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(lines_of(text).size(), 2u);
}

// The message names the last record's number as written: numbers that no
// int holds are not wrapped (2^32 + 1 would otherwise pass as 1).
TEST_F(SamplesTest, DiffchartRefusesRecordNumbersItCannotHold) {
  const struct {
    const char* data;
    const char* number;
  } cases[] = {{"0 1.0 2.0\n", "0"},
               {"1 1 1\n-3 1.0 2.0\n", "-3"},
               {"10001 1.0 2.0\n", "10001"},
               {"", "0"},
               {"1 1 2\n99999999999999999999 1.0 2.0\n", "99999999999999999999"},
               {"1 1 2\n4294967297 1 2\n", "4294967297"},
               {"1 1 2\n2147483648 1 2\n", "2147483648"},
               {"-2147483649 1 2\n", "-2147483649"},
               {"-2147483648 1 2\n", "-2147483648"},
               {"1 1 2\n+000000000000000000000000000000000000000000000000001\n", "1"},
               {"123456789012345678901234567890123456789 1 2\n",
                "1234567890123456789012345678..."}};
  for (const auto& c : cases) {
    std::remove((dir_ + "/r.txt").c_str());
    const Outcome r = run({program("diffchart"), file("bad.dat", c.data), dir_ + "/r.txt"}, true);
    const std::string message = std::string("diffchart: the last record is numbered ") + c.number +
                                "; records must be numbered 1 to 10000\n";
    if (std::string(c.number) == "1") {  // leading zeros are no overflow
      EXPECT_EQ(WEXITSTATUS(r.status), 0) << c.data;
      EXPECT_EQ(r.out.find("records must be"), std::string::npos) << r.out;
      continue;
    }
    EXPECT_EQ(WEXITSTATUS(r.status), 2) << c.data;
    EXPECT_EQ(r.out, message);
    EXPECT_FALSE(exists("r.txt"));
  }
}

TEST_F(SamplesTest, SampleArgumentAndFileErrors) {
  EXPECT_EQ(run({program("diffchart"), "only-one"}).out, "arg error\n");
  EXPECT_EQ(run({program("diffchart"), dir_ + "/missing", dir_ + "/r.txt"}).out,
            "this file doesn't open\n");
  const Outcome unwritable = run({program("diffchart"), file("five.dat", kFiveRecords),
                              dir_ + "/no/such/dir/r.txt"});
  EXPECT_EQ(unwritable.status, 0);
  EXPECT_EQ(lines_of(unwritable.out).size(), 4u);  // the first report, then the message
  EXPECT_EQ(lines_of(unwritable.out)[3], "write file doesn't open");
  EXPECT_EQ(run({program("plot3")}).out, "arg error\n");
  EXPECT_EQ(run({program("plot3"), dir_ + "/missing"}).out, "read file open error \n");
}

// 310 records whose shifted last receive time is exactly `last`.
std::string plot3_data(const char* last) {
  std::string text;
  char line[100];
  for (int i = 0; i < 310; ++i) {
    const double t = i <= 201 ? 1.0 : 1.0 + (i - 201) * 0.01;
    std::snprintf(line, sizeof line, "%.2f 0.5 %s\n", i < 200 ? 0.5 : t,
                  i == 309 ? last : (i == 200 ? "0" : "0.02"));
    text += line;
  }
  return text;
}

TEST_F(SamplesTest, Plot3TimeAxisSteps) {
  EXPECT_EQ(run({program("plot3"), file("a.dat", plot3_data("0.072"))}).out, "7\n");
  EXPECT_EQ(run({program("plot3"), file("b.dat", plot3_data("0.5"))}).out, "10\n");
  // 0.03 in single precision lies just below 0.03: two steps, not three.
  EXPECT_EQ(run({program("plot3"), file("c.dat", plot3_data("0.03"))}).out, "2\n");
  EXPECT_TRUE(exists("plot3-1.png"));
}

// A last receive time whose count of hundredths no int holds is refused
// before any window opens, instead of printing a wrapped count.
TEST_F(SamplesTest, Plot3RefusesATimeAxisItCannotCount) {
  for (const char* last : {"1e9", "-1e9", "1e39", "nan"}) {
    const Outcome r = run({program("plot3"), file("huge.dat", plot3_data(last))}, true);
    EXPECT_EQ(WEXITSTATUS(r.status), 2) << last;
    EXPECT_NE(r.out.find("plot3: the last receive time, "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(" is out of range: the time axis cannot count it"), std::string::npos);
    EXPECT_FALSE(exists("plot3-1.png")) << last;
  }
}

TEST_F(SamplesTest, Plot3WithShortDataStillDraws) {
  const Outcome r = run({program("plot3"), file("short.dat", "1 0.5 1.2\n2 0.4 2.1\n")});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "0\n");
}

TEST(Probes, TickcostPrintsTheFrequencyAndSixGrowingTimes) {
  ChildProcess p({program("tickcost")});
  const auto lines = lines_of(p.read_all(10000));
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_EQ(lines[0], "H 0");
  EXPECT_EQ(lines[1], "L 1000000000");
  double last = -1;
  for (int i = 2; i < 8; ++i) {
    double usec = -1;
    char extra;
    ASSERT_EQ(std::sscanf(lines[static_cast<size_t>(i)].c_str(), "usec = %lf%c", &usec, &extra), 1);
    EXPECT_EQ(lines[static_cast<size_t>(i)].size() - lines[static_cast<size_t>(i)].find('.'), 7u);
    EXPECT_GE(usec, last);
    last = usec;
  }
}

TEST(Probes, TickratePrintsThirtyOneFrequencies) {
  ChildProcess p({program("tickrate")});
  const auto lines = lines_of(p.read_all(10000));
  ASSERT_EQ(lines.size(), 31u);
  EXPECT_EQ(lines[0], " 1000000000");
  for (size_t i = 1; i < 31; ++i) EXPECT_EQ(lines[i], " 1000000000 ");
}

}  // namespace

namespace {

std::string fortran_program(const std::string& name) {
  return testing_support::binary_dir() + "/fortran/" + name;
}

}  // namespace

TEST_F(SamplesTest, Fortran77ProgramDrawsThroughTheTwins) {
  const std::string path = fortran_program("chart77");
  if (access(path.c_str(), X_OK) != 0) GTEST_SKIP() << "no gfortran";
  const Outcome r = run({path});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "LINE=020000FF\nRECT=02FF0000\n");
  EXPECT_TRUE(exists("chart77-1.png"));
}

// Scripted clicks reach a Fortran 77 program through the twins: the centre
// and the top-left corner of the 0..10 world, then a key ends it.
TEST_F(SamplesTest, Fortran77ProgramPicksPoints) {
  const std::string path = fortran_program("pick77");
  if (access(path.c_str(), X_OK) != 0) GTEST_SKIP() << "no gfortran";
  setenv("LUMOVIEW_EVENTS", file("events.txt", "click 1 320 240\nwheel 1 0 0\nclick 3 0 0\nkey 27\n").c_str(), 1);
  const Outcome r = run({path});
  unsetenv("LUMOVIEW_EVENTS");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "CLICK 1   5.000   5.000\nCLICK 3   0.000  10.000\nDONE\n");
}

// Every named constant of lumo.h carries the number the server's contract
// gives its name, and a headless server takes it so (the program says which
// does not).
TEST_F(SamplesTest, NamedConstantsAreTheServersNumbers) {
  const std::string figure = dir_ + "/constants.svg";
  setenv("LUMOVIEW_ANSWERS", file("answers.txt", "yes\nno\n" + figure + "\n").c_str(), 1);
  const Outcome r = run({testing_support::binary_dir() + "/lumo_constants_check",
                         std::string(LUMO_SOURCE_DIR) + "/docs", figure});
  unsetenv("LUMOVIEW_ANSWERS");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find(" checks\n"), std::string::npos) << r.out;
  EXPECT_TRUE(exists("constants.svg"));
}

// The module's calls take keywords and texts of any length: the figure file
// holds each text whole.
TEST_F(SamplesTest, Fortran2003ProgramDrawsThroughTheModule) {
  const std::string path = fortran_program("chart2003");
  if (access(path.c_str(), X_OK) != 0) GTEST_SKIP() << "no gfortran";
  setenv("LUMOVIEW_SAVE", (dir_ + ":png,svg").c_str(), 1);
  const Outcome r = run({path});
  unsetenv("LUMOVIEW_SAVE");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "POLYGON=02FF0000\nOUTSIDE=02FFFFFF\n");
  std::ifstream in(dir_ + "/chart2003-1.svg");
  const std::string svg((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(svg.find(">Fortran 2003</text>"), std::string::npos) << svg;
  EXPECT_NE(svg.find(">truncated</text>"), std::string::npos) << svg;
}

// The picker sample, driven by a scripted event file (the server has no
// display): the world coordinates of each click (the chart spans x
// -0.5..10.5 and y -1.2..1.2 over 640 x 480 pixels; a wheel step zooms y by
// 1.25), the end by a key or by the window being closed, the marks drawn.
TEST_F(SamplesTest, PickerPrintsTheWorldCoordinatesOfScriptedClicks) {
  setenv("LUMOVIEW_EVENTS", file("events.txt", "click 1 320 240\nclick 3 100 100\nwheel 1 5 5\n"
                                               "click 2 0 479\nkey 13\nclick 1 1 1\n").c_str(), 1);
  const Outcome keyed = run({program("picker")});
  EXPECT_EQ(keyed.status, 0);
  EXPECT_EQ(lines_of(keyed.out),
            (std::vector<std::string>{"Click points on the chart; type Enter, q or Escape in the window to end.",
                                      "point 1: x = 5.000  y = 0.000  (button 1)",
                                      "point 2: x = 1.219  y = 0.700  (button 3)",
                                      "point 3: x = -0.500  y = -0.956  (button 2)", "3 points",
                                      "   5.000    0.000", "   1.219    0.700", "  -0.500   -0.956"}));
  setenv("LUMOVIEW_EVENTS", file("closing.txt", "key 65\nclick 1 64 48\nclose\n").c_str(), 1);
  const Outcome closed = run({program("picker")});
  EXPECT_EQ(closed.status, 0);
  EXPECT_EQ(lines_of(closed.out).back(), "   0.600    0.960");
  // Without a display and with the script used up, waiting ends at once.
  setenv("LUMOVIEW_EVENTS", file("empty.txt", "").c_str(), 1);
  const Outcome ended = run({program("picker")});
  EXPECT_EQ(lines_of(ended.out).back(), "0 points");
  unsetenv("LUMOVIEW_EVENTS");
  EXPECT_TRUE(exists("picker-1.png"));
}
