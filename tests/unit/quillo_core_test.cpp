// The launcher's pure rules: settings text, command lines, output trimming,
// and its Shift-JIS texts.
#include "quillo_core.h"
#include "texts_sjis.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

struct Settings {
  std::string path;
  std::string dir_text;
};

Settings settings(const std::string& bytes) {
  char path[quillo::kPathCapacity];
  char dir[quillo::kPathCapacity];
  std::memset(path, 'x', sizeof path);
  std::memset(dir, 'x', sizeof dir);
  quillo::settings_from_bytes(bytes.data(), bytes.size(), path, dir, sizeof path);
  return {path, dir};
}

// The first line is the path, without its line end (CR LF, LF, CR or none)
// and with everything else as it stands; the folder is made from the same.
TEST(QuilloSettings, ThePathIsTheFirstLineWithoutItsLineEnd) {
  const struct { std::string bytes, path; } cases[] = {
      {"C:\\MinGW\\bin\\gcc.exe\r\n", "C:\\MinGW\\bin\\gcc.exe"},
      {"C:\\MinGW\\bin\\gcc.exe\n", "C:\\MinGW\\bin\\gcc.exe"},
      {"C:\\MinGW\\bin\\gcc.exe", "C:\\MinGW\\bin\\gcc.exe"},
      {"C:\\MinGW\\bin\\gcc.exe\r\n\r\n", "C:\\MinGW\\bin\\gcc.exe"},
      {"C:\\MinGW\\bin\\gcc.exe\n\n", "C:\\MinGW\\bin\\gcc.exe"},
      {"C:\\MinGW\\bin\\gcc.exe\r", "C:\\MinGW\\bin\\gcc.exe"},
      {" C:\\Program Files\\gcc.exe \r\nnotes\\x\r\n", " C:\\Program Files\\gcc.exe "},
      {"\r\n", ""},
      {"", ""},
      {"g", "g"},
  };
  for (const auto& c : cases) {
    const Settings s = settings(c.bytes);
    EXPECT_EQ(s.path, c.path) << c.bytes;
    EXPECT_EQ(s.dir_text, c.path) << c.bytes;
  }
}

TEST(QuilloSettings, LongFilesStopAtTheBufferCapacity) {
  const std::string long_path(1000, 'a');
  const Settings s = settings(long_path + "\r\n");
  EXPECT_EQ(s.path.size(), quillo::kPathCapacity - 1);
  EXPECT_EQ(s.dir_text.size(), quillo::kPathCapacity - 1);
}

TEST(QuilloSettings, TextEndsAtAnEmbeddedNul) {
  EXPECT_EQ(settings(std::string("C:\\gcc.exe\0junk\r\n", 17)).path, "C:\\gcc.exe");
}

std::string compile_command(const char* compiler, const char* exe, const char* source,
                            std::size_t capacity = quillo::kTextCapacity) {
  std::vector<char> out(capacity ? capacity : 1, '#');
  const int n = quillo::build_compile_command(out.data(), capacity, compiler, exe, source);
  if (n < 0) return "<none>";
  EXPECT_EQ(static_cast<std::size_t>(n), std::strlen(out.data()));
  return out.data();
}

TEST(QuilloCommands, CompileCommandQuotesEveryPath) {
  EXPECT_EQ(compile_command("C:\\MinGW\\bin\\gcc.exe", "C:\\work\\test", "C:\\work\\test.c"),
            "\"C:\\MinGW\\bin\\gcc.exe\" -s -w -W -Wall -O -o \"C:\\work\\test\" "
            "\"C:\\work\\test.c\" -Wl,--subsystem,console -lLumo -mwindows");
  EXPECT_EQ(compile_command("C:\\Program Files\\MinGW\\bin\\gcc.exe", "C:\\my work\\a b",
                            "C:\\my work\\a b.c"),
            "\"C:\\Program Files\\MinGW\\bin\\gcc.exe\" -s -w -W -Wall -O -o \"C:\\my work\\a b\" "
            "\"C:\\my work\\a b.c\" -Wl,--subsystem,console -lLumo -mwindows");
}

TEST(QuilloCommands, NoFileChosenGivesEmptyArguments) {
  EXPECT_EQ(compile_command("gcc", "", ""),
            "\"gcc\" -s -w -W -Wall -O -o \"\" \"\" -Wl,--subsystem,console -lLumo -mwindows");
}

TEST(QuilloCommands, TrailingBackslashesCannotEscapeTheClosingQuote) {
  char out[64] = "x";
  std::size_t n = 1;
  ASSERT_TRUE(quillo::append_quoted(out, sizeof out, &n, "C:\\dir\\"));
  EXPECT_STREQ(out, "x\"C:\\dir\\\\\"");
  EXPECT_EQ(n, std::strlen(out));
}

TEST(QuilloCommands, TextsThatDoNotFitAreRefusedWhole) {
  // The formatted text is limited to 1,024 bytes, whatever the buffer.
  const std::string long_dir(400, 'd');
  EXPECT_EQ(compile_command(long_dir.c_str(), long_dir.c_str(), long_dir.c_str()), "<none>");
  EXPECT_EQ(compile_command("gcc", "a", "a.c", 20), "<none>");
  EXPECT_EQ(compile_command("gcc", "a", "a.c", 0), "<none>");

  char out[8] = "abc";
  std::size_t n = 3;
  EXPECT_FALSE(quillo::append_quoted(out, sizeof out, &n, "toolong"));
  EXPECT_STREQ(out, "abc");
  EXPECT_EQ(n, 3u);
}

TEST(QuilloCommands, RunParametersQuoteTheProgramTwice) {
  char out[quillo::kFormatLimit];
  ASSERT_GT(quillo::build_run_parameters(out, sizeof out, "C:\\work\\test"), 0);
  EXPECT_STREQ(out, "cmd /S /K \"\"C:\\work\\test.exe\"\"");
  ASSERT_GT(quillo::build_run_parameters(out, sizeof out, "C:\\my work\\a b"), 0);
  EXPECT_STREQ(out, "cmd /S /K \"\"C:\\my work\\a b.exe\"\"");
  char small[10];
  EXPECT_EQ(quillo::build_run_parameters(small, sizeof small, "C:\\work\\test"), -1);
  EXPECT_STREQ(small, "");
}

TEST(QuilloOutput, TheFinalLineEndIsDroppedAndTheTextCapped) {
  EXPECT_EQ(quillo::shown_output_length(0), 0u);
  EXPECT_EQ(quillo::shown_output_length(1), 0u);
  EXPECT_EQ(quillo::shown_output_length(2), 0u);
  EXPECT_EQ(quillo::shown_output_length(3), 1u);
  EXPECT_EQ(quillo::shown_output_length(65537), 65535u);
  EXPECT_EQ(quillo::shown_output_length(65538), 65535u);
  EXPECT_EQ(quillo::shown_output_length(1u << 20), 65535u);
}

std::string from_cp932(const char* bytes) {
  iconv_t cd = iconv_open("UTF-8", "CP932");
  if (cd == reinterpret_cast<iconv_t>(-1)) return "<no converter>";
  std::string in(bytes);
  std::string out(in.size() * 4 + 4, '\0');
  char* src = in.data();
  char* dst = out.data();
  std::size_t left = in.size();
  std::size_t room = out.size();
  const std::size_t r = iconv(cd, &src, &left, &dst, &room);
  iconv_close(cd);
  if (r == static_cast<std::size_t>(-1)) return "<invalid>";
  out.resize(out.size() - room);
  return out;
}

TEST(QuilloTexts, JapaneseTextsAreShiftJis) {
  EXPECT_EQ(from_cp932(kDropPrompt), "ここにファイルを\nドラッグしてください");
  EXPECT_EQ(from_cp932(kExtensionWarning),
            "ファイルの拡張子が.c以外です\n保存するときに.cにして保存してください");
  EXPECT_EQ(from_cp932(kOpenDialogTitle), "ファイルを開く");
  EXPECT_EQ(from_cp932(kUiFace), "ＭＳ ゴシック");
}

}  // namespace

// The captured output is opened again while it is locked, for a bounded
// time; a missing file or any other error is reported at once.
TEST(QuilloCore, ALockedOutputIsOpenedAgainForAWhile) {
  struct Case { unsigned long error, waited; bool again; } cases[] = {
      {32, 0, true}, {32, 1950, true}, {32, 2000, false},  // sharing violation
      {33, 100, true}, {5, 100, true},                     // lock, access denied
      {2, 0, false}, {3, 0, false},                        // no such file or folder
  };
  for (const Case& c : cases) {
    EXPECT_EQ(quillo::retry_output_open(c.error, c.waited), c.again) << c.error << " after " << c.waited;
  }
}
