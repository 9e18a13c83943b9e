// Keys, control requests, colours, pixels, colour files, prompts, dialogs.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "include/lumo.h"
#include "include/lumo_ref.h"
#include "tests/support/temp_folder.h"
#include "tests/unit/test_support.h"

using namespace lumo;
using namespace lumo::wire;
using testing_support::DrawTest;

namespace {

std::string slurp(const std::string& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A server with a colour table and a file dialog that answers `chosen`.
class ColourTest : public DrawTest {
 protected:
  void SetUp() override {
    DrawTest::SetUp();
    for (int e = 0; e < 36; ++e) table[e] = 0x00010101 * e;
    fake::server().handler = [this](const fake::Command& c) -> int32_t {
      unsigned char* v = window_view(c.window);
      if (c.letter == 'B' && c.arg[0] == 9) {
        write_i32(v, kArg2, table[c.arg[1]]);
        return 1;
      }
      if (c.letter == 'A' && c.arg[0] == 5) {
        set_entries.push_back({c.arg[2], c.arg[1]});
        return 1;
      }
      if (c.letter == 'B' && c.arg[0] == 13) {
        dialogs.push_back(c.data);
        if (chosen.empty()) return 0;
        std::strcpy(reinterpret_cast<char*>(v) + kDataArea, chosen.c_str());
        return 1;
      }
      return 1;
    };
  }
  int32_t table[36];
  std::vector<std::pair<int, int32_t>> set_entries;  // entry, colour
  std::vector<std::string> dialogs;
  std::string chosen;
  // Colour files of the test, in a folder of its own.
  testing_support::TempFolder folder{"lumo_colours"};
  std::string temp_path(const std::string& name) const { return folder.file(name); }
};

}  // namespace

TEST_F(DrawTest, ConsoleKeys) {
  EXPECT_EQ(LmKeyHit(), 0);
  fake::server().keys = "ab";
  EXPECT_NE(LmKeyHit(), 0);
  EXPECT_EQ(LmGetKey(0), 'a');
  int echo = 1;
  EXPECT_EQ(lmgetkey(&echo), 'b');
  EXPECT_EQ(fake::server().echoed, "b");
  EXPECT_EQ(LmGetKey(0), -1);
}

TEST_F(DrawTest, ControlRequestsSendTheirCodesAndValues) {
  hold_window(3);
  LmSelectWindow(1);
  take();
  int result = 0, a = 7, b = 8;
  LmControl4();
  LmControl4Window(3);
  lmcontrol5(&result, &a, &b);
  LmControl23(1, 2);
  LmControl26Window(3, 9);
  LmControl29(10);
  LmControl34(11);
  const auto c = take();
  ASSERT_EQ(c.size(), 7u);
  EXPECT_EQ(c[0].text(), "B!");
  EXPECT_EQ(c[0].arg[0], 4);
  EXPECT_EQ(c[1].text(), "B#");
  EXPECT_EQ(c[2].arg[0], 5);
  EXPECT_EQ(c[2].arg[1], 7);
  EXPECT_EQ(c[2].arg[2], 8);
  EXPECT_EQ(c[3].arg[0], 23);
  EXPECT_EQ(c[4].arg[0], 26);
  EXPECT_EQ(c[4].arg[1], 9);
  EXPECT_EQ(c[5].arg[0], 29);
  EXPECT_EQ(c[6].arg[0], 34);
  EXPECT_EQ(result, 1);
}

TEST_F(DrawTest, Control6ForOneOrEveryWindow) {
  hold_window(3);
  take();
  EXPECT_EQ(LmControl6(5, 1), 0);
  EXPECT_TRUE(take().empty());
  fake::server().replies = {4, 6};
  EXPECT_EQ(LmControl6(-1, 2), 6);
  auto c = take();
  ASSERT_EQ(c.size(), 2u);
  EXPECT_EQ(c[0].window, 1);
  EXPECT_EQ(c[1].window, 3);
  fake::server().replies = {0};
  EXPECT_EQ(LmControl6(-1, 2), 0);
  EXPECT_EQ(take().size(), 1u);  // window 3 is not asked after a refusal
  EXPECT_EQ(LmControl6(0, 5), 1);
  EXPECT_EQ(take()[0].window, 3);
}

TEST_F(DrawTest, ControlsWithResultWords) {
  for (int i = 1; i < 4; ++i) set_word(kResult0 + 4 * i, 100 + i);
  int a = 0, b = 0, c = 0;
  EXPECT_EQ(LmControl1(1, &a, &b, &c, 2), 1);
  EXPECT_EQ(log().back().arg[1], 64);
  EXPECT_EQ(a, 101);
  EXPECT_EQ(c, 103);
  LmControl1(1, &a, &b, &c, 7);
  EXPECT_EQ(log().back().arg[1], 7);
  LmControl1(1, &a, &b, &c, 1);
  EXPECT_EQ(log().back().arg[1], 128);

  LmControl32(1, &a, nullptr, nullptr, 9);
  EXPECT_EQ(log().back().arg[0], 32);
  EXPECT_EQ(log().back().arg[1], 9);
  EXPECT_EQ(log().back().word[2], -1);
  EXPECT_EQ(log().back().word[3], -1);
  b = 55;
  LmControl33(1, nullptr, &b, nullptr, 1);
  EXPECT_EQ(log().back().arg[0], 33);
  EXPECT_EQ(log().back().word[2], 55);

  fake::server().default_reply = 0;
  a = b = c = -7;
  EXPECT_EQ(LmControl1(1, &a, &b, &c, 3), 0);
  EXPECT_EQ(LmControl32(1, &a, &b, &c, 0), 0);
  EXPECT_EQ(a, -7);
  EXPECT_EQ(b, -7);
  EXPECT_EQ(c, -7);
}

TEST_F(DrawTest, ColourConstructors) {
  EXPECT_EQ(LmRgb(255, 0, 0), 0x020000FF);
  EXPECT_EQ(LmRgb(1, 2, 3), 0x02030201);
  EXPECT_EQ(LmRgb(256, 0, 0), -999);
  EXPECT_EQ(LmRgb(0, 0, -1), -999);
  EXPECT_EQ(LmPaletteRgb(0x00123456), 0x02123456);
  EXPECT_EQ(LmPaletteRgb(0x7F123456), 0x02123456);
  EXPECT_EQ(LmPaletteRgb(-5), -999);
  EXPECT_EQ(LmPaletteIndex(255), 0x010000FF);
  EXPECT_EQ(LmPaletteIndex(256), -999);
  EXPECT_EQ(LmPaletteIndex(-1), -999);
  int p = 0;
  EXPECT_EQ(lmlastpaletteentry(&p), 35);
  EXPECT_EQ(p, 35);
  int r = 0, g = 0, b = 0;
  EXPECT_EQ(lmrgb(&r, &g, &b), 0x02000000);
  EXPECT_EQ(LmSysColour(21), -999);
  EXPECT_EQ(LmSysColour(-1), -999);
  EXPECT_EQ(LmSysColour(2), 0x00020406);
}

TEST_F(ColourTest, PaletteReplyIsDecodedFromTheSecondWord) {
  table[20] = 0x00FF8040;
  int r = 0, g = 0, b = 0;
  EXPECT_EQ(LmGetPaletteEntry(20, &r, &g, &b), 1);
  EXPECT_EQ(r, 255);
  EXPECT_EQ(g, 128);
  EXPECT_EQ(b, 64);
  table[21] = 0x01000000;  // red would be 256: not a colour
  EXPECT_EQ(LmGetPaletteEntry(21, &r, &g, &b), 0);
  fake::server().handler = nullptr;
  fake::server().default_reply = 0;
  r = -1;
  EXPECT_EQ(LmGetPaletteEntry(20, &r, nullptr, nullptr), 0);
  EXPECT_EQ(r, -1);
}

TEST_F(ColourTest, SaveThenLoadRestoresTheUserEntries) {
  table[20] = 0x00FF8040;
  chosen = temp_path("round.clr");
  EXPECT_EQ(LmSaveColours(nullptr), 16);
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0], "*.clr");
  const std::string text = slurp(chosen);
  EXPECT_EQ(text.substr(0, 11), "0x004080ff\n");
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 16);

  EXPECT_EQ(LmLoadColours(chosen.c_str()), 16);
  EXPECT_EQ(dialogs.size(), 1u);  // an existing file needs no dialog
  ASSERT_EQ(set_entries.size(), 16u);
  EXPECT_EQ(set_entries[0].first, 20);
  EXPECT_EQ(set_entries[0].second, 0x024080FF);
  // Entry 21 was 0x00151515 in the table (red in bits 16..23).
  EXPECT_EQ(set_entries[1].second, 0x02151515);
  EXPECT_EQ(set_entries[15].first, 35);
}

TEST_F(ColourTest, LoadOfAMissingNameAsksWithThatName) {
  const std::string missing = temp_path("missing.clr");
  std::remove(missing.c_str());
  EXPECT_EQ(LmLoadColours(missing.c_str()), 0);
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0], missing);
  EXPECT_TRUE(set_entries.empty());
}

// Colour files written by hand: values are read one after another whatever
// white space separates them; a short file loads what it has, and text that
// is not a value stops the reading without touching the entries after it.
TEST_F(ColourTest, HandWrittenFilesAreReadValueByValue) {
  std::string sixteen_lines, one_line, double_spaced;
  for (int i = 0; i < 16; ++i) {
    char v[16];
    std::snprintf(v, sizeof v, "0x%8.8x", 0x10101 * i);
    sixteen_lines += std::string(v) + "\n";
    one_line += std::string(v) + (i % 2 ? "\t" : " ");
    double_spaced += std::string(v) + "\r\n\r\n";
  }
  const struct {
    const char* name;
    std::string text;
    int loaded;
  } files[] = {
      {"as saved", sixteen_lines, 16},
      {"blank line first", "\n" + sixteen_lines, 16},
      {"double spaced", double_spaced, 16},
      {"all on one line", one_line, 16},
      {"without 0x, mixed case", "ff FF00 +a0B0c0 0X1\n", 4},
      {"seventeen values", sixteen_lines + "0x00abcdef\n", 16},
      {"stops at text", "0x000000ff\nnot a colour\n0x0000ff00\n", 1},
      {"stops at a comma", "12,34\n", 1},
      {"too long keeps the low bits", "0x123456789\n", 1},
      {"empty", "", 0},
      {"only blanks", " \n\n\t\n", 0},
  };
  const std::string path = temp_path("hand.clr");
  for (const auto& file : files) {
    set_entries.clear();
    std::ofstream(path, std::ios::binary) << file.text;
    EXPECT_EQ(LmLoadColours(path.c_str()), file.loaded) << file.name;
    if (set_entries.size() != static_cast<size_t>(file.loaded)) {
      ADD_FAILURE() << file.name << ": " << set_entries.size() << " entries set";
      continue;
    }
    for (int i = 0; i < file.loaded; ++i) EXPECT_EQ(set_entries[i].first, 20 + i) << file.name;
    // The C library's own "%x" reading of the same file gives the same values.
    FILE* f = std::fopen(path.c_str(), "r");
    unsigned v = 0;
    for (int i = 0; i < 16 && std::fscanf(f, "%x", &v) == 1; ++i) {
      EXPECT_LT(i, file.loaded) << file.name;
      if (i >= file.loaded) break;
      EXPECT_EQ(set_entries[i].second, static_cast<int>(0x02000000 | (v & 0xFFFFFF))) << file.name;
    }
    std::fclose(f);
    if (file.loaded == 16) {
      for (int i = 0; i < 16; ++i) EXPECT_EQ(set_entries[i].second, 0x02000000 | 0x10101 * i) << file.name;
    }
  }
  std::ofstream(path) << "ff FF00 +a0B0c0 0X1 12,34 0x123456789";
  set_entries.clear();
  EXPECT_EQ(LmLoadColours(path.c_str()), 5);
  const int expected[] = {0x020000FF, 0x0200FF00, 0x02A0B0C0, 0x02000001, 0x02000012};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(set_entries[i].second, expected[i]) << i;
  std::ofstream(path) << "0x123456789";
  set_entries.clear();
  EXPECT_EQ(LmLoadColours(path.c_str()), 1);
  EXPECT_EQ(set_entries[0].second, 0x02456789);
}

TEST_F(ColourTest, RefusedDialogOrUnwritableFileSavesNothing) {
  EXPECT_EQ(LmSaveColours("x.clr"), 0);  // dialog refused
  chosen = "/nonexistent/dir/x.clr";
  EXPECT_EQ(LmSaveColours("x.clr"), 0);
  EXPECT_EQ(dialogs[1], "x.clr");
  // An empty answer, or only a filter, is a cancel: no file named "*.clr".
  const std::string filter_dir = temp_path("colours_filter");
  mkdir(filter_dir.c_str(), 0700);
  for (const std::string& answer : {std::string(), std::string("*.clr"), filter_dir + "/*.clr", filter_dir + "/"}) {
    chosen = answer.empty() ? std::string("\0", 1) : answer;
    EXPECT_EQ(LmSaveColours(nullptr), 0) << answer;
  }
  std::remove((filter_dir + "/*.clr").c_str());
  EXPECT_NE(rmdir(filter_dir.c_str()), -1) << "a file was written";
  EXPECT_EQ(std::fopen("*.clr", "r"), nullptr);
}

TEST_F(ColourTest, TwinsHaveTheirOwnBlankNameRules) {
  int result = 0;
  char blanks[8] = {' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
  lmsavecolours(&result, blanks, 8);
  EXPECT_EQ(dialogs.back(), "*.clr");
  lmloadcolours(&result, blanks, 8);
  EXPECT_EQ(dialogs.back(), "");
  lmloadcolours(&result, nullptr, 0);
  EXPECT_EQ(dialogs.back(), "*.clr");
  EXPECT_EQ(result, 0);
}

TEST_F(DrawTest, PixelsAreAddressedThroughTheCurrentMapping) {
  set_word(kPixelMode, 1);
  EXPECT_EQ(LmSetPixel(10.4f, 20.6f, 0x020000ff), 1);
  auto c = take()[0];
  EXPECT_EQ(c.arg[0], 19);
  EXPECT_EQ(c.arg[1], 10);
  EXPECT_EQ(c.arg[2], 21);
  EXPECT_EQ(c.word[0], 0x020000ff);
  set_word(kResult0, 0x00123456);
  EXPECT_EQ(LmGetPixel(1, 2), 0x00123456);
  c = take()[0];
  EXPECT_EQ(c.bytes, std::string("F!\0", 3));
  EXPECT_EQ(c.arg[0], 1);
  EXPECT_EQ(c.arg[1], 2);
  fake::server().default_reply = 0;
  EXPECT_EQ(LmGetPixel(1, 2), -1);
  EXPECT_EQ(LmSetPixel(1, 2, 3), 0);
}

TEST_F(DrawTest, AskStringFitsOnlyWithRoomForTheTerminator) {
  fake::server().handler = [](const fake::Command& c) {
    if (c.arg[0] == 14) std::strcpy(window_data(1), "abcde");
    return 1;
  };
  char buf[8];
  std::memset(buf, '#', sizeof buf);
  EXPECT_EQ(LmAskString("Name?", buf, 5), 0);
  EXPECT_EQ(buf[0], '#');
  EXPECT_EQ(log()[0].data, "Name?");
  EXPECT_EQ(LmAskString("Name?", buf, 6), 5);
  EXPECT_STREQ(buf, "abcde");
  EXPECT_EQ(LmAskString("Name?", buf, 0), 0);
  EXPECT_EQ(LmAskString("Name?", buf, -3), 0);

  int result = 99;
  char answer[10];
  char prompt[] = "Name?   ";
  EXPECT_EQ(lmaskstring(&result, prompt, answer, 8, 10), 5);
  EXPECT_EQ(std::string(answer, 10), "abcde     ");
  EXPECT_EQ(log().back().data, "Name?");
  result = 99;
  EXPECT_EQ(lmaskstring(&result, prompt, answer, 8, 5), 0);
  EXPECT_EQ(result, 99);
}

// An empty answer: the C caller gets an empty string, the Fortran caller a
// blank one; a refusal leaves either buffer alone.
TEST_F(DrawTest, EmptyAnswersAreEmptyOrBlankAndRefusalsWriteNothing) {
  int reply = 1;
  fake::server().handler = [&](const fake::Command& c) {
    if (c.arg[0] == 14) window_data(1)[0] = '\0';
    return reply;
  };
  char buf[6] = "#####";
  EXPECT_EQ(LmAskString("Name?", buf, 6), 0);
  EXPECT_STREQ(buf, "");
  int result = 99;
  char prompt[] = "Name?";
  char answer[6] = {'#', '#', '#', '#', '#', '#'};
  EXPECT_EQ(lmaskstring(&result, prompt, answer, 5, 6), 0);
  EXPECT_EQ(std::string(answer, 6), "      ");
  reply = 0;
  std::memcpy(answer, "######", 6);
  std::memcpy(buf, "#####", 6);
  EXPECT_EQ(LmAskString("Name?", buf, 6), 0);
  EXPECT_EQ(lmaskstring(&result, prompt, answer, 5, 6), 0);
  EXPECT_STREQ(buf, "#####");
  EXPECT_EQ(std::string(answer, 6), "######");
}

// A server that cannot show dialogs says so in the result word: the
// program's user is told once on stderr, and messages are printed there.
TEST_F(DrawTest, WithoutDialogsTheUserIsToldOnceAndMessagesArePrinted) {
  fake::server().handler = [](const fake::Command& c) {
    write_i32(window_view(1), kResult0, kNoDialog);
    return c.arg[0] == 2 ? 1 : 0;
  };
  testing::internal::CaptureStderr();
  char buf[8] = "*.txt";
  EXPECT_EQ(LmAskString("Name?", buf, 8), 0);
  EXPECT_EQ(LmChooseFile(buf, 8), 0);
  EXPECT_EQ(LmAsk("Go on?"), 0);
  EXPECT_EQ(LmMessage("Done drawing."), 1);
  EXPECT_EQ(LmSaveColours(nullptr), 0);
  const std::string said = testing::internal::GetCapturedStderr();
  const std::string notice = "cannot show dialogs";
  ASSERT_NE(said.find(notice), std::string::npos) << said;
  EXPECT_EQ(said.find(notice, said.find(notice) + 1), std::string::npos) << said;
  EXPECT_NE(said.find("\nDone drawing.\n"), std::string::npos) << said;
  // A refusal by the user is not a missing dialog.
  fake::server().handler = [](const fake::Command&) {
    write_i32(window_view(1), kResult0, 0);
    return 0;
  };
  testing::internal::CaptureStderr();
  EXPECT_EQ(LmAskString("Name?", buf, 8), 0);
  EXPECT_EQ(LmMessage("Shown."), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST_F(DrawTest, ChooseFileReportsPathsThatDoNotFit) {
  std::string path = "/tmp/a/b/c/file.txt1";  // 20 characters
  fake::server().handler = [&](const fake::Command& c) {
    if (c.arg[0] == 13) std::strcpy(window_data(1), path.c_str());
    return 1;
  };
  char buf[40] = "*.txt";
  EXPECT_EQ(LmChooseFile(buf, 10), -20);
  EXPECT_STREQ(buf, "*.txt");
  EXPECT_EQ(log()[0].data, "*.txt");
  EXPECT_EQ(LmChooseFile(buf, -1), -20);
  EXPECT_EQ(LmChooseFile(buf, 21), 20);
  EXPECT_EQ(std::string(buf), path);

  path = "/tmp/x/a.txt";  // 12 characters
  int result = 0;
  char padded[40];
  std::memset(padded, ' ', sizeof padded);
  EXPECT_EQ(lmchoosefile(&result, padded, 40), 12);
  EXPECT_EQ(std::string(padded, 40), path + std::string(28, ' '));
  fake::server().handler = nullptr;
  fake::server().default_reply = 0;
  EXPECT_EQ(LmChooseFile(buf, 40), 0);
  EXPECT_EQ(lmchoosefile(&result, padded, 40), 0);
  EXPECT_EQ(result, 0);
}

TEST_F(DrawTest, DrawingFilesAskOnlyWhenTheNameDoesNotOpen) {
  std::string chosen = "/tmp/chosen.lmd";
  fake::server().handler = [&](const fake::Command& c) {
    if (c.arg[0] == 13) std::strcpy(window_data(1), chosen.c_str());
    return 1;
  };
  LmDrawingFile(4, nullptr);
  auto c = take();
  ASSERT_EQ(c.size(), 2u);
  EXPECT_EQ(c[0].arg[0], 13);
  EXPECT_EQ(c[0].data, "*.lmd");
  EXPECT_EQ(c[1].arg[0], 11);
  EXPECT_EQ(c[1].arg[1], 4);
  // Only the filter back from the dialog names no file: nothing is sent.
  chosen = "*.lmd";
  EXPECT_EQ(LmDrawingFile(4, nullptr), 0);
  EXPECT_EQ(take().size(), 1u);
  fake::server().handler = nullptr;
  fake::server().default_reply = 1;

  testing_support::TempFolder files("lumo_drawing_file");
  const std::string existing = files.file("drawing.lmd");
  std::ofstream(existing) << "x";
  EXPECT_EQ(LmDrawingFile(5, existing.c_str()), 1);
  c = take();
  ASSERT_EQ(c.size(), 1u);
  EXPECT_EQ(c[0].arg[0], 11);
  EXPECT_EQ(c[0].data, existing);

  fake::server().default_reply = 0;
  EXPECT_EQ(LmDrawingFile(5, "/nonexistent.lmd"), 0);
  EXPECT_EQ(take().size(), 1u);  // the refused dialog ends it
}

TEST_F(DrawTest, WindowTexts) {
  LmWindowText("abc");
  auto c = take()[0];
  EXPECT_EQ(c.arg[0], 12);
  EXPECT_EQ(c.arg[1], 0);
  EXPECT_EQ(c.arg[2], 0);
  EXPECT_EQ(c.word[0], 0);
  EXPECT_EQ(c.word[1], 0);
  EXPECT_EQ(c.data, "abc");
  int result = 0, a = 1, b = 2, cc = 3, d = 4;
  char text[] = "label   ";
  EXPECT_EQ(lmwindowtextex(&result, &a, &b, &cc, &d, text, 8), 1);
  c = take()[0];
  EXPECT_EQ(c.word[0], 1);
  EXPECT_EQ(c.word[1], 2);
  EXPECT_EQ(c.arg[1], 3);
  EXPECT_EQ(c.arg[2], 4);
  EXPECT_EQ(c.data, "label");
}
