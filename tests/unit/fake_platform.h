// An in-process stand-in for the operating system and the server.
//
// The "server window" is this object: sending a command calls it
// synchronously (as SendMessage does for a window of the same thread).  It
// owns the named blocks as plain memory, records every command with its
// argument words and data area, and answers from a script.
#ifndef LUMO_TESTS_FAKE_PLATFORM_H
#define LUMO_TESTS_FAKE_PLATFORM_H

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "lib/platform/platform.h"

namespace fake {

struct Command {
  std::string bytes;   // exactly the bytes sent
  char letter = 0;
  int window = -1;     // window commands only
  int32_t arg[3] = {0, 0, 0};
  int32_t word[4] = {0, 0, 0, 0};  // words 240..252
  std::string data;    // data area as a string (up to its NUL)
  std::string raw_data;  // the whole 2048-byte data area
  int32_t changed = 0;   // the changed-attributes word
  bool posted = false;   // posted rather than sent
  size_t posted_bytes = 0;  // how much of the block came with it
  std::string text() const { return std::string(bytes.c_str()); }
};

struct Server {
  std::map<std::string, std::vector<unsigned char>> blocks;
  lumo::platform::ServerWindow window = 4242;
  bool alive = true;
  bool die_on_send = false;     // the next send finds the server gone
  bool take_posts = false;      // drawing that needs no answer may be posted
  std::vector<Command> log;
  std::deque<int32_t> replies;  // answered in order, then default_reply
  int32_t default_reply = 1;
  std::function<int32_t(const Command&)> handler;  // when set, answers instead
  // A connection that carries each command's answer text to its program:
  // the handler sets `answer` (cleared before every command).
  bool answers_direct = false;
  std::string answer;
  std::vector<void*> released;
  bool fail_release = false;
  unsigned long error = 0;
  std::vector<std::pair<std::string, unsigned>> boxes;
  int box_answer = lumo::platform::kAnswerOk;

  // The program and its environment.
  std::string module_path = "/opt/app/prog";
  std::string command_line = "prog";
  std::string current_directory = "/home/user";
  std::map<std::string, std::string> env;
  std::vector<std::string> files;  // paths that exist
  std::vector<std::string> probed;  // paths looked for, in order
  bool own_file_is_pe = false;
  int32_t code_page = 1252;
  int32_t screen_width = 1280;
  int32_t screen_height = 1024;

  // Starting the server: every launch with the path found and the switches;
  // on_launch (when set) plays the new server's part.
  struct Launch {
    std::string path;
    std::string switches;
  };
  std::vector<Launch> launches;
  std::function<void()> on_launch;

  std::string keys;    // console keys waiting
  std::string echoed;  // keys read with echo
  std::vector<int> sleeps;  // every sleep_ms, in milliseconds
  std::string installed_dir;  // installed_server_dir()


  unsigned char* add_block(const std::string& name, size_t size);
  unsigned char* block(const std::string& name);
  // Server block "LumoView<n>" holding `header`.
  unsigned char* add_server(int n, const std::string& header, size_t size = 4096);
  // Window block "LumoView<n>:<w>".
  unsigned char* add_window(int n, int w);
  // Commands sent with the given letter.
  std::vector<Command> sent(char letter) const;
};

Server& server();
// A fresh server and a fresh link state.
void reset();

}  // namespace fake

#endif
