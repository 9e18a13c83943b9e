// The server's command loop: links, the server block, windows.
#include "server/core/server.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "common/block_access.h"
#include "common/lumo_wire.h"
#include "common/run_settings.h"

namespace lumo::server {

using namespace wire;

namespace {

constexpr int kMaxTitle = 255;
constexpr int kSwitchLeavePictures = 5;

std::string text_of(const unsigned char* bytes, uint32_t size) {
  size_t n = 0;
  while (n < size && bytes[n]) ++n;
  return std::string(reinterpret_cast<const char*>(bytes), n);
}

// What a command carries after its text's terminator (empty when nothing).
std::string after_terminator(const unsigned char* bytes, uint32_t size) {
  const void* end = std::memchr(bytes, 0, size);
  if (!end) return std::string();
  const auto* from = static_cast<const unsigned char*>(end) + 1;
  return text_of(from, static_cast<uint32_t>(bytes + size - from));
}

// The program's name from "dir;path;version": the file name of path without
// its extension.

std::string program_name(const std::string& startup) {
  const size_t last = startup.rfind(';');
  if (last == std::string::npos || last == 0) return "";
  const size_t before = startup.rfind(';', last - 1);
  std::string path = startup.substr(before == std::string::npos ? 0 : before + 1,
                                    last - (before == std::string::npos ? 0 : before + 1));
  const size_t slash = path.find_last_of("/\\");
  if (slash != std::string::npos) path = path.substr(slash + 1);
  const size_t dot = path.rfind('.');
  if (dot != std::string::npos && dot > 0) path = path.substr(0, dot);
  std::string safe;
  for (char ch : path) safe += (std::isalnum(static_cast<unsigned char>(ch)) || ch == '_' || ch == '-') ? ch : '_';
  return safe;
}

// The program's folder from "dir;path;version": all before the path.
std::string program_folder(const std::string& startup) {
  const size_t last = startup.rfind(';');
  if (last == std::string::npos || last == 0) return "";
  const size_t before = startup.rfind(';', last - 1);
  return before == std::string::npos ? std::string() : startup.substr(0, before);
}

bool probe_value_ok(int k, const unsigned char* value) {
  uint32_t v32;
  uint64_t v64;
  std::memcpy(&v32, value, 4);
  std::memcpy(&v64, value, 8);
  switch (k) {
    case 0: return v32 == kProbe0Value;
    case 1: return v32 == kProbe1Bits;
    case 2: return v64 == kProbe2Bits;
    default: return v32 == kProbe3Bits;
  }
}

}  // namespace

bool parse_switches(int argc, const char* const* argv, Options* o) {
  static const char kLetters[] = "tbrilo";
  bool ok = true;
  for (int i = 0; i < argc; ++i) {
    const char* s = argv[i];
    if (s[0] != '/' || !s[1]) continue;
    const char c = s[1];
    if (const char* p = std::strchr(kLetters, c | 0x20); p && !s[2]) {
      o->switches[static_cast<size_t>(p - kLetters) + 1] = (c >= 'a') ? 1 : 0;
    } else if (c == 'p') {
      ok &= std::sscanf(s + 2, "%d,%d", &o->x, &o->y) == 2;
    } else if (c == 's') {
      int w = 0, h = 0;
      if (std::sscanf(s + 2, "%d,%d", &w, &h) == 2 && Window::size_ok(w, h)) {
        o->width = w;
        o->height = h;
      } else {
        ok = false;
      }
    } else if (std::strncmp(s + 1, "dpi", 3) == 0) {
      int d = 0;
      if (std::sscanf(s + 4, "%d", &d) == 1 && d > 0 && d <= 1200) o->dpi = d;
    }
    // /a, /m and /z are accepted; they do not change how windows look here.
  }
  return ok;
}

Server::Server(BlockHost& host, Frontend& frontend, CanvasFactory& canvases, const Options& o)
    : host_(host), frontend_(frontend), canvases_(canvases), options_(o) {}

Server::~Server() {
  while (!windows_.empty()) close_window(windows_.begin()->first);
}

bool Server::start() {
  std::string error;
  if (!options_.events_path.empty() && !script_.load(options_.events_path, &error)) {
    refused_setting("LUMOVIEW_EVENTS (--events): " + error + "; no scripted input");
  }
  for (int n = kFirstServer; n <= kLastServer; ++n) {
    server_block_ = host_.create_block(kBlockPrefix + std::to_string(n), kServerBlockSize);
    if (server_block_) {
      number_ = n;
      refresh_header();
      frontend_.look_changed(look());
      return true;
    }
  }
  return false;
}

int Server::active_links() const {
  int n = 0;
  for (const auto& c : clients_) n += c.second.active ? 1 : 0;
  return n;
}

Window* Server::window(int w) {
  auto it = windows_.find(w);
  return it == windows_.end() ? nullptr : it->second.get();
}

std::string Server::server_text() const {
  const char* text = reinterpret_cast<const char*>(server_block_);
  size_t n = 0;
  while (n < kServerTextMax && text[n]) ++n;
  return std::string(text, n);
}

void Server::write_server_text(const std::string& text) {
  const size_t n = text.size() < kServerBlockSize - 1 ? text.size() : kServerBlockSize - 1;
  std::memcpy(server_block_, text.data(), n);
  server_block_[n] = '\0';
}

// "number,title": the title fills the rest of the line, line ends inside it
// shown as blanks and a long one cut, so a header's second line survives.
std::string Server::window_line(const Window& w) {
  std::string title = w.title().substr(0, kMaxTitle);
  for (char& ch : title) {
    if (ch == '\n' || ch == '\r') ch = ' ';
  }
  return std::to_string(w.number()) + "," + title;
}

void Server::refresh_header() {
  char text[kServerTextMax + 1];
  const long long handle = host_.window_handle();
  if (!windows_.empty()) {
    Window* w = window(current_);
    if (!w) w = windows_.rbegin()->second.get();
    std::snprintf(text, sizeof text, "%s\n%lld,%d,%s", window_line(*w).c_str(), handle,
                  options_.key, kServerVersion);
  } else {
    // -1: a program is linked (or the server is ending), nobody else may
    // link; 0: waiting.
    std::snprintf(text, sizeof text, "%d,%lld,%d,%s", active_links() > 0 || closing_ ? -1 : 0, handle,
                  options_.key, kServerVersion);
  }
  write_server_text(text);
}

int32_t Server::handle(int client, const unsigned char* bytes, uint32_t size,
                       const unsigned char* copy, uint32_t copy_bytes) {
  answer_.clear();
  if (detached_) {
    // Answered already and queued: it is drawn in turn.
    detached_ = false;
    return 1;
  }
  // Every other command sees all answered drawing done.
  flush_pending();
  Client& c = clients_[client];
  const std::string described = trace ? describe(client, bytes, size, copy) : std::string();
  // A window command with the program's own copy of the block works on that
  // copy; afterwards what the command changed goes to the shared block.
  const bool copied = copy && size == kWindowCommandLength && bytes[2] == 0 && bytes[0] != kCmdClose;
  const int addressed = size >= 2 ? bytes[1] - kWindowCodeBase : 0;
  Window* swapped = copied ? window(addressed) : nullptr;
  unsigned char* shared = nullptr;
  // Only the part the command reads is copied and compared, but for the few
  // requests that answer with a text in the data area.
  size_t span = 0;
  if (swapped) {
    const size_t n = copy_bytes < kWindowBlockSize ? copy_bytes : kWindowBlockSize;
    const int32_t code = read_i32(copy, kArg1);
    const bool answers_text = bytes[0] == kCmdRequest &&
                              (code == kRequestFileDialog || code == kRequestPrompt || code == kRequestNumber);
    span = answers_text ? kWindowBlockSize : n;
    // The drawing state as it is now, the arguments and data as sent.
    std::memcpy(as_sent_.data(), swapped->block(), kArg1);
    std::memcpy(as_sent_.data() + kArg1, copy + kArg1, n - kArg1);
    if (span > n) std::memcpy(as_sent_.data() + n, swapped->block() + n, span - n);
    std::memcpy(work_.data(), as_sent_.data(), span);
    shared = swapped->swap_block(work_.data());
  }
  int32_t reply;
  if (c.close_exit && !(size && (bytes[0] == kCmdEnd || bytes[0] == kCmdEvent))) {
    // The user closed this program's window: the program ends (a program
    // waiting for input is told the window is gone instead).
    c.close_exit = false;
    reply = kReplyCloseExit;
  } else {
    reply = dispatch(c, client, bytes, size);
  }
  if (swapped && window(addressed) == swapped) {
    swapped->swap_block(shared);
    // Word by word, then the changed bytes of a changed word.
    size_t at = 0;
    for (; at + 8 <= span; at += 8) {
      uint64_t now, sent;
      std::memcpy(&now, work_.data() + at, 8);
      std::memcpy(&sent, as_sent_.data() + at, 8);
      if (now == sent) continue;
      for (size_t i = at; i < at + 8; ++i) {
        if (work_[i] != as_sent_[i]) shared[i] = work_[i];
      }
    }
    for (; at < span; ++at) {
      if (work_[at] != as_sent_[at]) shared[at] = work_[at];
    }
  }
  if (trace) trace(described + " -> " + std::to_string(reply));
  // The header changes with links, windows and titles; the exchange's
  // answer stays until the program has read it.
  const bool window_command = size == kWindowCommandLength && bytes[2] == 0 && bytes[0] != kCmdClose;
  const bool exchange_reply = size >= kCodeLength && bytes[0] == kCmdMetric && bytes[3] == 0;
  if (!exchange_reply && (!window_command || bytes[0] == kCmdRequest)) refresh_header();
  return reply;
}

Window* Server::unanswered_drawing_window(const unsigned char* bytes, uint32_t size,
                                          const unsigned char* block) {
  if (size != kWindowCommandLength || bytes[0] != kCmdDraw || bytes[2] != 0) return nullptr;
  Window* win = window(bytes[1] - kWindowCodeBase);
  if (!win || !draw_needs_no_answer(read_i32(block ? block : win->block(), kArg1))) return nullptr;
  return win;
}

bool Server::early_reply(int client, const unsigned char* bytes, uint32_t size, int32_t* reply,
                         const unsigned char* copy, uint32_t copy_bytes) {
  detached_ = false;
  Window* win = unanswered_drawing_window(bytes, size, copy);  // reads the code at 224
  auto it = clients_.find(client);
  if (!win || it == clients_.end() || it->second.close_exit) return false;
  if (pending_count_ == kPendingDepth) draw_pending();
  Pending& p = pending_[(pending_head_ + pending_count_) % kPendingDepth];
  p.window = win->number();
  // The drawing state as it is now; the arguments and data as sent.
  std::memcpy(p.block.data(), win->block(), kWindowBlockSize);
  if (copy && copy_bytes > static_cast<uint32_t>(kArg1)) {
    const size_t n = copy_bytes < kWindowBlockSize ? copy_bytes : kWindowBlockSize;
    std::memcpy(p.block.data() + kArg1, copy + kArg1, n - kArg1);
  }
  // The copy carries the changed attributes; the program's next change
  // starts afresh, as after a command drawn at once.
  if (read_i32(p.block.data(), kArg1) == kDrawAttributes) write_i32(win->block(), kChanged, 0);
  p.description = trace ? describe(client, bytes, size, copy) : std::string();
  ++pending_count_;
  it->second.active = true;
  ever_linked_ = true;
  *reply = 1;
  detached_ = true;
  return true;
}

bool Server::draw_pending() {
  if (pending_count_ == 0) return false;
  Pending& p = pending_[pending_head_];
  pending_head_ = (pending_head_ + 1) % kPendingDepth;
  --pending_count_;
  // Whatever closes a window first draws what was queued, so the window is
  // there; the check keeps a mistake from drawing into a missing one.
  Window* win = window(p.window);
  const int32_t reply = win ? win->draw_detached(p.block.data()) : 0;
  if (trace) trace(p.description + " -> " + std::to_string(reply));
  return true;
}

void Server::flush_pending() {
  while (draw_pending()) {
  }
}

void Server::draw_posted(int client, const unsigned char* bytes, uint32_t size,
                         unsigned char* block) {
  flush_pending();
  int32_t reply = 0;
  if (Window* win = unanswered_drawing_window(bytes, size, block)) {
    if (posted_drawing_taken(client)) reply = win->draw_detached(block);
  }
  if (trace) trace(describe(client, bytes, size, block) + " -> " + std::to_string(reply) + " (posted)");
}

bool Server::draw_posted_pixel(int client, int window_code, Point at, int32_t colour) {
  if (trace) return false;
  Window* win = window(window_code - kWindowCodeBase);
  if (!win) return false;
  flush_pending();
  if (posted_drawing_taken(client)) win->draw_pixel(at, colour);
  return true;
}

bool Server::posted_drawing_taken(int client) {
  Client& c = clients_[client];
  // A program whose window the user closed is ending: it draws no more.
  if (c.close_exit) return false;
  c.active = true;
  ever_linked_ = true;
  return true;
}

bool Server::may_post(int client) const {
  auto it = clients_.find(client);
  return it == clients_.end() || !it->second.close_exit;
}

int32_t Server::dispatch(Client& c, int id, const unsigned char* bytes, uint32_t size) {
  if (size == 0) return 0;
  const char letter = static_cast<char>(bytes[0]);
  if (letter == kCmdProbe && size >= 8 && bytes[1] == ',' && bytes[2] >= '0' && bytes[2] <= '3' &&
      bytes[3] == 0) {
    static const int32_t kAnswers[] = {kProbe0Reply, kProbe1Reply, kProbe2Reply, kProbe3Reply};
    const int k = bytes[2] - '0';
    if (size < static_cast<uint32_t>(k == 2 ? kProbe2Length : kProbe0Length)) return 0;
    return probe_value_ok(k, bytes + kProbeValueOffset) ? kAnswers[k] : 0;
  }
  if (size == kWindowCommandLength && bytes[2] == 0 && std::strchr("ABEFGJNOV", letter)) {
    const int w = bytes[1] - kWindowCodeBase;
    if (letter == kCmdClose) return close_window(w);
    return window_command(c, id, letter, w);
  }
  if (size > kCodeLength && bytes[3] == 0 && letter == kCmdMetric && bytes[1] == ' ' && bytes[2] == ' ') {
    return exchange(text_of(bytes + kCodeLength, size - kCodeLength));
  }
  if (size == kCodeLength && bytes[3] == 0) {
    if (letter == kCmdMetric && bytes[1] == ' ' && bytes[2] == ' ') return exchange(server_text());
    if (letter == kCmdServerQuery && bytes[1] == ' ') return query(bytes[2] - kWindowCodeBase);
    if (letter == kCmdSetting && bytes[1] == ' ') return 1;   // server mode
    if (letter == kCmdRequest && bytes[1] == kServerLevelCode) return 1;   // server-level value
  }
  const std::string text = text_of(bytes, size);
  if (text.size() < 2 || text[1] != ',') return 0;
  switch (letter) {
    case kCmdStart: return start_command(c, id, text, after_terminator(bytes, size));
    case kCmdOpen: return open_command(c, id, text);
    case kCmdEnd: return end_command(c, id);
    default: return 0;
  }
}

void Server::refused_setting(const std::string& text) {
  if (complaint) complaint(text);
  refused_settings_.push_back(text);
}

int32_t Server::start_command(Client& c, int id, const std::string& text, const std::string& extension) {
  int key = 0;
  int used = 0;
  if (std::sscanf(text.c_str(), "K,%d,%n", &key, &used) != 1 || used == 0 ||
      key != options_.key) {
    return 0;
  }
  // One program at a time: another that found this server waiting at the
  // same moment, or one whose own settings differ from those this server was
  // started with, is sent to find or start another; so is one that found
  // it just before it began to end.
  if (closing_) return kReplyServerTaken;
  for (const auto& other : clients_) {
    if (other.first != id && other.second.active) return kReplyServerTaken;
  }
  for (const auto& w : windows_) {
    if (w.second->owner != id) return kReplyServerTaken;
  }
  unsigned settings = 0;
  if (options_.settings_checked && extension.compare(0, 2, kSettingsTag) == 0 &&
      std::sscanf(extension.c_str() + 2, "%8x", &settings) == 1 && settings != options_.settings) {
    return kReplyServerTaken;
  }
  c.program = program_name(text.substr(static_cast<size_t>(used)));
  c.folder = program_folder(text.substr(static_cast<size_t>(used)));
  // What the server refused when it started concerns this program's run too.
  if (tell_program && !c.owner) {
    for (const std::string& refused : refused_settings_) tell_program(id, refused);
  }
  c.owner = true;
  c.active = true;
  ever_linked_ = true;
  return options_.key;
}

int32_t Server::open_command(Client& c, int id, const std::string& text) {
  int n = 0, width = 0, height = 0, colour1 = -1, colour2 = -1, mode = -1, used = 0;
  if (std::sscanf(text.c_str(), "I,%d,%d,%d,%d,%d,%d,%n", &n, &width, &height, &colour1,
                  &colour2, &mode, &used) != 6 ||
      used == 0) {
    return 0;
  }
  if (width <= 0 || height <= 0) {
    width = options_.width;
    height = options_.height;
  }
  if (width > kMaxWindowSize) width = kMaxWindowSize;
  if (height > kMaxWindowSize) height = kMaxWindowSize;
  if (!fits_budget(nullptr, width, height)) {
    say(id, "a window of " + std::to_string(width) + " x " + std::to_string(height) +
                " pixels is refused: the pictures would take more than " +
                std::to_string(options_.picture_budget >> 20) + " MiB (LUMOVIEW_MEMORY_MB)");
    return 0;
  }
  // The number asked for when it is free, else the lowest free one; a number
  // whose block name is taken by someone else (a block another process
  // holds) is passed over.
  unsigned char* block = nullptr;
  const int asked = n;
  for (int k = kFirstWindow - 1; k <= kLastWindow && !block; ++k) {
    const int w = k < kFirstWindow ? asked : k;
    if (w < kFirstWindow || w > kLastWindow || windows_.count(w) || (k >= kFirstWindow && w == asked)) continue;
    block = host_.create_block(kBlockPrefix + std::to_string(number_) + ":" + std::to_string(w),
                               kWindowBlockSize);
    if (block) n = w;
  }
  if (!block) return 0;
  auto win = std::make_unique<Window>(n, block, canvases_.create(width, height, Rgb{255, 255, 255}),
                                      frontend_);
  if (colour1 >= 0) win->colours().set(kBackgroundEntry, colour1);
  if (colour2 >= 0) win->colours().set(kForegroundEntry, colour2);
  win->canvas().clear(win->colours().background());
  win->initialise(width, height);
  win->dpi = options_.dpi;
  win->display_list().set_limit(options_.list_limit);
  if (script_.active()) win->next_scripted = [this](InputEvent* e) { return script_.next(e); };
  Window* self = win.get();
  win->display_list().on_overflow = [this, n, self]() {
    say(self->owner, "window " + std::to_string(n) + " keeps its drawing as a picture: its display list passed " +
                         std::to_string(options_.list_limit >> 20) +
                         " MiB (vector files show what came before as an image)");
  };
  win->set_title(text.substr(static_cast<size_t>(used), kMaxTitle));
  win->owner = id;
  win->owner_program = c.program.empty() ? "lumoview" : c.program;
  win->owner_folder = c.folder;
  win->size_allowed = [this, self](int w, int h) { return fits_budget(self, w, h); };
  win->x = options_.x;
  win->y = options_.y;
  Window& ref = *win;
  windows_[n] = std::move(win);
  current_ = n;
  c.active = true;
  ever_linked_ = true;
  frontend_.window_opened(ref);
  answer_ = window_line(ref);
  return n;
}

int32_t Server::close_window(int w) {
  Window* win = window(w);
  if (!win) return 0;
  save_picture(*win);
  frontend_.window_closing(*win);
  host_.remove_block(kBlockPrefix + std::to_string(number_) + ":" + std::to_string(w));
  windows_.erase(w);
  ++windows_gone_;
  if (current_ == w) current_ = windows_.empty() ? 0 : windows_.rbegin()->first;
  return current_;
}

void Server::begin_closing() {
  closing_ = true;
  refresh_header();
}

void Server::close_by_user(int w) {
  flush_pending();
  Window* win = window(w);
  if (!win) return;
  auto it = clients_.find(win->owner);
  if (it != clients_.end() && it->second.active) it->second.close_exit = true;
  close_window(w);
  refresh_header();
}

void Server::block_lost(const unsigned char* base) {
  if (base == server_block_) {
    if (complaint) complaint("a program cut the server block short; it is written afresh");
    refresh_header();
    return;
  }
  for (auto& entry : windows_) {
    Window& w = *entry.second;
    if (w.block() != base) continue;
    const int n = w.number();
    say(w.owner, "window " + std::to_string(n) + " is closed: a program cut its shared block short");
    close_by_user(n);
    return;
  }
}

int32_t Server::end_command(Client& c, int id) {
  if (c.active) {
    c.active = false;
    link_ended(id);
  }
  return 1;
}

void Server::client_gone(int client) {
  flush_pending();
  auto it = clients_.find(client);
  if (it == clients_.end()) return;
  const bool was_active = it->second.active;
  clients_.erase(it);
  if (was_active) link_ended(client);
  refresh_header();
}

void Server::link_ended(int id) {
  std::vector<int> closing;
  for (auto& entry : windows_) {
    Window& w = *entry.second;
    if (w.owner != id) continue;
    if (options_.switches[kSwitchLeavePictures]) save_picture(w);
    if (options_.switches[6]) closing.push_back(w.number());
  }
  for (int w : closing) close_window(w);
}

void Server::save_pictures() {
  flush_pending();
  for (auto& entry : windows_) save_picture(*entry.second);
}

bool Server::fits_budget(const Window* w, int width, int height) const {
  int64_t total = int64_t{4} * width * height;
  for (const auto& entry : windows_) {
    if (entry.second.get() == w) continue;
    total += int64_t{4} * entry.second->canvas().width() * entry.second->canvas().height();
  }
  return total <= options_.picture_budget;
}

int32_t Server::window_command(Client& c, int id, char letter, int w) {
  Window* win = window(w);
  if (!win) return 0;
  c.active = true;
  ever_linked_ = true;
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
        const int32_t reply = win->request(a1);
        if (!win->notice.empty()) say(id, win->notice);
        win->notice.clear();
        return reply;
      }
    case kCmdMetric: {
      int sw = 0, sh = 0;
      frontend_.screen_size(&sw, &sh);
      return win->metric(a1, sw, sh, options_.dpi);
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

std::string Server::describe(int client, const unsigned char* bytes, uint32_t size,
                             const unsigned char* block) {
  char line[600];
  const char letter = size ? static_cast<char>(bytes[0]) : '?';
  if (size == kWindowCommandLength && bytes[2] == 0) {
    const int w = bytes[1] - kWindowCodeBase;
    Window* win = window(w);
    if (win) {
      const unsigned char* b = block ? block : win->block();
      std::snprintf(line, sizeof line, "%d %c window %d args %d %d %d words %d %d %d %d", client,
                    letter, w, read_i32(b, kArg1), read_i32(b, kArg2), read_i32(b, kArg3),
                    read_i32(b, kResult0), read_i32(b, kResult1), read_i32(b, kResult2),
                    read_i32(b, kResult3));
    } else {
      std::snprintf(line, sizeof line, "%d %c window %d (none)", client, letter, w);
    }
  } else if (letter == kCmdProbe && size > 3) {
    std::snprintf(line, sizeof line, "%d probe %c (%u bytes)", client, bytes[2], size);
  } else {
    std::string text;
    for (uint32_t i = 0; i < size && bytes[i]; ++i) {
      const unsigned char ch = bytes[i];
      if (ch >= 32 && ch < 127) {
        text += static_cast<char>(ch);
      } else {
        char esc[8];
        std::snprintf(esc, sizeof esc, "\\x%02x", ch);
        text += esc;
      }
    }
    std::snprintf(line, sizeof line, "%d \"%s\"", client, text.c_str());
  }
  return line;
}

}  // namespace lumo::server
