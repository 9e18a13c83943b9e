// The by-reference twins: their deviations, blank-padded text, and that
// every operation has one (and a Fortran interface).
#include <fstream>
#include <iterator>
#include <regex>
#include <set>

#include "include/lumo.h"
#include "include/lumo_ref.h"
#include "tests/unit/test_support.h"

using namespace lumo;
using namespace lumo::wire;
using testing_support::DrawTest;

namespace {

std::set<std::string> names_in(const std::string& file, const std::string& pattern) {
  std::ifstream in(std::string(LUMO_SOURCE_DIR) + "/" + file);
  const std::string text((std::istreambuf_iterator<char>(in)), {});
  std::set<std::string> out;
  const std::regex re(pattern);
  for (std::sregex_iterator it(text.begin(), text.end(), re), end; it != end; ++it) {
    out.insert((*it)[1].str());
  }
  return out;
}

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

TEST(Twins, EveryOperationHasATwinAndAFortranInterface) {
  const auto by_value = names_in("include/lumo.h", R"(\b(Lm[A-Za-z0-9]+)\()");
  const auto twins = names_in("include/lumo_ref.h", R"(\b(lm[a-z0-9]+)\()");
  // An interface of the twin, or a module procedure that calls it (the
  // plotting calls, which take arrays and texts of any length).
  const auto fortran = names_in("include/lumo.f90", R"((?:subroutine|function) (lm[a-z0-9]+)\()");
  for (const auto& name : names_in("include/lumo.f90", R"(bind\(C, &?\s*name="(lm[a-z0-9]+)\"\))")) {
    EXPECT_TRUE(twins.count(name)) << name << " is bound in lumo.f90 but not declared in lumo_ref.h";
  }
  ASSERT_GT(by_value.size(), 100u);
  for (const auto& name : by_value) EXPECT_TRUE(twins.count(lower(name))) << name << " has no twin";
  EXPECT_EQ(fortran, twins);
}

TEST_F(DrawTest, TextTwinDrawsTheTextWithoutItsPadding) {
  LmSetWorld(0, 0, 10, 10);
  take();
  int result = 0;
  float x = 2, y = 3;
  char text[8] = {'H', 'e', 'l', 'l', 'o', ' ', ' ', ' '};
  EXPECT_EQ(lmtext(&result, &x, &y, text, 8), 1);
  EXPECT_EQ(result, 1);
  const auto c = take()[0];
  EXPECT_EQ(c.data, "Hello");
  EXPECT_EQ(c.arg[1], 100);
  EXPECT_EQ(c.arg[2], 350);
  EXPECT_EQ(lmmessage(&result, nullptr, 0), 1);
  EXPECT_EQ(take()[0].data, "");
  char face[10] = {'S', 'e', 'r', 'i', 'f', ' ', ' ', ' ', ' ', ' '};
  float h = -1, a = 0;
  int keep = -1;
  lmsetfont(&result, &h, &a, &keep, &keep, &keep, face, 10);
  EXPECT_EQ(take()[0].data, "Serif");
}

TEST_F(DrawTest, AskTwinIsAFunction) {
  int answer = 6;
  fake::server().handler = [&](const fake::Command&) {
    write_i32(window_view(1), kResult0, answer);
    return 1;
  };
  char q[6] = {'S', 'u', 'r', 'e', '?', ' '};
  EXPECT_EQ(lmask(q, 6), 1);
  answer = 7;
  EXPECT_EQ(lmask(q, 6), -1);
  answer = 0;
  EXPECT_EQ(lmask(q, 6), 0);
  EXPECT_EQ(log()[0].data, "Sure?");
}

TEST_F(DrawTest, SelectionAndPositionTwinsDeviate) {
  int result = 0, n = 4;
  EXPECT_EQ(lmselectwindow(&result, &n), 1);  // window 4 is not open
  EXPECT_EQ(result, 1);
  EXPECT_EQ(n, 1);
  float x = 7, y = 8;
  result = 99;
  EXPECT_EQ(lmgetposition(&result, &x, &y), 0);
  EXPECT_EQ(result, 99);  // nothing written without a position
  EXPECT_EQ(x, 7);
  set_word(kPixelMode, 1);
  LmDevMoveTo(1, 10, 20);
  EXPECT_EQ(lmgetposition(&result, &x, &y), 1);
  EXPECT_EQ(result, 1);
  EXPECT_EQ(x, 10);  // pixel mode: pixels
}

TEST_F(DrawTest, QueryTwinsStoreTheirResults) {
  set_word(kResult0, 10);
  set_word(kResult2, 12);
  int result = 0, a = 0, b = 0;
  EXPECT_EQ(lmgetmetric14(&result, &a, &b), 1);
  EXPECT_EQ(a, 12);
  EXPECT_EQ(b, 10);
  fake::server().default_reply = -3;
  a = 5;
  EXPECT_EQ(lmgetmetric14(&result, &a, &b), -3);
  EXPECT_EQ(result, -3);
  EXPECT_EQ(a, 5);

  LmSetWorld(0, 0, 10, 10);
  float wx = 5, wy = 5;
  int ix = 0, iy = 0;
  EXPECT_EQ(lmworldtodevice(&result, &wx, &wy, &ix, &iy), 1);
  EXPECT_EQ(ix, 250);
  EXPECT_EQ(iy, 250);
  EXPECT_EQ(lmworldtodevicesize(&result, &wx, &wy, &ix, &iy), 1);
  EXPECT_EQ(ix, 250);

  fake::server().default_reply = 1;
  int type = 3, colour = -1, param = -1;
  float size = 0.5f;
  lmsetmarker(&result, &type, &size, &colour, &colour, &param);
  EXPECT_EQ(word(kMarkerSize), 25);
  float got = 0;
  int t = 0, c1 = 0, c2 = 0, p = 0;
  EXPECT_EQ(lmgetmarker(&result, &t, &got, &c1, &c2, &p), 1);
  EXPECT_FLOAT_EQ(got, 0.5f);
}

TEST_F(DrawTest, ArrayAndValueTwinsPassTheirArguments) {
  LmSetWorld(0, 0, 10, 10);
  take();
  float xy[6] = {1, 1, 2, 2, 3, 1};
  int result = 0, n = 3, rule = 1;
  EXPECT_EQ(lmpolygon(&result, xy, &n, &rule), 1);
  EXPECT_EQ(word(kFillMode), 2);
  float x1 = 0, y1 = 0, x2 = 1, y2 = 1;
  EXPECT_EQ(lmline(&result, &x1, &y1, &x2, &y2), 1);
  int colour = 13, style = -1, width = -1, mode = 4;
  lmsetpen(&result, &colour, &style, &width, &mode);
  EXPECT_EQ(word(kPenColour), 13);
  int w = 1, dx = 5, dy = 6;
  float m[4] = {1, 0, 0, 1};
  lmdevsettransform(&result, &w, &dx, &dy, &m[0], &m[1], &m[2], &m[3]);
  EXPECT_EQ(log().back().arg[1], 5);
  int first = 0;
  EXPECT_EQ(lmfirstwindow(&first), 1);
  EXPECT_EQ(first, 1);
}
