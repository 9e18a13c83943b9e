// The server's own requests: window commands and the server-level values
// (switches, numbers, the server-block exchange).
#include <cstdio>

#include "common/block_access.h"
#include "common/lumo_wire.h"
#include "server/core/server.h"

namespace lumo::server {

using namespace wire;

int32_t Server::window_command(Client& c, int id, char letter, int w) {
  Window* win = window(w);
  if (!win) return 0;
  c.active = true;
  ever_linked_ = true;
  win->set_block_client(id);
  const unsigned char* b = win->block();
  const int32_t a1 = read_i32(b, kArg1);
  switch (letter) {
    case kCmdDraw:
      return win->draw(a1);
    case kCmdRequest:
      if (a1 == kRequestSwitch) return server_switch(read_i32(b, kArg2), read_i32(b, kArg3));
      if (a1 == kRequestNumber) {
        win->set_data_text(std::to_string(query(read_i32(b, kArg2))) + ",");
        return 1;
      }
      if (a1 == kRequestNewWindow) return w;
      {
        // Names in a request are the asking program's, relative to its folder.
        win->requester_folder = c.folder;
        win->requester = id;
        const int32_t reply = win->request(a1);
        if (!win->notice.empty()) say(id, win->notice);
        win->notice.clear();
        return reply;
      }
    case kCmdMetric: {
      int sw = 0, sh = 0;
      frontend_.screen_size(&sw, &sh);
      const int32_t reply = win->metric(a1, sw, sh, options_.dpi);
      if (!win->notice.empty()) say(id, win->notice);  // a resize refused
      win->notice.clear();
      return reply;
    }
    case kCmdPixel: return win->pixel();
    case kCmdEvent: {
      const int32_t r = win->take_event(a1);
      if (!win->close_requested) return r;
      close_by_user(w);  // a scripted close: the window is gone now
      return 0;
    }
    case kCmdBlock: return win->announce_block();
    default: return 1;  // "G" window modes and "O" window probes
  }
}

WindowLook Server::look() const {
  WindowLook l;
  l.on_top = options_.switches[1] != 0;
  l.borders = options_.switches[2] != 0;
  l.resizable = options_.switches[3] != 0;
  return l;
}

int32_t Server::server_switch(int number, int value) {
  if (number < 1 || number > 6) return 0;
  if (value == 0 || value == 1) {
    const WindowLook before = look();
    options_.switches[static_cast<size_t>(number)] = value;
    if (!(look() == before)) frontend_.look_changed(look());
    return 1;
  }
  return options_.switches[static_cast<size_t>(number)];
}

int32_t Server::query(int x) {
  switch (x) {
    case 1: return static_cast<int32_t>(windows_.size());
    case 2: return current_;
    case 3: return number_;
    case 4: return active_links();
    default: return 0;
  }
}

// The server-block exchange: "code;mask;a;b;" in, "3;a;b;" out for reads.
int32_t Server::exchange(const std::string& request) {
  int code = 0, mask = 0, a = 0, b = 0;
  if (std::sscanf(request.c_str(), "%d;%d;%d;%d;", &code, &mask, &a, &b) != 4) return 0;
  int32_t reply = 1;
  int ra = 0, rb = 0;
  const int magnitude = code < 0 ? -code : code;
  switch (magnitude) {
    case 2: frontend_.screen_size(&ra, &rb); break;
    case 1:
    case 3:
      if (Window::size_ok(a, b)) {
        options_.width = a;
        options_.height = b;
      }
      ra = options_.width;
      rb = options_.height;
      break;
    case 4:
      if (a >= 0 && b >= 0) {
        options_.x = a;
        options_.y = b;
      }
      ra = options_.x;
      rb = options_.y;
      break;
    case 10:
      if (a > 0 && a <= 1200) options_.dpi = a;
      ra = rb = options_.dpi;
      break;
    default:
      if (magnitude > kSwitchCodeBase && magnitude <= kSwitchCodeBase + kSwitches) {
        const int n = magnitude - kSwitchCodeBase;
        if (code < 0) {
          reply = server_switch(n, a);
        } else {
          reply = options_.switches[static_cast<size_t>(n)];
          ra = reply;
        }
      } else if (magnitude > 14 || magnitude == 0) {
        reply = 0;
      }
      break;
  }
  if (code >= 0) {
    char text[64];
    std::snprintf(text, sizeof text, "%d;%d;%d;", kRequestReplyTag, ra, rb);
    write_server_text(text);
    answer_ = text;
  }
  return reply;
}

}  // namespace lumo::server
