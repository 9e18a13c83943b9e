#include "tests/unit/fake_platform.h"

#include <cstdio>
#include <cstring>
#include <algorithm>

#include "lib/link/link.h"

namespace fake {
namespace {
Server* g_server = nullptr;
}

Server& server() {
  if (!g_server) g_server = new Server();
  return *g_server;
}

void reset() {
  delete g_server;
  g_server = new Server();
  lumo::reset_link_state();
}

unsigned char* Server::add_block(const std::string& name, size_t size) {
  blocks[name].assign(size, 0);
  return blocks[name].data();
}

unsigned char* Server::block(const std::string& name) {
  auto it = blocks.find(name);
  return it == blocks.end() ? nullptr : it->second.data();
}

unsigned char* Server::add_server(int n, const std::string& header, size_t size) {
  unsigned char* b = add_block("LumoView" + std::to_string(n), size);
  std::memcpy(b, header.c_str(), header.size() + 1);
  return b;
}

unsigned char* Server::add_window(int n, int w) {
  return add_block("LumoView" + std::to_string(n) + ":" + std::to_string(w),
                   lumo::wire::kWindowBlockSize);
}

std::vector<Command> Server::sent(char letter) const {
  std::vector<Command> out;
  for (const Command& c : log)
    if (c.letter == letter) out.push_back(c);
  return out;
}

}  // namespace fake

namespace lumo::platform {

void* open_shared_block(const char* name, size_t* size) {
  auto& blocks = fake::server().blocks;
  auto it = blocks.find(name);
  if (it == blocks.end()) return nullptr;
  if (size) *size = it->second.size();
  return it->second.data();
}

bool release_shared_block(void* view) {
  fake::server().released.push_back(view);
  if (fake::server().fail_release) {
    fake::server().error = 5;
    return false;
  }
  return true;
}

bool server_window_exists(ServerWindow window) {
  return window != 0 && window == fake::server().window && fake::server().alive;
}

bool ready_for_command(ServerWindow window) { return server_window_exists(window); }

namespace {

// A command as the server sees it: its bytes and the window block it reads
// (`block_bytes` of them, the rest of the data area left blank).
fake::Command record_command(const CopyData* record, const unsigned char* block,
                             size_t block_bytes) {
  fake::Command c;
  c.bytes.assign(static_cast<const char*>(record->data), record->size);
  c.letter = c.bytes.empty() ? 0 : c.bytes[0];
  if (record->size == wire::kWindowCommandLength) {
    c.window = static_cast<unsigned char>(c.bytes[1]) - wire::kWindowCodeBase;
    if (!block) block = window_view(c.window);
    if (block) {
      for (int i = 0; i < 3; ++i) c.arg[i] = read_i32(block, wire::kArg1 + 4 * i);
      for (int i = 0; i < 4; ++i) c.word[i] = read_i32(block, wire::kResult0 + 4 * i);
      std::string data(wire::kDataSize, '\0');
      if (block_bytes > static_cast<size_t>(wire::kDataArea)) {
        data.replace(0, block_bytes - wire::kDataArea,
                     reinterpret_cast<const char*>(block + wire::kDataArea),
                     block_bytes - wire::kDataArea);
      }
      c.raw_data = data;
      c.data = std::string(data.c_str());
      c.changed = read_i32(block, wire::kChanged);
    }
  }
  return c;
}

}  // namespace

Posted post_command(ServerWindow window, const CopyData* record, const unsigned char* block,
                    size_t block_bytes) {
  fake::Server& s = fake::server();
  if (!s.take_posts) return Posted::kSendInstead;
  if (s.die_on_send) {
    s.alive = false;
    return Posted::kGone;
  }
  if (window != s.window || record->kind != wire::kCopyDataKind) return Posted::kSendInstead;
  s.log.push_back(record_command(record, block, block_bytes));
  s.log.back().posted = true;
  s.log.back().posted_bytes = block_bytes;
  return Posted::kPosted;
}

// Pixels take the way of every other command here, so that the log shows them.
Posted post_pixel(ServerWindow, unsigned char, const unsigned char*, int32_t, int32_t, int32_t) {
  return Posted::kSendInstead;
}

void attach_block(const unsigned char*) {}

bool last_answer(char* out, size_t size) {
  const fake::Server& s = fake::server();
  if (!s.answers_direct || s.answer.empty() || size == 0) return false;
  std::snprintf(out, size, "%s", s.answer.c_str());
  return true;
}

bool send_copy_data(ServerWindow window, const CopyData* record, int32_t* reply) {
  fake::Server& s = fake::server();
  if (s.die_on_send) {
    s.alive = false;
    return false;
  }
  if (window != s.window || record->kind != wire::kCopyDataKind) return false;
  s.log.push_back(record_command(record, nullptr, wire::kWindowBlockSize));
  s.answer.clear();
  if (s.handler) {
    *reply = s.handler(s.log.back());
  } else if (!s.replies.empty()) {
    *reply = s.replies.front();
    s.replies.pop_front();
  } else {
    *reply = s.default_reply;
  }
  return true;
}

unsigned long last_error() { return fake::server().error; }

int message_box(const char* text, unsigned style) {
  fake::server().boxes.emplace_back(text, style);
  return fake::server().box_answer;
}

bool module_path(char* out, size_t size) {
  const std::string& p = fake::server().module_path;
  if (p.size() + 1 > size) {
    out[0] = '\0';
    return false;
  }
  std::memcpy(out, p.c_str(), p.size() + 1);
  return true;
}

const char* command_line() { return fake::server().command_line.c_str(); }

bool current_directory(char* out, size_t size) {
  const std::string& d = fake::server().current_directory;
  if (d.size() + 1 > size) {
    out[0] = '\0';
    return false;
  }
  std::memcpy(out, d.c_str(), d.size() + 1);
  return true;
}

bool get_env(const char* name, char* out, size_t size) {
  auto it = fake::server().env.find(name);
  if (it == fake::server().env.end() || it->second.size() + 1 > size) {
    if (size) out[0] = '\0';
    return false;
  }
  std::memcpy(out, it->second.c_str(), it->second.size() + 1);
  return true;
}

const char* installed_server_dir() { return fake::server().installed_dir.c_str(); }

bool file_exists(const char* path) {
  fake::Server& s = fake::server();
  s.probed.push_back(path);
  return std::find(s.files.begin(), s.files.end(), path) != s.files.end();
}

bool own_file_is_pe() { return fake::server().own_file_is_pe; }

int32_t ansi_code_page() { return fake::server().code_page; }

// Files are real: the program-kind walk is tested on real executables.
File file_open_read(const char* path) {
  FILE* f = std::fopen(path, "rb");
  if (!f) fake::server().error = 2;
  return f ? reinterpret_cast<File>(f) : kNoFile;
}

bool file_read(File file, void* buffer, unsigned long count, unsigned long* got) {
  *got = static_cast<unsigned long>(std::fread(buffer, 1, count, reinterpret_cast<FILE*>(file)));
  return true;
}

bool file_seek(File file, unsigned long offset) {
  return std::fseek(reinterpret_cast<FILE*>(file), static_cast<long>(offset), SEEK_SET) == 0;
}

void file_close(File file) {
  if (file != kNoFile) std::fclose(reinterpret_cast<FILE*>(file));
}

void launch_server(LocateFn locate, const char* switches) {
  const char* path = locate(kServerFile);
  fake::server().launches.push_back({path, switches});
  if (fake::server().on_launch) fake::server().on_launch();
}

bool screen_size(int32_t* width, int32_t* height) {
  *width = fake::server().screen_width;
  *height = fake::server().screen_height;
  return true;
}

int key_hit() { return fake::server().keys.empty() ? 0 : 1; }

void sleep_ms(int ms) { fake::server().sleeps.push_back(ms); }

void console_link(bool) {}

int get_key(bool echo) {
  fake::Server& s = fake::server();
  if (s.keys.empty()) return -1;
  const int c = static_cast<unsigned char>(s.keys.front());
  s.keys.erase(0, 1);
  if (echo) s.echoed += static_cast<char>(c);
  return c;
}

int32_t system_colour(int n) { return n >= 0 && n < kSystemColours ? 0x00010203 * n : -999; }

}  // namespace lumo::platform
