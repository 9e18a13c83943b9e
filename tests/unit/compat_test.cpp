// The program-kind walk over real PE files, and library information.
#include <cstdio>
#include <fstream>
#include <iterator>

#include "include/lumo.h"
#include "include/lumo_ref.h"
#include "lib/window/compat.h"
#include "tests/support/temp_folder.h"
#include "tests/unit/test_support.h"

using namespace lumo;
using testing_support::LinkTest;

namespace {

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class PeWalkTest : public LinkTest {
 protected:
  void SetUp() override {
    LinkTest::SetUp();
    g_link.gui_messages = false;
#ifndef LUMO_TEST_PE_DIR
    GTEST_SKIP() << "no MinGW toolchain: no PE files to read";
#endif
  }
  std::string pe(const char* name) {
#ifdef LUMO_TEST_PE_DIR
    return std::string(LUMO_TEST_PE_DIR) + "/" + name;
#else
    return name;
#endif
  }
  std::string write_temp(const std::string& name, const std::string& bytes) {
    const std::string path = folder_.file(name);
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  testing_support::TempFolder folder_{"lumo_pe_files"};
};

}  // namespace

TEST_F(PeWalkTest, ConsoleAndGuiProgramsOfBothArchitectures) {
  EXPECT_FALSE(pe_file_is_gui(pe("console32.exe").c_str()));
  EXPECT_TRUE(pe_file_is_gui(pe("gui32.exe").c_str()));
  EXPECT_FALSE(pe_file_is_gui(pe("console64.exe").c_str()));
  EXPECT_TRUE(pe_file_is_gui(pe("gui64.exe").c_str()));
}

TEST_F(PeWalkTest, OnlyAPeProgramIsWalked) {
  fake::server().own_file_is_pe = false;
  EXPECT_FALSE(detect_gui_program(pe("gui32.exe").c_str()));
  fake::server().own_file_is_pe = true;
  EXPECT_TRUE(detect_gui_program(pe("gui32.exe").c_str()));
}

TEST_F(PeWalkTest, UnreadableTruncatedAndCorruptFilesEndTheProgram) {
  const std::string good = read_file(pe("console32.exe"));
  ASSERT_GT(good.size(), 512u);

  EXPECT_EXIT(pe_file_is_gui("/no/such/file.exe"), ::testing::ExitedWithCode(1),
              "^Could not open /no/such/file\\.exe \\[err=2\\]\\.\n$");

  const std::string short_file = write_temp("short.exe", good.substr(0, 100));
  EXPECT_EXIT(pe_file_is_gui(short_file.c_str()), ::testing::ExitedWithCode(1),
              "^Read the wrong number of bytes, expected 64, got 36\\.\n$");

  std::string not_mz = good;
  not_mz[0] = 'Z';
  const std::string not_mz_file = write_temp("notmz.exe", not_mz);
  EXPECT_EXIT(pe_file_is_gui(not_mz_file.c_str()), ::testing::ExitedWithCode(1),
              "^Sorry, I do not understand the file .*notmz\\.exe\\.\n$");

  std::string no_pe = good;
  const uint32_t pe_offset = static_cast<unsigned char>(good[60]) |
                             static_cast<unsigned char>(good[61]) << 8;
  no_pe[pe_offset] = 'X';
  const std::string no_pe_file = write_temp("nope.exe", no_pe);
  EXPECT_EXIT(pe_file_is_gui(no_pe_file.c_str()), ::testing::ExitedWithCode(1),
              "^Missing NT signature\\. Unknown file type\\.\n$");

  const std::string headers_cut = write_temp("cut.exe", good.substr(0, pe_offset + 4 + 20 + 100));
  EXPECT_EXIT(pe_file_is_gui(headers_cut.c_str()), ::testing::ExitedWithCode(1),
              "^Read the wrong number of bytes, expected 224, got 100\\.\n$");
}

TEST_F(LinkTest, LibraryInformation) {
  char buf[100];
  EXPECT_EQ(LmLibraryInfo(1, buf, 9), -8);
  EXPECT_EQ(LmLibraryInfo(1, buf, 10), 8);
  EXPECT_STREQ(buf, "0,9,9,9b");
  EXPECT_EQ(LmLibraryInfo(6, buf, 100), 0);
  EXPECT_EQ(LmLibraryInfo(-1, buf, 100), 0);
  EXPECT_EQ(LmLibraryInfo(0, buf, 100), 1);
  EXPECT_STREQ(buf, "5");
  EXPECT_EQ(LmLibraryInfo(4, buf, 100), 49);
  EXPECT_EQ(LmLibraryInfo(5, buf, 100), 10);
  EXPECT_STREQ(buf, "1116263465");

  int result = 0;
  int item = 2;
  char padded[20];
  EXPECT_EQ(lmlibraryinfo(&result, &item, padded, 20), 16);
  EXPECT_EQ(std::string(padded, 20), "Version  0.99.9b    ");
  item = 3;
  std::memset(padded, '#', sizeof padded);
  EXPECT_EQ(lmlibraryinfo(&result, &item, padded, 20), -28);
  EXPECT_EQ(padded[0], '#');
}
