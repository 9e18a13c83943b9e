#include "tests/unit/fake_platform.h"

#include <cstring>

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

bool send_copy_data(ServerWindow window, const CopyData* record, int32_t* reply) {
  fake::Server& s = fake::server();
  if (s.die_on_send) {
    s.alive = false;
    return false;
  }
  if (window != s.window || record->kind != wire::kCopyDataKind) return false;
  fake::Command c;
  c.bytes.assign(static_cast<const char*>(record->data), record->size);
  c.letter = c.bytes.empty() ? 0 : c.bytes[0];
  if (record->size == wire::kWindowCommandLength) {
    c.window = static_cast<unsigned char>(c.bytes[1]) - wire::kWindowCodeBase;
    const unsigned char* view = window_view(c.window);
    if (view) {
      for (int i = 0; i < 3; ++i) c.arg[i] = read_i32(view, wire::kArg1 + 4 * i);
      for (int i = 0; i < 4; ++i) c.word[i] = read_i32(view, wire::kResult0 + 4 * i);
      const char* data = reinterpret_cast<const char*>(view + wire::kDataArea);
      c.raw_data.assign(data, wire::kDataSize);
      c.data = std::string(data, strnlen(data, wire::kDataSize));
    }
  }
  s.log.push_back(c);
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

}  // namespace lumo::platform
