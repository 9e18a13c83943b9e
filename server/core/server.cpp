// The server's command loop: commands handled, answered and posted, and
// the server block's header.
#include "server/core/server.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "common/block_access.h"
#include "common/lumo_wire.h"
#include "common/run_settings.h"

namespace lumo::server {

using namespace wire;

namespace {

// A picture being written with nothing else to do is waited for this long
// at a time.
constexpr double kSaveLookSeconds = 0.001;

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

Server::Server(BlockHost& host, Frontend& frontend, CanvasFactory& canvases, const Options& o)
    : host_(host), frontend_(frontend), canvases_(canvases), options_(o) {}

Server::~Server() {
  while (!windows_.empty()) close_window(windows_.begin()->first);
  finish_saves(0);
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
  // A server that has begun to end shows no window to join: its windows
  // close with it.
  if (!windows_.empty() && !closing_) {
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
  finish_work_of(client);
  Client& c = clients_[client];
  // A command held back while a window's PNG was written takes its
  // arguments as they were then (a channel's command brings its own).
  std::vector<unsigned char> held;
  held.swap(c.held_block);
  if (!copy && !held.empty()) copy = held.data(), copy_bytes = kWindowBlockSize;
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
  Window* target = window(addressed);
  const uint64_t work_before = target ? target->work_serial() : 0;
  const uint64_t jobs_before = target ? target->jobs_started() : 0;
  int32_t reply;
  if (c.close_exit && !(size && (bytes[0] == kCmdEnd || bytes[0] == kCmdEvent))) {
    // The user closed this program's window: the program ends (a program
    // waiting for input is told the window is gone instead).
    c.close_exit = false;
    reply = kReplyCloseExit;
  } else {
    canvases_.offer(c.picture_made.get());
    handling_ = &c;
    reply = dispatch(c, client, bytes, size);
    handling_ = nullptr;
    canvases_.offer(nullptr);
  }
  let_go(std::move(c.picture_made));  // memory made for it: taken by its picture, or let go
  if (target && window(addressed) == target) {
    note_work(client, target, work_before);
    if (target->jobs_started() != jobs_before) any_work_ = true;
    answer_ended(*target);
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

Window* Server::posted_block_window(const unsigned char* bytes, uint32_t size,
                                    const unsigned char* block) {
  if (size != kWindowCommandLength || bytes[2] != 0 || !block) return nullptr;
  if (!block_needs_no_answer(static_cast<char>(bytes[0]), block)) return nullptr;
  return window(bytes[1] - kWindowCodeBase);
}

bool Server::early_reply(int client, const unsigned char* bytes, uint32_t size, int32_t* reply,
                         const unsigned char* copy, uint32_t copy_bytes) {
  detached_ = false;
  answer_.clear();  // drawing answers with no text
  Window* win = unanswered_drawing_window(bytes, size, copy);  // reads the code at 224
  auto it = clients_.find(client);
  if (!win || it == clients_.end() || it->second.close_exit) return false;
  finish_work_of(client);
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
  finish_work_of(client);
  int32_t reply = 0;
  if (Window* win = unanswered_drawing_window(bytes, size, block)) {
    const uint64_t work_before = win->work_serial();
    if (posted_drawing_taken(client)) reply = win->draw_detached(block);
    note_work(client, win, work_before);
  } else if (Window* target = posted_block_window(bytes, size, block)) {
    // A point figure's announcement, chunk, commit or cancel; a long outline
    // goes on in slices like an answered one's.
    const uint64_t work_before = target->work_serial();
    if (posted_drawing_taken(client)) {
      target->set_block_client(client);
      reply = target->request_detached(static_cast<char>(bytes[0]), block);
      // A refused announcement or chunk leaves the commit refused: told once.
      if (reply == 0 && bytes[0] == kCmdRequest && read_i32(block, kArg1) == kBlockCommit) {
        say(client, "window " + std::to_string(target->number()) +
                        ": a polygon, polyline, Bezier curve or series was not drawn: its points did not "
                        "arrive whole");
      }
    }
    note_work(client, target, work_before);
  }
  if (trace) trace(describe(client, bytes, size, block) + " -> " + std::to_string(reply) + " (posted)");
}

bool Server::draw_posted_pixel(int client, int window_code, Point at, int32_t colour) {
  if (trace) return false;
  Window* win = window(window_code - kWindowCodeBase);
  if (!win) return false;
  flush_pending();
  finish_work_of(client);
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

void Server::note_work(int client, Window* w, uint64_t work_before) {
  if (w->figure_left() && w->work_serial() != work_before) {
    w->working_for = client;
    any_work_ = true;
  }
}

bool Server::holding(int client) const {
  for (const PictureSave& save : saves_) {
    if (save.client == client) return true;
  }
  if (!any_work_) return false;
  auto c = clients_.find(client);
  if (c != clients_.end() && c->second.picture_made && !c->second.picture_made->wait(0)) return true;
  if (c != clients_.end() && c->second.writer_wait >= 0) {
    auto w = windows_.find(c->second.writer_wait);
    if (w != windows_.end() && w->second->writing()) return true;
    c->second.writer_wait = -1;
  }
  for (const auto& entry : windows_) {
    const Window& w = *entry.second;
    if (w.job_client() == client) return true;
    if (w.working_for == client && w.figure_left()) return true;
  }
  return false;
}

bool Server::command_waits(int client, const unsigned char* bytes, uint32_t size, const unsigned char* args) {
  if (size == 0) return false;
  if (bytes[0] == kCmdOpen || (size == kWindowCommandLength && (bytes[0] == kCmdRequest || bytes[0] == kCmdMetric))) {
    auto it = clients_.find(client);
    if (it != clients_.end() && waits_for_picture(it->second, bytes, size, args)) return true;
  }
  // Every file written beside the loop is some window's work.
  if (!any_work_) return false;
  auto it = clients_.find(client);
  if (it == clients_.end()) return false;
  it->second.writer_wait = -1;
  if (size != kWindowCommandLength || bytes[2] != 0) return false;
  // Drawing, requests (a file loaded or written, a point figure, a clear),
  // and closing the window; not pixel reads, metrics or events.
  const char letter = static_cast<char>(bytes[0]);
  if (letter != kCmdDraw && letter != kCmdRequest && letter != kCmdBlock && letter != kCmdClose) return false;
  const int w = bytes[1] - kWindowCodeBase;
  auto win = windows_.find(w);
  if (win == windows_.end() || !win->second->writing()) return false;
  it->second.writer_wait = w;
  keep_arguments(it->second, win->second->block());
  return true;
}

bool Server::waits_for_picture(Client& c, const unsigned char* bytes, uint32_t size, const unsigned char* args) {
  int width = 0, height = 0;
  if (bytes[0] == kCmdOpen) {
    OpenAsked a;
    if (!open_asked(text_of(bytes, size), &a) || !fits_budget(nullptr, a.width, a.height, &c)) return false;
    width = a.width, height = a.height;
  } else {
    // A window made larger (by a request or a metric's resize).
    Window* win = window(bytes[1] - kWindowCodeBase);
    if (!win || bytes[2] != 0) return false;
    const unsigned char* b = args ? args : win->block();
    const int32_t code = read_i32(b, kArg1);
    if (!(bytes[0] == kCmdRequest ? code == kRequestResize : code == kMetricResize || code == kMetricResizeToo)) {
      return false;
    }
    width = read_i32(b, kArg2), height = read_i32(b, kArg3);
    if (!Window::size_ok(width, height) || !fits_budget(win, width, height, &c)) return false;
    if (!args) keep_arguments(c, b);
  }
  if (!c.picture_made) {
    c.picture_made = canvases_.prepare(width, height);
    if (!c.picture_made) return false;
    c.picture_bytes = int64_t{4} * width * height;
    any_work_ = true;
  }
  return !c.picture_made->wait(0);
}

void Server::keep_arguments(Client& c, const unsigned char* block) {
  if (c.held_block.empty()) c.held_block.assign(block, block + kWindowBlockSize);
}

void Server::let_go(std::unique_ptr<BesideTask> task) {
  // Still being made: waited for beside the loop, not in it.
  if (task && !task->wait(0)) {
    letting_go_.push_back(std::move(task));
    any_work_ = true;
  }
}

void Server::finish_work_of(int client) {
  if (!any_work_) return;
  for (auto& entry : windows_) {
    Window& w = *entry.second;
    const bool figure = w.working_for == client, job = w.job_client() == client;
    if (!figure && !job) continue;
    if (figure) w.working_for = -1;
    if (!w.work_left()) continue;
    if (job) {
      w.finish_work();  // the canvas's drawing first
    } else {
      w.canvas().finish_work();
    }
    w.drawn();
    answer_ended(w);
  }
}

void Server::answer_ended(Window& w) {
  for (Window::EndedRequest& e : w.ended_requests) {
    late_replies_[e.client] = e.reply;
    if (trace) trace(std::to_string(e.client) + " window " + std::to_string(w.number()) + " request ended -> " +
                     std::to_string(e.reply));
    if (!e.notice.empty()) say(e.client, e.notice);
  }
  w.ended_requests.clear();
}

int32_t Server::held_reply(int client, int32_t reply) {
  auto it = late_replies_.find(client);
  if (it == late_replies_.end()) return reply;
  reply = it->second;
  late_replies_.erase(it);
  return reply;
}

// The windows with drawing left take turns, a slice each.
bool Server::continue_work() {
  if (!any_work_) return false;
  advance_saves(0);
  auto it = windows_.upper_bound(last_worked_);
  for (size_t k = 0; k < windows_.size(); ++k, ++it) {
    if (it == windows_.end()) it = windows_.begin();
    Window& w = *it->second;
    if (!w.work_left()) continue;
    last_worked_ = w.number();
    const bool figure = w.figure_left();
    w.continue_work();
    if (!w.figure_left()) w.working_for = -1;
    if (figure) w.drawn();  // a picture put on the canvas shows itself
    answer_ended(w);
    return true;
  }
  if (!saves_.empty()) {
    // Only pictures being written: a short look, so the others are still
    // answered at once.
    advance_saves(kSaveLookSeconds);
    return true;
  }
  // Memory that nobody waits for any more goes once it is made.
  letting_go_.erase(std::remove_if(letting_go_.begin(), letting_go_.end(),
                                   [](const std::unique_ptr<BesideTask>& t) { return t->wait(0); }),
                    letting_go_.end());
  BesideTask* making = letting_go_.empty() ? nullptr : letting_go_.front().get();
  for (auto& c : clients_) {
    if (!making && c.second.picture_made && !c.second.picture_made->wait(0)) making = c.second.picture_made.get();
  }
  if (making) {
    making->wait(kSaveLookSeconds);  // a picture's memory being made: a short look, as for files
    return true;
  }
  any_work_ = false;
  for (auto& c : clients_) c.second.writer_wait = -1;  // no file is written
  return false;
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
    if (letter == kCmdClose) return close_window(w, id);
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
