// The server core in-process: a host keeping its blocks in memory, a
// frontend with scripted answers and a server with the cairo canvas.
#ifndef LUMO_TESTS_SERVER_FIXTURE_H
#define LUMO_TESTS_SERVER_FIXTURE_H

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/block_access.h"
#include "common/lumo_wire.h"
#include "server/canvas/cairo_canvas.h"
#include "server/core/server.h"

namespace lumo::server::test_support {

using namespace lumo::wire;


class MemoryHost : public BlockHost {
 public:
  unsigned char* create_block(const std::string& name, size_t size) override {
    if (blocks.count(name)) return nullptr;
    blocks[name].assign(size, 0);
    return blocks[name].data();
  }
  void remove_block(const std::string& name) override { blocks.erase(name); }
  long long window_handle() const override { return 777; }
  unsigned char* block(const std::string& name) {
    return blocks.count(name) ? blocks[name].data() : nullptr;
  }
  std::map<std::string, std::vector<unsigned char>> blocks;
};

class ScriptedFrontend : public Frontend {
 public:
  bool screen_size(int* w, int* h) override {
    *w = 800;
    *h = 600;
    return true;
  }
  bool message(Window&, const std::string& text) override {
    messages.push_back(text);
    return true;
  }
  int ask(Window&, const std::string& q) override {
    messages.push_back(q);
    return answer;
  }
  bool prompt(Window&, const std::string&, std::string* a) override {
    *a = typed;
    return !typed.empty();
  }
  bool choose_file(Window&, const std::string&, std::string* p) override {
    *p = typed;
    return !typed.empty();
  }
  std::vector<std::string> messages;
  int answer = kYes;
  std::string typed;
};

class ServerCoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    options.key = 4242;
    server = std::make_unique<Server>(host, frontend, canvases, options);
    ASSERT_TRUE(server->start());
  }

  std::string header() { return reinterpret_cast<char*>(host.block("LumoView1")); }

  int32_t text(const std::string& t, int client = 1) {
    return server->handle(client, reinterpret_cast<const unsigned char*>(t.c_str()),
                          static_cast<uint32_t>(t.size() + 1));
  }
  int32_t code(char a, char b, char c, int client = 1) {
    const unsigned char bytes[4] = {static_cast<unsigned char>(a), static_cast<unsigned char>(b),
                                    static_cast<unsigned char>(c), 0};
    return server->handle(client, bytes, 4);
  }
  unsigned char* block(int w) { return host.block("LumoView1:" + std::to_string(w)); }
  // A drawing command as the transport's fast path gives it: answered
  // early when it can be, then handled.  The block is scribbled over after
  // the answer, as a program writing its next command would.
  int32_t early(int w, int32_t a1, int32_t a2 = 0, int32_t a3 = 0, int client = 1) {
    write_i32(block(w), kArg1, a1);
    write_i32(block(w), kArg2, a2);
    write_i32(block(w), kArg3, a3);
    const unsigned char bytes[3] = {'A', static_cast<unsigned char>(w + 32), 0};
    int32_t reply = -7;
    const bool answered = server->early_reply(client, bytes, 3, &reply);
    if (answered) {
      write_i32(block(w), kArg1, 0x5A5A5A5A);
      write_i32(block(w), kArg2, -12345);
    }
    const int32_t handled = server->handle(client, bytes, 3);
    return answered ? reply : handled;
  }
  int32_t command(int w, char letter, int32_t a1, int32_t a2 = 0, int32_t a3 = 0,
                  int client = 1) {
    if (unsigned char* b = block(w)) {
      write_i32(b, kArg1, a1);
      write_i32(b, kArg2, a2);
      write_i32(b, kArg3, a3);
    }
    const unsigned char bytes[3] = {static_cast<unsigned char>(letter),
                                    static_cast<unsigned char>(w + 32), 0};
    const int32_t reply = server->handle(client, bytes, 3);
    // As the host: a command whose work goes on is answered when it ends.
    while (server->holding(client) && server->continue_work()) {
    }
    return server->held_reply(client, reply);
  }
  void words(int w, int32_t a, int32_t b, int32_t c, int32_t d) {
    write_i32(block(w), kResult0, a);
    write_i32(block(w), kResult1, b);
    write_i32(block(w), kResult2, c);
    write_i32(block(w), kResult3, d);
  }
  Rgb pixel(int w, int x, int y) {
    Rgb c;
    EXPECT_TRUE(server->window(w)->canvas().get_pixel({x, y}, &c));
    return c;
  }
  void set_pen(int w, int32_t colour, int width, int mode = 13) {
    write_i32(block(w), kPenColour, colour);
    write_i32(block(w), kPenWidth, width);
    write_i32(block(w), kPenMode, mode);
    write_i32(block(w), kPenStyle, 0);
    write_i32(block(w), kChanged, 0x00F);
    command(w, 'A', kDrawAttributes);
  }
  void set_brush(int w, int32_t colour, int style) {
    write_i32(block(w), kBrushColour, colour);
    write_i32(block(w), kBrushStyle, style);
    write_i32(block(w), kChanged, 0x030);
    command(w, 'A', kDrawAttributes);
  }

  MemoryHost host;
  ScriptedFrontend frontend;
  CairoCanvasFactory canvases;
  Options options;
  std::unique_ptr<Server> server;
};

}  // namespace lumo::server::test_support

#endif
