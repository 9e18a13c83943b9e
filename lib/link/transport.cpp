// Commands to the server: the envelope, the replies and the data area.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/channel_ring.h"
#include "lib/link/link.h"
#include "lib/link/messages.h"

namespace lumo {
namespace {

size_t bounded_length(const char* s, size_t limit) {
  size_t n = 0;
  while (n < limit && s[n]) ++n;
  return n;
}

[[noreturn]] void server_window_gone() {
  if (g_link.command_buffer[0] == wire::kCmdStart) {
    fail(message_text(Msg::LaunchFailed), kServerExeName, kServerExeName);
  }
  fail("%s", message_text(Msg::WindowClosed));
}

// What the command reads of the window block, into sent_block: the head as
// it is with the argument words as this call wrote them, then the data area
// as far as the command reads it.  Returns the bytes.
size_t snapshot(const unsigned char* view, char letter, const int32_t* args, int count) {
  unsigned char* s = g_link.sent_block;
  std::memcpy(s, view, wire::kDataArea);
  for (int i = 0; i < count; ++i) write_i32(s, wire::kArg1 + 4 * i, args[i]);
  // The extent from the arguments as sent and the data area as it is.
  const size_t bytes = static_cast<size_t>(wire::sent_block_extent(letter, s, view + wire::kDataArea));
  std::memcpy(s + wire::kDataArea, view + wire::kDataArea, bytes - wire::kDataArea);
  return bytes;
}

// Drawing that needs no answer is posted with what it reads of the window
// block, and so are the data blocks of point figures (their announcement,
// the chunks with their points, the commit); true when it was (the answer
// is then 1, as the server's would be).
bool post_drawing(int32_t window, char letter, size_t bytes) {
  unsigned char* view = window_view(window);
  if (!view || !g_link.server_window) return false;
  const int32_t code = read_i32(g_link.sent_block, wire::kArg1);
  if (letter == wire::kCmdDraw ? !wire::draw_needs_no_answer(code)
                               : !wire::block_needs_no_answer(letter, g_link.sent_block)) {
    return false;
  }
  g_link.copy_data.size = wire::kWindowCommandLength;
  switch (platform::post_command(g_link.server_window, &g_link.copy_data, g_link.sent_block, bytes)) {
    case platform::Posted::kPosted:
      // The server takes the changed attributes from the copy; the next
      // change starts afresh, as after an answered command.
      if (letter == wire::kCmdDraw && code == wire::kDrawAttributes) write_i32(view, wire::kChanged, 0);
      return true;
    case platform::Posted::kGone:
      server_window_gone();
    case platform::Posted::kSendInstead:
      break;
  }
  return false;
}

int32_t send_window_command(int32_t window, char letter, const int32_t* args, int count) {
  const unsigned char* view = window_view(window);
  g_link.command_buffer[0] = letter;
  g_link.command_buffer[1] = static_cast<char>(wire::kWindowCodeBase + window);
  g_link.command_buffer[2] = '\0';
  const size_t bytes = view ? snapshot(view, letter, args, count) : 0;
  if ((letter == wire::kCmdDraw || letter == wire::kCmdBlock || letter == wire::kCmdRequest) &&
      post_drawing(window, letter, bytes)) {
    return 1;
  }
  // The command carries what it reads as sent, where the transport can.
  platform::attach_block(view ? g_link.sent_block : nullptr);
  const int32_t reply = send_command(wire::kWindowCommandLength);
  platform::attach_block(nullptr);
  return interpret_reply(reply);
}

}  // namespace

int32_t send_command(int32_t length) {
  if (length > wire::kMaxCommand) {
    // A warning: a GUI user may pick any button; the program ends regardless.
    g_link.command_buffer[kCommandBufferSize - 1] = '\0';
    report_message(0, kCatalogue[static_cast<int>(Msg::BufferOverflow)].english,
                   g_link.command_buffer);
    release_link(-1);
    std::exit(1);
  }
  if (!g_link.server_window) return wire::kReplyNoServer;
  if (!platform::ready_for_command(g_link.server_window)) server_window_gone();
  g_link.copy_data.size = static_cast<uint32_t>(length < 0 ? 0 : length);
  int32_t reply = 0;
  if (!platform::send_copy_data(g_link.server_window, &g_link.copy_data, &reply)) {
    server_window_gone();
  }
  return reply;
}

int32_t interpret_reply(int32_t reply) {
  if (reply > wire::kPlainReplyFloor) return reply;
  switch (reply) {
    case wire::kReplyAborted:
      fail("%s", message_text(Msg::EndedAbnormally));
    case wire::kReplyCloseExit:
      end_link(0);
      std::exit(0);
    case wire::kReplyExit:
      release_link(-1);
      std::exit(0);
    case wire::kReplyDetached:
      release_link(-1);
      g_link.server_window = 0;
      return 0;
    case wire::kReplyTrue:
      return 1;
    default:
      return reply;
  }
}

int32_t send_code(char c1, char c2, char c3) {
  g_link.command_buffer[0] = c1;
  g_link.command_buffer[1] = c2;
  g_link.command_buffer[2] = c3;
  g_link.command_buffer[3] = '\0';
  return interpret_reply(send_command(wire::kCodeLength));
}

int32_t send_window_command1(int32_t window, char letter, int32_t a) {
  unsigned char* view = window_view(window);
  if (!view) return 0;
  write_i32(view, wire::kArg1, a);
  const int32_t args[] = {a};
  return send_window_command(window, letter, args, 1);
}

int32_t send_window_command2(int32_t window, char letter, int32_t a, int32_t b) {
  unsigned char* view = window_view(window);
  if (!view) return 0;
  write_i32(view, wire::kArg1, a);
  write_i32(view, wire::kArg2, b);
  const int32_t args[] = {a, b};
  return send_window_command(window, letter, args, 2);
}

int32_t send_window_command3(int32_t window, char letter, int32_t a, int32_t b, int32_t c) {
  unsigned char* view = window_view(window);
  if (!view) return 0;
  write_i32(view, wire::kArg1, a);
  write_i32(view, wire::kArg2, b);
  write_i32(view, wire::kArg3, c);
  const int32_t args[] = {a, b, c};
  return send_window_command(window, letter, args, 3);
}

int32_t send_pixel(int32_t window, int32_t x, int32_t y, int32_t colour) {
  unsigned char* view = window_view(window);
  if (!view) return 0;
  channel::put_pixel_words(view, x, y, colour);
  if (g_link.server_window) {
    const auto code = static_cast<unsigned char>(wire::kWindowCodeBase + window);
    switch (platform::post_pixel(g_link.server_window, code, view, x, y, colour)) {
      case platform::Posted::kPosted:
        return 1;
      case platform::Posted::kGone:
        g_link.command_buffer[0] = wire::kCmdDraw;
        server_window_gone();
      case platform::Posted::kSendInstead:
        break;
    }
  }
  return send_window_command3(window, wire::kCmdDraw, wire::kDrawPixel, x, y);
}

bool names_a_file(const char* path) {
  if (!path || !*path) return false;
  const char* last = path;
  for (const char* p = path; *p; ++p) {
    if (*p == '/' || *p == '\\') last = p + 1;
  }
  return *last && !std::strpbrk(last, "*?");
}

int32_t put_window_text(int32_t window, const char* text) {
  char* data = window_data(window);
  if (!data) return 0;
  if (!text) {
    data[0] = '\0';
    return 0;
  }
  if (text == data) {
    data[wire::kMaxText] = '\0';
    return static_cast<int32_t>(std::strlen(data));
  }
  const size_t n = bounded_length(text, wire::kMaxText);
  std::memmove(data, text, n);
  data[n] = '\0';
  return static_cast<int32_t>(n);
}

char* put_window_text_n(int32_t window, const char* text, int32_t length) {
  char* data = window_data(window);
  if (!data) return nullptr;
  if (!text) {
    data[0] = '\0';
    return nullptr;
  }
  const int32_t n = length < 0 ? 0 : (length > wire::kMaxText ? wire::kMaxText : length);
  const size_t copied = bounded_length(text, static_cast<size_t>(n));
  std::memmove(data, text, copied);
  std::memset(data + copied, 0, static_cast<size_t>(n) - copied + 1);
  // Blank padding (and any NUL inside the declared length) is not text.
  for (int32_t i = n - 1; i >= 0 && (data[i] == ' ' || data[i] == '\0'); --i) data[i] = '\0';
  return data;
}

int32_t format_window_text(int32_t window, const char* format, ...) {
  char* data = window_data(window);
  if (!data) return 0;
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(data, wire::kDataSize, format, args);
  va_end(args);
  if (n < 0) {
    data[0] = '\0';
    return 0;
  }
  return n > wire::kMaxText ? wire::kMaxText : n;
}

int32_t request_values(int32_t code, int32_t* a, int32_t* b) {
  if (!g_link.server_view) fail("%s", message_text(Msg::CommunicationFailed));
  const int32_t mask = (a ? 1 : 0) + (b ? 2 : 0);
  std::snprintf(reinterpret_cast<char*>(g_link.server_view), g_link.server_view_size,
                "%d;%d;%d;%d;", code, mask, a ? *a : 0, b ? *b : 0);
  // The request also travels with the command, after its terminator: the
  // server block is shared by every program on the server, and another may
  // write its own request there before this one is read.
  char* command = g_link.command_buffer;
  command[0] = wire::kCmdMetric;
  command[1] = command[2] = ' ';
  command[3] = '\0';
  const int extra = std::snprintf(command + wire::kCodeLength, kCommandBufferSize - wire::kCodeLength,
                                  "%d;%d;%d;%d;", code, mask, a ? *a : 0, b ? *b : 0);
  const int32_t r = interpret_reply(send_command(wire::kCodeLength + extra + 1));
  if (code < 0) return r;
  // A reply that ended or detached the link leaves nothing to read.
  if (!g_link.server_view) return 0;
  char text[wire::kServerTextMax + 1];
  if (!platform::last_answer(text, sizeof text)) copy_server_text(text, sizeof text);
  int tag = 0;
  int va = 0;
  int vb = 0;
  if (std::sscanf(text, "%d;%d;%d;", &tag, &va, &vb) != 3 || tag != wire::kRequestReplyTag) {
    return 0;
  }
  if (a) *a = va;
  if (b) *b = vb;
  return r;
}

int32_t send_window_data(int32_t window, const void* bytes, int32_t count) {
  char* data = window_data(window);
  if (!data) return 0;
  const unsigned char* p = static_cast<const unsigned char*>(bytes);
  int32_t offset = 0;
  while (count > 0) {
    const int32_t chunk = count < wire::kDataSize ? count : wire::kDataSize;
    std::memcpy(data, p, static_cast<size_t>(chunk));
    if (send_window_command3(window, wire::kCmdRequest, wire::kBlockChunk, offset, chunk) == 0) {
      send_window_command1(window, wire::kCmdRequest, wire::kBlockCancel);
      return 0;
    }
    p += chunk;
    offset += chunk;
    count -= chunk;
  }
  return window;
}

int32_t send_window_block(int32_t window, int32_t kind, const void* bytes, int32_t count) {
  if (send_window_command1(window, wire::kCmdBlock, kind) == 0) return 0;
  if (send_window_data(window, bytes, count) != 0) {
    send_window_command1(window, wire::kCmdRequest, wire::kBlockCommit);
    return window;
  }
  send_window_command1(window, wire::kCmdRequest, wire::kBlockCancel);
  return 0;
}

int32_t probe_current_window() {
  if (g_link.current_window <= 0 || !g_link.current_view) return -1;
  for (int32_t step = 1; step <= 2; ++step) {
    write_i32(g_link.current_view, wire::kArg1, step);
    g_link.command_buffer[0] = wire::kCmdProbe;
    g_link.command_buffer[1] = g_link.current_window_code;
    g_link.command_buffer[2] = '\0';
    const int32_t r = send_command(wire::kWindowCommandLength);
    if (step == 1 && r != wire::kReplyAborted) return 1;
    if (step == 2 && r != wire::kWindowProbeSecondReply) return 2;
  }
  return 0;
}

}  // namespace lumo
