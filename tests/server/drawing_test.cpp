// Drawing in the server core: what a command reads of the window block, and
// the pixel rules the canvases share.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "common/block_access.h"
#include "common/lumo_wire.h"
#include "server/canvas/ansi_text.h"
#include "tests/server/server_fixture.h"

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
  for (int32_t code = 0; code < 64; ++code) {
    bool covered = false;
    for (const DrawStep& s : steps) covered = covered || s.code == code;
    EXPECT_EQ(covered, draw_needs_no_answer(code)) << "drawing code " << code;
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

// Everything drawn after a translation is set moves with it, single pixels
// included: window 2 draws under a translation of (104, 48) exactly what
// window 1 draws without one, moved (hatches stay anchored on the surface,
// so the move is a whole number of their tiles).
TEST_F(ServerCoreTest, EverythingDrawnUnderATranslationMoves) {
  ASSERT_EQ(text("I,1,300,200,-1,-1,-1,"), 1);
  ASSERT_EQ(text("I,2,300,200,-1,-1,-1,"), 2);
  words(2, 65536, 0, 0, 65536);
  ASSERT_EQ(command(2, 'A', kDrawTransform, 104, 48), 1);
  for (const DrawStep& s : every_posted_drawing()) {
    if (s.code == kDrawText || s.code == kDrawSymbol) continue;  // glyphs may hint differently
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
      // Curves may round their anti-aliased edge a shade differently.
      differing += std::abs(c.r - moved.r) + std::abs(c.g - moved.g) + std::abs(c.b - moved.b) > 24;
    }
  }
  EXPECT_GT(ink, 500);
  EXPECT_EQ(differing, 0);
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
  };
  for (const Case& c : cases) {
    set_ansi_code_page(c.code_page);
    EXPECT_EQ(to_utf8(c.in), c.out) << c.code_page << " " << c.in;
  }
  set_ansi_code_page(1252);
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
