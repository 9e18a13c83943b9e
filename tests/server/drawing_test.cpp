// Drawing in the server core: what a command reads of the window block, and
// the pixel rules the canvases share.
#include <gtest/gtest.h>
#include <iconv.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "common/block_access.h"
#include "common/lumo_wire.h"
#include "server/canvas/ansi_text.h"
#include "tests/server/server_fixture.h"
#include "tests/support/temp_folder.h"

using namespace lumo;
using namespace lumo::server;
using namespace lumo::wire;
using lumo::server::test_support::ServerCoreTest;

namespace {

struct DrawStep {
  int32_t code, a2, a3;
  int32_t results[4];
  std::vector<int32_t> data;  // words at the start of the data area
  const char* text;           // or a text there
  std::vector<std::pair<int, int32_t>> state;  // drawing-state words to set first
};

// Every drawing command that needs no answer, with arguments that make it
// draw something that depends on everything it reads.
std::vector<DrawStep> every_posted_drawing() {
  return {
      {kDrawAttributes, 0, 0, {}, {}, nullptr,
       {{kPenColour, 0x020000FF}, {kPenWidth, 3}, {kPenStyle, 1}, {kPenMode, 4},
        {kBrushColour, 0x0200FF00}, {kBrushStyle, 2}, {kBrushHatch, 5}, {kMarkerType, 6},
        {kMarkerSize, 11}, {kMarkerColour1, 0x02FF0000}, {kMarkerColour2, 0x0200FFFF},
        {kChanged, 0xFFF}}},
      {kDrawFont, 1, 0, {}, {}, "serif", {{kTextHeight, 22}, {kTextAngle, 300}}},
      {kDrawSymbolFont, 1, 0, {}, {}, "monospace", {{kSymbolHeight, 18}}},
      {kDrawMove, 10, 10, {}, {}, nullptr, {}},
      {kDrawLine, 150, 40, {}, {}, nullptr, {}},
      {kDrawMarker, 0, 0, {0, 40, 90, 0}, {}, nullptr, {}},
      {kDrawText, 60, 150, {}, {}, "Text 1", {}},
      {kDrawSymbol, 120, 160, {}, {}, "Q", {}},
      {kDrawPointOp, 5, 190, {}, {}, nullptr, {}},
      {kDrawPixel, 7, 190, {0x02123456}, {}, nullptr, {}},
      {kDrawRect, 0, 0, {160, 10, 220, 60}, {}, nullptr, {}},
      {kDrawRectEx, 7, 0, {230, 10, 290, 60}, {}, nullptr, {}},
      {kDrawRoundRect, 20, 12, {160, 70, 220, 120}, {}, nullptr, {}},
      {kDrawEllipse, 0, 0, {230, 70, 290, 120}, {}, nullptr, {}},
      {kDrawArc, 0, 0, {10, 60, 70, 120}, {100, 90, 40, 200}, nullptr, {}},
      {kDrawChord, 0, 0, {80, 60, 140, 120}, {200, 90, 110, -100}, nullptr, {}},
      {kDrawPie, 0, 0, {160, 130, 220, 190}, {300, 160, 190, 400}, nullptr, {}},
      // The sub-pixel forms (1/256 pixel), between pixels.
      {kDrawMove + kDrawSubpixel, 2600, 49300, {}, {}, nullptr, {}},
      {kDrawLine + kDrawSubpixel, 74001, 45011, {}, {}, nullptr, {}},
      {kDrawMarker + kDrawSubpixel, 0, 0, {0, 62000, 40100, 0}, {}, nullptr, {}},
      {kDrawText + kDrawSubpixel, 15400, 45700, {}, {}, "Text 2", {}},
      {kDrawSymbol + kDrawSubpixel, 66000, 46100, {}, {}, "R", {}},
      {kDrawEllipse + kDrawSubpixel, 0, 0, {59000, 33300, 74300, 45100}, {}, nullptr, {}},
      {kDrawArc + kDrawSubpixel, 0, 0, {2600, 33000, 18000, 46000}, {26000, 40000, 10000, 50000}, nullptr, {}},
      {kDrawChord + kDrawSubpixel, 0, 0, {20600, 33000, 36000, 46000}, {52000, 40000, 28000, -2000}, nullptr, {}},
      {kDrawPie + kDrawSubpixel, 0, 0, {41000, 2700, 56400, 17400}, {77000, 10000, 48000, 100000}, nullptr, {}},
  };
}

void prepare(unsigned char* block, const DrawStep& s) {
  for (const auto& [offset, value] : s.state) write_i32(block, offset, value);
  write_i32(block, kArg1, s.code);
  write_i32(block, kArg2, s.a2);
  write_i32(block, kArg3, s.a3);
  for (int i = 0; i < 4; ++i) write_i32(block, kResult0 + 4 * i, s.results[i]);
  for (size_t i = 0; i < s.data.size(); ++i) {
    write_i32(block, kDataArea + static_cast<int>(4 * i), s.data[i]);
  }
  if (s.text) std::strcpy(reinterpret_cast<char*>(block + kDataArea), s.text);
}

}  // namespace

// A posted command carries only what the wire table says the command reads;
// drawn from such a copy, whatever lies beyond it, every command must draw
// exactly what the same command answered draws from the whole block.
TEST_F(ServerCoreTest, PostedCopiesHoldEverythingTheirCommandReads) {
  const std::vector<DrawStep> steps = every_posted_drawing();
  for (int32_t code = 0; code < 64 + kDrawSubpixel; ++code) {
    bool covered = false;
    for (const DrawStep& s : steps) covered = covered || s.code == code;
    EXPECT_EQ(covered, draw_needs_no_answer(code)) << "drawing code " << code;
    if (code == 63) code = kDrawSubpixel - 1;
  }
  ASSERT_EQ(text("I,1,300,200,-1,-1,-1,"), 1);  // answered from the whole block
  ASSERT_EQ(text("I,2,300,200,-1,-1,-1,"), 2);  // posted copies with garbage after them
  std::mt19937 random(16);
  for (const DrawStep& s : steps) {
    prepare(block(1), s);
    EXPECT_EQ(command(1, 'A', s.code, s.a2, s.a3), 1) << "code " << s.code;
    std::array<unsigned char, kWindowBlockSize> copy;
    for (auto& byte : copy) byte = static_cast<unsigned char>(random());
    prepare(block(2), s);
    const int32_t extent = draw_block_extent(s.code, block(2));
    std::memcpy(copy.data(), block(2), static_cast<size_t>(extent));
    for (int i = 0; i < kWindowBlockSize; ++i) block(2)[i] = static_cast<unsigned char>(random());
    const unsigned char bytes[3] = {'A', 2 + 32, 0};
    server->draw_posted(1, bytes, 3, copy.data());
    std::memcpy(block(2), copy.data(), kStateSize);  // the state the program keeps
  }
  int differing = 0;
  for (int y = 0; y < 200; ++y) {
    for (int x = 0; x < 300; ++x) differing += pixel(1, x, y) == pixel(2, x, y) ? 0 : 1;
  }
  EXPECT_EQ(differing, 0);
}

// Everything drawn after a whole-pixel translation is set moves with it,
// single pixels included, pixel for pixel (anti-aliased curves within a
// shade): window 2 draws under a
// translation of (104, 48) exactly what window 1 draws without one, in the
// smooth and the crisp mode (hatches stay anchored on the surface, so the
// move is a whole number of their tiles).  A pixel read goes through the
// translation too.
TEST_F(ServerCoreTest, EverythingDrawnUnderATranslationMoves) {
  for (int mode : {4, 13}) {
    ASSERT_EQ(text("I,1,300,200,-1,-1,-1,"), 1);
    ASSERT_EQ(text("I,2,300,200,-1,-1,-1,"), 2);
    words(2, 65536, 0, 0, 65536);
    ASSERT_EQ(command(2, 'A', kDrawTransform, 104, 48), 1);
    for (DrawStep s : every_posted_drawing()) {
      if (s.code == kDrawText || s.code == kDrawSymbol) continue;  // glyphs may hint differently
      for (auto& word : s.state) {
        if (word.first == kPenMode) word.second = mode;
      }
      for (int w = 1; w <= 2; ++w) {
        prepare(block(w), s);
        EXPECT_EQ(command(w, 'A', s.code, s.a2 / 3, s.a3 / 3), 1);
      }
    }
    int differing = 0, ink = 0;
    for (int y = 0; y < 150; ++y) {
      for (int x = 0; x < 196; ++x) {
        const Rgb c = pixel(1, x, y);
        ink += c == Rgb{255, 255, 255} ? 0 : 1;
        const Rgb moved = pixel(2, x + 104, y + 48);
        // cairo's curves may round their anti-aliased edge a shade apart.
        const int slack = mode == 4 ? 4 : 0;
        differing += std::abs(c.r - moved.r) > slack || std::abs(c.g - moved.g) > slack ||
                     std::abs(c.b - moved.b) > slack;
      }
    }
    EXPECT_GT(ink, 500) << "mode " << mode;
    EXPECT_EQ(differing, 0) << "mode " << mode;
    // Reading (5, 63) under the translation reads the pixel at (109, 111).
    server->window(2)->canvas().set_pixel({109, 111}, Rgb{1, 2, 3});
    ASSERT_EQ(command(2, 'F', 5, 63), 1);
    EXPECT_EQ(read_i32(block(2), kResult0), 0x02030201) << "mode " << mode;
    EXPECT_EQ(command(1, 'J', 0), 2);
    EXPECT_EQ(command(2, 'J', 0), 0);
  }
}

// ANSI text: code page 1252 by default (bytes 0x80..0x9F included), UTF-8
// where a program sends valid UTF-8, Shift-JIS in a Shift-JIS locale.
TEST(AnsiText, CodePagesAndUtf8) {
  struct Case { int code_page; std::string in, out; } cases[] = {
      {1252, "\x80 5", "\xE2\x82\xAC 5"},            // euro sign
      {1252, "\x93q\x94", "\xE2\x80\x9Cq\xE2\x80\x9D"},  // curly quotes
      {1252, "caf\xE9", "caf\xC3\xA9"},              // Latin-1 range
      {1252, "caf\xC3\xA9", "caf\xC3\xA9"},          // already UTF-8
      {1252, "\x81", "\xC2\x81"},                    // undefined: its control character
      {932, "\x82\xA0\x83\x41", "\xE3\x81\x82\xE3\x82\xA2"},  // hiragana a, katakana a
      {932, "\xB1", "\xEF\xBD\xB1"},                 // half-width katakana
      {932, "\x80 5", "\xE2\x82\xAC 5"},             // not Shift-JIS: read as 1252
      {1252, "\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},  // UTF-8 past U+FFFF
      // Bytes that only look like UTF-8 are code page 1252: an overlong
      // slash, an encoded surrogate ("\xED\xB0\xB1" is "i acute, degree,
      // plus-minus"), a code point past U+10FFFF, a three-byte overlong.
      {1252, "\xC0\xAF", "\xC3\x80\xC2\xAF"},
      {1252, "\xED\xB0\xB1", "\xC3\xAD\xC2\xB0\xC2\xB1"},
      {1252, "\xF4\x90\x80\x80", "\xC3\xB4\xC2\x90\xE2\x82\xAC\xE2\x82\xAC"},
      {1252, "\xE0\x80\xAF", "\xC3\xA0\xE2\x82\xAC\xC2\xAF"},
  };
  for (const Case& c : cases) {
    set_ansi_code_page(c.code_page);
    EXPECT_EQ(to_utf8(c.in), c.out) << c.code_page << " " << c.in;
  }
  set_ansi_code_page(1252);
  // Whatever the bytes, the result is UTF-8 the C library's converter takes
  // whole (it refuses overlong forms, surrogates and code points past
  // U+10FFFF).
  std::mt19937 random(7);
  for (int round = 0; round < 2000; ++round) {
    std::string in;
    const int n = 1 + static_cast<int>(random() % 12);
    for (int i = 0; i < n; ++i) {
      static const unsigned char kBytes[] = {0x41, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xAF, 0xBF,
                                             0xC0, 0xC2, 0xDF, 0xE0, 0xED, 0xEF, 0xF0, 0xF4, 0xF5, 0xFF};
      in += static_cast<char>(kBytes[random() % sizeof kBytes]);
    }
    std::string out = to_utf8(in);
    iconv_t cd = iconv_open("UTF-32LE", "UTF-8");
    ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
    std::string wide(out.size() * 4 + 4, '\0');
    char* src = out.data();
    size_t src_left = out.size();
    char* dst = wide.data();
    size_t dst_left = wide.size();
    const bool whole = iconv(cd, &src, &src_left, &dst, &dst_left) != static_cast<size_t>(-1) && src_left == 0;
    iconv_close(cd);
    ASSERT_TRUE(whole) << "not UTF-8 from the bytes of round " << round;
  }
}

// Program text printed on a terminal cannot drive it: escape sequences,
// bells, carriage returns and C1 controls are shown, line ends kept.
TEST(AnsiText, TerminalTextShowsControlCharacters) {
  const std::pair<std::string, std::string> cases[] = {
      {"\x1b]0;owned\x07red", "\\x1B]0;owned\\x07red"},
      {"a\rb\nc\td\x7f", "a\\x0Db\nc\td\\x7F"},
      {"\xC2\x9B" "2J", "\\x9B2J"},              // CSI as UTF-8
      {"\x9B", "\xE2\x80\xBA"},                 // code page 1252: a printable quote
      {"caf\xC3\xA9 \xE2\x82\xAC", "caf\xC3\xA9 \xE2\x82\xAC"},
  };
  for (const auto& c : cases) EXPECT_EQ(terminal_text(c.first), c.second) << c.first;
}

// What the user types in a dialog goes back to a program as the C library's
// own converter writes it in the program's code page; a UTF-8 locale keeps
// UTF-8, and a character the code page lacks becomes "?".
TEST(AnsiText, TypedTextGoesBackInTheProgramsCodePage) {
  auto iconv_text = [](const char* to, const char* from, const std::string& in) {
    iconv_t cd = iconv_open(to, from);
    EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1)) << to;
    std::string out(in.size() * 4 + 4, '\0');
    char* src = const_cast<char*>(in.data());
    char* dst = &out[0];
    size_t left = in.size(), room = out.size();
    const size_t r = iconv(cd, &src, &left, &dst, &room);
    iconv_close(cd);
    return r == static_cast<size_t>(-1) ? std::string("(none)") : out.substr(0, out.size() - room);
  };
  const char* saved = std::getenv("LC_ALL");
  const std::string keep = saved ? saved : "";
  setenv("LC_ALL", "C", 1);
  struct Case { int code_page; const char* iconv_name; std::vector<std::string> texts; } cases[] = {
      {1252, "WINDOWS-1252", {}},
      {932, "CP932", {"\x82\xA0\x83\x41", "\x8A\xBF\x8E\x9A", "\xB1\xB2", "A\x81\x40Z"}},
  };
  for (int b = 0x20; b < 0x100; ++b) {
    if (b != 0x7F && b != 0x81 && b != 0x8D && b != 0x8F && b != 0x90 && b != 0x9D) {
      cases[0].texts.push_back(std::string(1, static_cast<char>(b)));
    }
  }
  for (Case& c : cases) {
    set_ansi_code_page(c.code_page);
    for (const std::string& program_text : c.texts) {
      const std::string typed = iconv_text("UTF-8", c.iconv_name, program_text);
      EXPECT_EQ(to_program_text(typed), program_text) << c.code_page << " " << typed;
    }
    EXPECT_EQ(to_program_text("\xC5\x81\xC3\xB3" "d\xC5\xBA"), c.code_page == 1252 ? "?\xF3" "d?" : "??d?");
  }
  set_ansi_code_page(1252);
  setenv("LC_ALL", "C.UTF-8", 1);
  EXPECT_EQ(to_program_text("\xC5\x81\xC3\xB3" "d\xC5\xBA"), "\xC5\x81\xC3\xB3" "d\xC5\xBA");
  if (saved) {
    setenv("LC_ALL", keep.c_str(), 1);
  } else {
    unsetenv("LC_ALL");
  }
}

// The euro sign sent as code page 1252 draws the glyph the same character
// sent as UTF-8 draws, not a missing-glyph box.
TEST_F(ServerCoreTest, Cp1252TextDrawsItsGlyphs) {
  ASSERT_EQ(text("I,1,200,60,-1,-1,-1,"), 1);
  ASSERT_EQ(text("I,2,200,60,-1,-1,-1,"), 2);
  ASSERT_EQ(text("I,3,200,60,-1,-1,-1,"), 3);
  const char* texts[] = {"\x80\x84\x99", "\xE2\x82\xAC\xE2\x80\x9E\xE2\x84\xA2", "\xC2\x80\xC2\x84\xC2\x99"};
  for (int w = 1; w <= 3; ++w) {
    write_i32(block(w), kTextHeight, 30);
    command(w, 'A', kDrawFont, 1);
    std::strcpy(reinterpret_cast<char*>(block(w) + kDataArea), texts[w - 1]);
    ASSERT_EQ(command(w, 'A', kDrawText, 10, 40), 1);
  }
  int same = 0, differing = 0;
  for (int y = 0; y < 60; ++y) {
    for (int x = 0; x < 200; ++x) {
      same += pixel(1, x, y) == pixel(2, x, y) ? 0 : 1;
      differing += pixel(1, x, y) == pixel(3, x, y) ? 0 : 1;
    }
  }
  EXPECT_EQ(same, 0);
  EXPECT_GT(differing, 50);  // the control characters (Latin-1 reading) draw something else
}

// ---- The pixel rules against a reference that tests each pixel on its own --

namespace {

constexpr int kW = 120, kH = 90;
const Rgb kWhite{255, 255, 255};

class PixelRules : public ServerCoreTest {
 protected:
  void SetUp() override {
    ServerCoreTest::SetUp();
    ASSERT_EQ(text("I,1," + std::to_string(kW) + "," + std::to_string(kH) + ",-1,-1,-1,"), 1);
  }
  void pen(int32_t colour, int style, int width, int mode) {
    write_i32(block(1), kPenColour, colour);
    write_i32(block(1), kPenStyle, style);
    write_i32(block(1), kPenWidth, width);
    write_i32(block(1), kPenMode, mode);
    write_i32(block(1), kChanged, 0x00F);
    command(1, 'A', kDrawAttributes);
  }
  void brush(int32_t colour, int style, int hatch = 0) {
    write_i32(block(1), kBrushColour, colour);
    write_i32(block(1), kBrushStyle, style);
    write_i32(block(1), kBrushHatch, hatch);
    write_i32(block(1), kChanged, 0x070);
    command(1, 'A', kDrawAttributes);
  }
  void clear() { server->window(1)->canvas().clear(kWhite); }
  void line(Point a, Point b) {
    command(1, 'A', kDrawMove, a.x, a.y);
    command(1, 'A', kDrawLine, b.x, b.y);
  }
  void figure(int32_t code, Point a, Point b, Point s = {0, 0}, Point e = {0, 0}) {
    words(1, a.x, a.y, b.x, b.y);
    const int32_t radial[4] = {s.x, s.y, e.x, e.y};
    std::memcpy(block(1) + kDataArea, radial, sizeof radial);
    command(1, 'A', code);
  }
  void polygon(const std::vector<Point>& p, bool winding) {
    write_i32(block(1), kFillMode, winding ? 2 : 1);
    ASSERT_EQ(command(1, 'N', kBlockPolygon, static_cast<int32_t>(p.size())), 1);
    std::memcpy(block(1) + kDataArea, p.data(), 8 * p.size());
    ASSERT_EQ(command(1, 'B', kBlockChunk, 0, static_cast<int32_t>(8 * p.size())), 1);
    ASSERT_EQ(command(1, 'B', kBlockCommit), 1);
  }
  std::vector<Rgb> picture() {
    std::vector<Rgb> out;
    for (int y = 0; y < kH; ++y) {
      for (int x = 0; x < kW; ++x) out.push_back(pixel(1, x, y));
    }
    return out;
  }
  bool inked(int x, int y) { return !(pixel(1, x, y) == kWhite); }
  std::mt19937 random{2026};
  int coordinate() {
    switch (random() % 10) {
      case 0: return static_cast<int>(random() % 2000001) - 1000000;  // far away
      case 1: return random() % 2 ? 2000000000 : -2000000000;
      default: return static_cast<int>(random() % 360) - 120;  // in and around the area
    }
  }
};

// Rounds num / den, halves toward minus infinity, in exact arithmetic.
long double nearest(long double num, long double den) {
  const long double v = num / den;
  long double r = std::floor(v + 0.5L);
  if (r - v == 0.5L) r -= 1;
  return r;
}

// Whether pixel (x, y) lies on the one-pixel line from a to b (b left out):
// its major coordinate is on the line's span and its minor coordinate is the
// one nearest the line there.
bool on_line(Point a, Point b, int x, int y) {
  const long double dx = static_cast<long double>(b.x) - a.x, dy = static_cast<long double>(b.y) - a.y;
  if (dx == 0 && dy == 0) return false;
  const bool x_major = std::fabs(dx) >= std::fabs(dy);
  const long double m = x_major ? x : y, from = x_major ? a.x : a.y, to = x_major ? b.x : b.y;
  if ((m - from) * (to - from) < 0 || (m - from) * (m - from) >= (to - from) * (to - from)) return false;
  const long double minor = x_major ? a.y + nearest((m - from) * dy, dx) : a.x + nearest((m - from) * dx, dy);
  return (x_major ? y : x) == minor;
}

// Whether the point (x, y) is inside the polygon, a ray cast to the right
// from just right of and just below it (left and top edges are in).
bool inside_polygon(const std::vector<Point>& p, int x, int y, bool winding) {
  int count = 0, turns = 0;
  for (size_t i = 0; i < p.size(); ++i) {
    const Point a = p[i], b = p[(i + 1) % p.size()];
    if (a.y == b.y) continue;
    const bool down = b.y > a.y;
    const Point lo = down ? a : b, hi = down ? b : a;
    if (y < lo.y || y >= hi.y) continue;
    // The edge's crossing with row y lies right of x.
    const long double cross = static_cast<long double>(lo.x - x) * (hi.y - lo.y) +
                              static_cast<long double>(y - lo.y) * (hi.x - lo.x);
    if (cross > 0) {
      ++count;
      turns += down ? 1 : -1;
    }
  }
  return winding ? turns != 0 : count % 2 == 1;
}

}  // namespace

TEST_F(PixelRules, OnePixelLinesCoverTheNearestPixelsOnly) {
  pen(0x02000000, 0, 1, 6);  // inverting: the line's own pixels, its end left out
  for (int trial = 0; trial < 300; ++trial) {
    clear();
    const Point a{coordinate(), coordinate()}, b{coordinate(), coordinate()};
    line(a, b);
    int wrong = 0;
    for (int y = 0; y < kH; ++y) {
      for (int x = 0; x < kW; ++x) wrong += inked(x, y) != on_line(a, b, x, y);
    }
    ASSERT_EQ(wrong, 0) << "line (" << a.x << "," << a.y << ")-(" << b.x << "," << b.y << ")";
  }
}

TEST_F(PixelRules, PolygonsFillThePixelsWhosePointIsInside) {
  pen(0x02000000, kInvisible, 1, 13);
  brush(0x02FF0000, 0);
  for (int trial = 0; trial < 200; ++trial) {
    clear();
    std::vector<Point> p(3 + random() % 6);
    for (Point& q : p) q = {coordinate() / 2, coordinate() / 2};
    const bool winding = random() % 2;
    polygon(p, winding);
    int wrong = 0;
    for (int y = 0; y < kH; ++y) {
      for (int x = 0; x < kW; ++x) wrong += inked(x, y) != inside_polygon(p, x, y, winding);
    }
    ASSERT_EQ(wrong, 0) << "trial " << trial << " with " << p.size() << " points";
  }
}

// A rectangle covers x1..x2-1 and y1..y2-1 whichever corners come first, with
// or without its outline; an ellipse with the same corners covers the same
// box, in the crisp and the smooth mode.
TEST_F(PixelRules, RectanglesAndEllipsesShareTheirBox) {
  for (int trial = 0; trial < 200; ++trial) {
    const Point a{static_cast<int>(random() % 100) + 5, static_cast<int>(random() % 70) + 5};
    const Point b{std::clamp(a.x + static_cast<int>(random() % 40) * (random() % 2 ? 1 : -1), 0, kW),
                  std::clamp(a.y + static_cast<int>(random() % 30) * (random() % 2 ? 1 : -1), 0, kH)};
    const int x0 = std::min(a.x, b.x), x1 = std::max(a.x, b.x) - 1;
    const int y0 = std::min(a.y, b.y), y1 = std::max(a.y, b.y) - 1;
    for (int32_t code : {kDrawRect, kDrawEllipse}) {
      for (int mode : {13, 4}) {
        const bool outline = random() % 2;
        pen(0x02000000, outline ? 0 : kInvisible, 1, mode);
        brush(0x020000FF, outline ? 1 : 0);
        clear();
        figure(code, a, b);
        // Crisp figures must fill their box exactly; anti-aliased ones may
        // spread or fade by a pixel at its edges.
        const int faint = mode == 4 ? 250 : 254;
        int bx0 = kW, by0 = kH, bx1 = -1, by1 = -1;
        for (int y = 0; y < kH; ++y) {
          for (int x = 0; x < kW; ++x) {
            const Rgb c = pixel(1, x, y);
            if (std::min({c.r, c.g, c.b}) > faint) continue;
            bx0 = std::min(bx0, x);
            by0 = std::min(by0, y);
            bx1 = std::max(bx1, x);
            by1 = std::max(by1, y);
          }
        }
        const std::string what = (code == kDrawRect ? "rectangle " : "ellipse ") +
                                 std::to_string(a.x) + "," + std::to_string(a.y) + " " +
                                 std::to_string(b.x) + "," + std::to_string(b.y) + " mode " +
                                 std::to_string(mode);
        if (x1 < x0 || y1 < y0) {
          EXPECT_EQ(bx1, -1) << what;
          continue;
        }
        const int slack = mode == 4 && code == kDrawEllipse ? 1 : 0;
        EXPECT_LE(std::abs(bx0 - std::max(x0, 0)), slack) << what;
        EXPECT_LE(std::abs(by0 - std::max(y0, 0)), slack) << what;
        EXPECT_LE(std::abs(bx1 - std::min(x1, kW - 1)), slack) << what;
        EXPECT_LE(std::abs(by1 - std::min(y1, kH - 1)), slack) << what;
      }
    }
  }
}

// Exclusive or is a bitwise XOR of the colour: every figure, in every pen,
// drawn twice leaves every pixel as it was.
TEST_F(PixelRules, ExclusiveOrTwiceRestoresEveryPixel) {
  for (int y = 0; y < kH; ++y) {
    for (int x = 0; x < kW; ++x) {
      server->window(1)->canvas().set_pixel({x, y}, Rgb{static_cast<uint8_t>(random()),
                                                       static_cast<uint8_t>(random()),
                                                       static_cast<uint8_t>(random())});
    }
  }
  const std::vector<Rgb> before = picture();
  for (int trial = 0; trial < 60; ++trial) {
    const Point a{coordinate() / 3, coordinate() / 3}, b{coordinate() / 3, coordinate() / 3};
    const Point s{coordinate(), coordinate()}, e{coordinate(), coordinate()};
    const int32_t code = std::vector<int32_t>{kDrawLine, kDrawRect, kDrawEllipse, kDrawRoundRect,
                                              kDrawArc, kDrawChord, kDrawPie, kDrawMarker}[trial % 8];
    pen(0x02000000 | (random() & 0xFFFFFF), static_cast<int>(random() % 10), 1 + random() % 3, 7);
    brush(0x02000000 | (random() & 0xFFFFFF), static_cast<int>(random() % 4), random() % 6);
    write_i32(block(1), kMarkerType, trial % 7);
    write_i32(block(1), kMarkerSize, 3 + random() % 20);
    write_i32(block(1), kChanged, 0xF80);
    command(1, 'A', kDrawAttributes);
    for (int pass = 0; pass < 2; ++pass) {
      if (code == kDrawLine) {
        line(a, b);
      } else {
        figure(code, a, b, s, e);
      }
    }
    ASSERT_TRUE(picture() == before) << "figure " << code << " trial " << trial;
  }
}

// Fine dots set every other pixel along either axis.
TEST_F(PixelRules, FineDotsAreEveryOtherPixelInEitherDirection) {
  pen(0x02000000, kFineDot, 1, 13);
  line({5, 10}, {105, 10});
  line({10, 20}, {10, 80});
  int across = 0, down = 0;
  for (int x = 5; x < 105; ++x) across += inked(x, 10);
  for (int y = 20; y < 80; ++y) down += inked(10, y);
  EXPECT_EQ(across, 50);
  EXPECT_EQ(down, 30);
  EXPECT_TRUE(inked(5, 10) && !inked(6, 10) && inked(7, 10));
}

// Very long arrays take the fast paths (thinned dense runs, strokes in
// pieces, the sampling polygon rasteriser, segment-by-segment lines): they
// must still draw the shape the crisp rules give, within a pixel.
TEST_F(PixelRules, LongArraysKeepTheirShapeOnTheFastPaths) {
  struct Shape {
    const char* name;
    std::vector<Point> points;
    bool filled;
  };
  std::vector<Shape> shapes;
  {
    Shape signal{"dense signal", {}, false};
    for (int i = 0; i < 60000; ++i) {
      signal.points.push_back({i * kW / 60000, kH / 2 + static_cast<int>(30 * std::sin(i / 900.0)) +
                                                   static_cast<int>(random() % 9) - 4});
    }
    shapes.push_back(signal);
    Shape scribble{"random polyline", {}, false};
    for (int i = 0; i < 30000; ++i) scribble.points.push_back({coordinate() / 3, coordinate() / 3});
    shapes.push_back(scribble);
    Shape blob{"wavy outline of many points", {}, true};
    for (int i = 0; i < 8000; ++i) {
      const double angle = 2 * 3.14159265358979 * i / 8000, r = 30 + 12 * std::sin(5 * angle);
      blob.points.push_back({60 + static_cast<int>(std::lround(r * std::cos(angle))),
                             45 + static_cast<int>(std::lround(r * std::sin(angle)))});
    }
    shapes.push_back(blob);
  }
  for (const Shape& shape : shapes) {
    std::vector<Rgb> crisp, smooth;
    for (int mode : {13, 4}) {
      clear();
      pen(0x02000000, shape.filled ? kInvisible : 0, 1, mode);
      brush(0x02000000, 0);
      const int n = static_cast<int>(shape.points.size());
      const int32_t kind = shape.filled ? kBlockPolygon : kBlockPolyline;
      ASSERT_EQ(command(1, 'N', kind, n), 1);
      for (int at = 0; at < n; at += 256) {
        const int m = std::min(256, n - at);
        std::memcpy(block(1) + kDataArea, shape.points.data() + at, 8 * static_cast<size_t>(m));
        ASSERT_EQ(command(1, 'B', kBlockChunk, 8 * at, 8 * m), 1);
      }
      ASSERT_EQ(command(1, 'B', kBlockCommit), 1);
      (mode == 13 ? crisp : smooth) = picture();
    }
    auto dark = [](const Rgb& c, int below) { return std::min({c.r, c.g, c.b}) < below; };
    auto near = [&](const std::vector<Rgb>& p, int x, int y, int below) {
      for (int v = std::max(0, y - 1); v <= std::min(kH - 1, y + 1); ++v) {
        for (int u = std::max(0, x - 1); u <= std::min(kW - 1, x + 1); ++u) {
          if (dark(p[static_cast<size_t>(v * kW + u)], below)) return true;
        }
      }
      return false;
    };
    int lost = 0, strayed = 0;
    for (int y = 0; y < kH; ++y) {
      for (int x = 0; x < kW; ++x) {
        const size_t i = static_cast<size_t>(y * kW + x);
        if (dark(crisp[i], 128) && !near(smooth, x, y, 250)) ++lost;
        if (dark(smooth[i], 100) && !near(crisp, x, y, 128)) ++strayed;
      }
    }
    EXPECT_EQ(lost, 0) << shape.name;
    EXPECT_EQ(strayed, 0) << shape.name;
  }
}

// The canvas's shortcuts against cairo doing the same work plainly: filled
// rectangles without an outline (set directly) against cairo's fill, and
// text with the face and size kept from call to call against each line
// drawn alone with the font chosen afresh.
TEST(CairoShortcuts, DrawTheSamePixelsAsPlainCairo) {
  constexpr int kW = 160, kH = 120;
  CairoCanvas canvas(kW, kH, {255, 255, 255});
  cairo_surface_t* plain = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kW, kH);
  cairo_t* cr = cairo_create(plain);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  Pen invisible;
  invisible.style = kInvisible;
  std::mt19937 random(7);
  for (int i = 0; i < 200; ++i) {
    Brush brush;
    brush.style = kBrushSolid;
    brush.colour = {static_cast<uint8_t>(random()), static_cast<uint8_t>(random()), static_cast<uint8_t>(random())};
    const int x = static_cast<int>(random() % 200) - 20, y = static_cast<int>(random() % 160) - 20;
    const int w = static_cast<int>(random() % 40), h = static_cast<int>(random() % 40);
    canvas.rect(invisible, brush, {x, y}, {x + w, y + h});
    cairo_set_source_rgb(cr, brush.colour.r / 255.0, brush.colour.g / 255.0, brush.colour.b / 255.0);
    cairo_rectangle(cr, x, y, w, h);  // the rectangle's right and bottom edges are outside it
    cairo_fill(cr);
  }
  // Text on a canvas of its own, each line well apart from the others.
  CairoCanvas text_canvas(300, 200, {255, 255, 255});
  const struct { const char* face; int height, weight, align; } fonts[] = {
      {"", 16, 0, 0}, {"serif", 22, 0, 4}, {"", 16, 700, 2}, {"", 16, 0, 0}, {"serif", 11, 0, 8}};
  std::vector<Rgb> lines_alone(300 * 200, Rgb{255, 255, 255});
  for (int i = 0; i < 5; ++i) {
    Font f;
    f.face = fonts[i].face;
    f.height = fonts[i].height;
    f.weight = fonts[i].weight;
    f.align = fonts[i].align;
    const Point at{150, 25 + 38 * i};
    text_canvas.text(f, at, "Ag" + std::to_string(i));
    CairoCanvas fresh(300, 200, {255, 255, 255});
    fresh.text(f, at, "Ag" + std::to_string(i));
    for (int y = 0; y < 200; ++y) {
      for (int x = 0; x < 300; ++x) {
        Rgb c;
        fresh.get_pixel({x, y}, &c);
        if (c.r != 255 || c.g != 255 || c.b != 255) lines_alone[static_cast<size_t>(y * 300 + x)] = c;
      }
    }
  }
  int text_differing = 0, inked = 0;
  for (int y = 0; y < 200; ++y) {
    for (int x = 0; x < 300; ++x) {
      Rgb c;
      text_canvas.get_pixel({x, y}, &c);
      const Rgb& want = lines_alone[static_cast<size_t>(y * 300 + x)];
      if (c.r != want.r || c.g != want.g || c.b != want.b) ++text_differing;
      if (c.r != 255) ++inked;
    }
  }
  EXPECT_EQ(text_differing, 0);
  EXPECT_GT(inked, 200);
  cairo_surface_flush(plain);
  int differing = 0;
  for (int y = 0; y < kH; ++y) {
    for (int x = 0; x < kW; ++x) {
      Rgb got;
      ASSERT_TRUE(canvas.get_pixel({x, y}, &got));
      uint32_t want;
      std::memcpy(&want, cairo_image_surface_get_data(plain) + y * cairo_image_surface_get_stride(plain) + 4 * x, 4);
      if ((static_cast<uint32_t>(got.r) << 16 | got.g << 8 | got.b) != (want & 0xFFFFFF)) ++differing;
    }
  }
  EXPECT_EQ(differing, 0);
  cairo_destroy(cr);
  cairo_surface_destroy(plain);
}

// A single smooth one-pixel line is laid down without a path; it must stay
// within the anti-aliasing of cairo's own round-capped stroke of the same
// line: no pixel far off, about the same ink, nothing wrapped to the other
// side of the picture when the line leaves it.
TEST(CairoShortcuts, OneSmoothLineStaysWithinCairosAntiAliasing) {
  constexpr int kW = 160, kH = 120;
  std::mt19937 random(11);
  int worst = 0;
  double least_ink = 10, most_ink = 0;
  for (int i = 0; i < 300; ++i) {
    const int ax = static_cast<int>(random() % 140) + 10, ay = static_cast<int>(random() % 100) + 10;
    const double angle = (random() % 3600) / 3600.0 * 6.283185307179586;
    const int length = i < 60 ? 1 + static_cast<int>(random() % 4) : 5 + static_cast<int>(random() % 200);
    const int bx = ax + static_cast<int>(std::lround(length * std::cos(angle)));
    const int by = ay + static_cast<int>(std::lround(length * std::sin(angle)));
    CairoCanvas canvas(kW, kH, {255, 255, 255});
    Pen pen;
    pen.colour = {0, 0, 0};
    canvas.line(pen, {ax, ay}, {bx, by});
    cairo_surface_t* plain = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kW, kH);
    cairo_t* cr = cairo_create(plain);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_set_line_width(cr, 1);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_move_to(cr, ax + 0.5, ay + 0.5);
    cairo_line_to(cr, bx + 0.5, by + 0.5);
    cairo_stroke(cr);
    cairo_surface_flush(plain);
    double ink = 0, cairo_ink = 0;
    for (int y = 0; y < kH; ++y) {
      for (int x = 0; x < kW; ++x) {
        Rgb got;
        canvas.get_pixel({x, y}, &got);
        const int want = cairo_image_surface_get_data(plain)[y * cairo_image_surface_get_stride(plain) + 4 * x];
        worst = std::max(worst, std::abs(got.b - want));
        ink += 255 - got.b;
        cairo_ink += 255 - want;
      }
    }
    cairo_destroy(cr);
    cairo_surface_destroy(plain);
    if (cairo_ink > 0) {
      least_ink = std::min(least_ink, ink / cairo_ink);
      most_ink = std::max(most_ink, ink / cairo_ink);
    }
  }
  EXPECT_LE(worst, 48) << "a pixel differs by more than a fifth of full ink";
  EXPECT_GE(least_ink, 0.95);
  EXPECT_LE(most_ink, 1.2);  // round ends of the shortest lines carry a little more ink
}

// Smooth one-pixel lines are gathered and drawn together, their rows shared
// with a helper thread.  Whatever comes next (another figure, a pixel, a
// read, a file, a new size), the picture must be exactly the one the same
// lines leave when each is finished before the next: the lines cross each
// other and the picture's edges, run along rows and columns, and overlap
// in many colours, so any pixel drawn out of order, twice, or not at all
// shows.
TEST(CairoShortcuts, GatheredLinesLeaveThePixelsOfLinesDrawnOneByOne) {
  constexpr int kW = 230, kH = 170;
  auto picture = [](Canvas& c) {
    std::vector<uint32_t> p(static_cast<size_t>(c.width()) * c.height());
    EXPECT_TRUE(c.read_pixels(0, 0, c.width(), c.height(), p.data()));
    return p;
  };
  Pen crisp;
  crisp.blend = Blend::kCrisp;
  crisp.colour = {200, 10, 10};
  Brush solid{Rgb{10, 150, 10}, kBrushSolid, 0};
  const testing_support::TempFolder folder("lumo_gathered_lines");
  const std::string png = folder.file("gathered_lines.png");
  struct Next {
    const char* what;
    std::function<void(CairoCanvas&)> act;
  };
  const std::vector<Next> nexts = {
      {"nothing", [](CairoCanvas&) {}},
      {"a pixel", [](CairoCanvas& c) { c.set_pixel({40, 30}, {1, 2, 3}); }},
      {"a crisp line", [&](CairoCanvas& c) { c.line(crisp, {0, 5}, {kW, 90}); }},
      {"a rectangle", [&](CairoCanvas& c) { c.rect(crisp, solid, {30, 20}, {90, 70}); }},
      {"a polygon", [&](CairoCanvas& c) {
         const Point t[3] = {{10, 160}, {120, 10}, {220, 150}};
         c.polygon(crisp, solid, t, 3, false);
       }},
      {"text", [](CairoCanvas& c) { c.text(Font{}, {20, 90}, "Lumo 42"); }},
      {"an image", [](CairoCanvas& c) {
         const std::vector<uint32_t> img(50 * 20, 0x336699);
         c.draw_image(60, 60, 50, 20, img.data());
       }},
      {"a pixel read", [](CairoCanvas& c) {
         Rgb got;
         c.get_pixel({100, 80}, &got);
       }},
      {"a larger size", [](CairoCanvas& c) { c.resize(kW + 40, kH + 30, {255, 255, 255}); }},
      {"a PNG written and read back", [&](CairoCanvas& c) {
         ASSERT_TRUE(c.save_png(png));
         ASSERT_TRUE(c.load_png(png));
       }},
      {"a clear", [](CairoCanvas& c) { c.clear({9, 9, 9}); }},
  };
  for (const Next& next : nexts) {
    for (int count : {5, 40, 2500}) {  // alone, shared out, more than one gathering
      CairoCanvas gathered(kW, kH, {255, 255, 255}), one_by_one(kW, kH, {255, 255, 255});
      std::mt19937 random(static_cast<unsigned>(count));
      for (int i = 0; i < count; ++i) {
        auto coordinate = [&](int size) { return static_cast<int>(random() % (size + 80)) - 40; };
        Point a{coordinate(kW), coordinate(kH)}, b{coordinate(kW), coordinate(kH)};
        if (i % 7 == 0) b.y = a.y;  // along a row
        if (i % 11 == 0) b.x = a.x;  // along a column
        if (i % 13 == 0) b = {a.x + 400, a.y - 300};  // far outside
        Pen pen;
        pen.colour = {static_cast<uint8_t>(random()), static_cast<uint8_t>(random()), static_cast<uint8_t>(random())};
        gathered.line(pen, a, b);
        one_by_one.line(pen, a, b);
        one_by_one.finish();
        if (i == count / 2) {  // a pixel among the lines
          gathered.set_pixel({a.x, b.y}, {0, 0, 0});
          one_by_one.set_pixel({a.x, b.y}, {0, 0, 0});
        }
      }
      next.act(gathered);
      next.act(one_by_one);
      EXPECT_TRUE(picture(gathered) == picture(one_by_one)) << count << " lines, then " << next.what;
    }
  }
}

// A long outline drawn in slices (the server's other programs served
// between them) leaves exactly the pixels of the outline drawn at once:
// slices end only where its strokes end, and its points are taken in
// (thinned, measured) in pieces of whole runs.  The shortest slice makes
// every stroke and piece a slice of its own.
TEST(CairoShortcuts, LongOutlinesDrawnInSlicesLeaveThePixelsOfOneDrawing) {
  constexpr int kW = 320, kH = 240;
  std::mt19937 random(11);
  auto points = [&](size_t n, int spread) {
    std::vector<Point> p(n);
    for (size_t i = 0; i < n; ++i) {
      p[i] = i && spread ? Point{std::clamp(p[i - 1].x + static_cast<int>(random() % (2 * spread + 1)) - spread, -20, kW + 20),
                                 std::clamp(p[i - 1].y + static_cast<int>(random() % (2 * spread + 1)) - spread, -20, kH + 20)}
                         : Point{static_cast<int>(random() % (kW + 40)) - 20, static_cast<int>(random() % (kH + 40)) - 20};
    }
    return p;
  };
  auto pen = [](Blend blend, int width, int style) {
    Pen p;
    p.colour = {30, 60, 200};
    p.blend = blend;
    p.width = width;
    p.style = style;
    return p;
  };
  struct Case {
    const char* what;
    Pen pen;
    std::vector<Point> p;
    bool bezier;
  };
  const std::vector<Case> cases = {
      {"random, 3-pixel pen", pen(Blend::kSmooth, 3, kSolid), points(3000, 0), false},
      {"random, 25-pixel crisp pen", pen(Blend::kCrisp, 25, kSolid), points(600, 0), false},
      {"random, one pixel, laid down directly", pen(Blend::kSmooth, 1, kSolid), points(40000, 0), false},
      {"a walk, dashed", pen(Blend::kSmooth, 1, 1), points(5000, 6), false},
      {"random, one pixel, crisp", pen(Blend::kCrisp, 1, kSolid), points(3000, 0), false},
      {"a walk, one pixel, crisp and dashed", pen(Blend::kCrisp, 1, kDash), points(5000, 6), false},
      {"a walk, 4-pixel pen", pen(Blend::kSmooth, 4, kSolid), points(20000, 3), false},
      {"random Bezier curves", pen(Blend::kSmooth, 2, kSolid), points(3 * 700 + 1, 0), true},
      // Thinned in several pieces, with runs across their ends.
      {"a dense walk, 3-pixel pen", pen(Blend::kSmooth, 3, kSolid), points(90000, 1), false},
  };
  auto differing = [&](CairoCanvas& one, CairoCanvas& other, int w, int h) {
    std::vector<uint32_t> a(static_cast<size_t>(w) * h), b(static_cast<size_t>(w) * h);
    size_t differ = one.read_pixels(0, 0, w, h, a.data()) && other.read_pixels(0, 0, w, h, b.data()) ? 0 : a.size();
    for (size_t i = 0; i < a.size(); ++i) differ += a[i] != b[i];
    return differ;
  };
  for (const Case& k : cases) {
    CairoCanvas whole(kW, kH, {255, 255, 255}), sliced(kW, kH, {255, 255, 255});
    sliced.set_slice(1e-9);
    const int n = static_cast<int>(k.p.size());
    for (CairoCanvas* c : {&whole, &sliced}) {
      if (k.bezier) {
        c->bezier(k.pen, k.p.data(), n);
      } else {
        c->polyline(k.pen, k.p.data(), n);
      }
    }
    EXPECT_FALSE(whole.work_left()) << k.what;
    int slices = 1;
    while (sliced.continue_work()) ++slices;
    EXPECT_GT(slices, 2) << k.what;
    EXPECT_EQ(differing(whole, sliced, kW, kH), 0u) << k.what << " (" << slices << " slices)";
  }
  // A long outline whose points the canvas takes (a committed block's) puts
  // them on the surface in its slices, through the drawing transformation
  // as it was when the outline came: whole points under a whole-pixel move,
  // points between pixels under a scaling.
  for (const Case& k : cases) {
    if (k.bezier || k.p.size() < 40000) continue;
    for (bool between : {false, true}) {
      CairoCanvas once(kW, kH, {255, 255, 255}), taken(kW, kH, {255, 255, 255});
      taken.set_slice(1e-9);
      const Transform t = between ? Transform{1.25, 0.1, 0, 0.9, 3.5, -2} : Transform{1, 0, 0, 1, 7, -5};
      std::vector<SubPoint> at;
      for (Point q : k.p) at.push_back({q.x * 256 + static_cast<int>(random() % 256), q.y * 256 + 128});
      std::vector<Point> p = k.p;
      std::vector<SubPoint> given_at = at;
      for (CairoCanvas* c : {&once, &taken}) c->set_transform(t);
      if (between) {
        once.polyline_at(k.pen, at.data(), static_cast<int>(at.size()));
        taken.take_polyline_at(k.pen, &given_at);
      } else {
        once.polyline(k.pen, p.data(), static_cast<int>(p.size()));
        taken.take_polyline(k.pen, &p);
      }
      EXPECT_TRUE(p.size() == (between ? k.p.size() : 0) && given_at.size() == (between ? 0 : at.size())) << k.what;
      taken.set_transform(Transform{});  // another figure's, between slices
      int slices = 1;
      while (taken.continue_work()) ++slices;
      EXPECT_GT(slices, 2) << k.what;
      EXPECT_EQ(differing(once, taken, kW, kH), 0u) << k.what << (between ? ", between pixels" : "") << " (" << slices
                                            << " slices)";
    }
  }
  // A polygon of very many points is filled a few rows a slice, its outline
  // drawn after the fill, in the smooth mode and in the exact ones (an
  // inverting or xor fill drawn twice over a row would undo itself); a
  // window made smaller meanwhile is not written past.
  const struct {
    const char* what;
    Brush brush;
    Pen pen;
    bool winding, shrink;
    size_t n;
  } polygons[] = {
      {"solid brush, 3-pixel pen, winding", Brush{{200, 40, 40}, kBrushSolid, 0}, pen(Blend::kSmooth, 3, kSolid),
       true, false, 8000},
      {"half brush, no pen, alternate", Brush{{20, 140, 40}, kBrushHalf, 0}, pen(Blend::kSmooth, 1, kInvisible),
       false, false, 8000},
      {"hatched, 2-pixel pen, made smaller", Brush{{20, 40, 140}, kBrushHatched, 2}, pen(Blend::kSmooth, 2, kSolid),
       false, true, 8000},
      // The outline's points taken in its own slices.
      {"a walk of 40,000 points, one-pixel pen", Brush{{90, 90, 20}, kBrushSolid, 0}, pen(Blend::kSmooth, 1, kSolid),
       true, false, 40000},
      // The exact modes: the pixel rules' fill in slices.
      {"crisp, solid brush, one-pixel pen, winding", Brush{{200, 40, 40}, kBrushSolid, 0},
       pen(Blend::kCrisp, 1, kSolid), true, false, 8000},
      {"crisp, hatched, no pen, alternate, made smaller", Brush{{20, 40, 140}, kBrushHatched, 4},
       pen(Blend::kCrisp, 1, kInvisible), false, true, 8000},
      {"xor, half brush, dashed pen, alternate", Brush{{120, 200, 40}, kBrushHalf, 0}, pen(Blend::kXor, 1, kDash),
       false, false, 8000},
      {"inverting, a walk of 40,000 points, 3-pixel pen", Brush{{0, 0, 0}, kBrushSolid, 0},
       pen(Blend::kInvert, 3, kSolid), true, false, 40000},
  };
  bool take = false;
  for (const auto& k : polygons) {
    const std::vector<Point> p = points(k.n, k.n > 10000 ? 5 : 0);
    CairoCanvas whole(kW, kH, {255, 255, 255}), sliced(kW, kH, {255, 255, 255});
    sliced.set_slice(1e-9);
    Transform moved;  // the points are taken onto the surface
    moved.dx = 9, moved.dy = -6;
    if (!k.shrink) {
      for (CairoCanvas* c : {&whole, &sliced}) c->set_transform(moved);
    }
    whole.polygon(k.pen, k.brush, p.data(), static_cast<int>(p.size()), k.winding);
    // Every other polygon through points the canvas takes, as the server's.
    std::vector<Point> taken = p;
    take = !take;
    take ? sliced.take_polygon(k.pen, k.brush, &taken, k.winding)
         : sliced.polygon(k.pen, k.brush, p.data(), static_cast<int>(p.size()), k.winding);
    EXPECT_FALSE(whole.work_left()) << k.what;
    int slices = 1;
    if (k.shrink) {
      for (CairoCanvas* c : {&whole, &sliced}) c->resize(kW - 50, kH - 70, {255, 255, 255});
    }
    while (sliced.continue_work()) ++slices;
    EXPECT_GT(slices, 2) << k.what;
    EXPECT_EQ(differing(whole, sliced, k.shrink ? kW - 50 : kW, k.shrink ? kH - 70 : kH), 0u)
        << k.what << " (" << slices << " slices)";
  }
}

// Many Bezier curves are flattened a piece at a time as they are drawn
// (their flattened points once took gigabytes): one call of 3,000 crisp
// curves leaves the pixels of the same curves drawn a hundred at a time,
// each call flattened at once, in slices or not.
TEST(CairoShortcuts, ManyCurvesFlattenedInPiecesAreTheCurvesDrawnAFewAtATime) {
  constexpr int kW = 320, kH = 240;
  std::mt19937 random(3);
  std::vector<Point> p(3 * 3000 + 1);
  for (Point& q : p) q = {static_cast<int>(random() % kW) + kW / 4, static_cast<int>(random() % (kH + 60)) - 30};
  p[0] = {4, kH / 2};  // the outline starts alone, at the left
  p[1] = {12, kH / 2 - 9};
  Pen pen;
  pen.colour = {200, 30, 60};
  pen.blend = Blend::kCrisp;
  for (double slice : {0.0, 1e-9}) {
    CairoCanvas all(kW, kH, {255, 255, 255}), few(kW, kH, {255, 255, 255});
    all.set_slice(slice);
    all.bezier(pen, p.data(), static_cast<int>(p.size()));
    int slices = 1;
    while (all.continue_work()) ++slices;
    for (size_t first = 0; first + 1 < p.size(); first += 3 * 100) {
      const size_t n = std::min<size_t>(3 * 100 + 1, p.size() - first);
      few.bezier(pen, p.data() + first, static_cast<int>(n));
    }
    std::vector<uint32_t> a(kW * kH), b(kW * kH);
    ASSERT_TRUE(all.read_pixels(0, 0, kW, kH, a.data()) && few.read_pixels(0, 0, kW, kH, b.data()));
    size_t differ = 0, inked = 0;
    for (size_t i = 0; i < a.size(); ++i) {
      differ += a[i] != b[i];
      inked += (b[i] & 0xFFFFFF) != 0xFFFFFF;
    }
    EXPECT_GT(inked, 10000u);
    EXPECT_EQ(differ, 0u) << (slice > 0 ? "in slices" : "at once") << " (" << slices << " slices)";
    if (slice > 0) {
      EXPECT_GT(slices, 2);
    }
  }
}

// Text under a transformation that would make its glyphs hundreds of
// thousands of pixels tall is not drawn (nor measured): FreeType refuses
// such sizes, and cairo would keep the failure in the font it shares
// between all canvases, so that every later text of the server, in any
// window, drew nothing.
TEST(CairoText, AnExtremeTransformationBreaksNoLaterText) {
  CairoCanvasFactory factory;
  const Transform extremes[] = {{0.000289917, 0.00012207, 0.000595093, -14512.9, 26, 188},
                                {20000, 0, 0, 20000, 0, 0},
                                {3e5, 1, 1, 1e-4, 0, 0}};
  for (const Transform& t : extremes) {
    Font font;
    font.height = 12;
    auto odd = factory.create(100, 100, {255, 255, 255});
    odd->set_transform(t);
    odd->text(font, {1, 1}, "Ab");
    odd->measure(font, "Ab");
    for (int height : {12, 30}) {
      font.height = height;
      auto fresh = factory.create(200, 60, {255, 255, 255});
      fresh->text(font, {10, 40}, "Euro 123");
      int ink = 0;
      for (int y = 0; y < 60; ++y) {
        for (int x = 0; x < 200; ++x) {
          Rgb p;
          fresh->get_pixel({x, y}, &p);
          ink += p == Rgb{255, 255, 255} ? 0 : 1;
        }
      }
      EXPECT_GT(ink, 50) << "height " << height << " after a scale of " << t.m22;
      EXPECT_GT(fresh->measure(font, "Euro 123").width, 0) << "height " << height;
    }
  }
}
