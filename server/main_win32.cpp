// lumoview.exe: the graphics window server for Windows.  The same core as on
// Linux; named mappings for the blocks, a hidden server window that takes
// WM_COPYDATA, GDI windows showing each picture, the system's dialogs.
#include <windows.h>
#include <commdlg.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "common/channel_ring.h"
#include "common/run_settings.h"
#include "common/win32_channel.h"
#include "server/canvas/gdi_canvas.h"
#include "server/core/server.h"
#include "server/core/window.h"
#include "server/host/win32_teller.h"

using namespace lumo::server;

namespace {

// The text prompt: a small dialog made in memory (no resources): the
// question, one line of answer, OK and Cancel.
constexpr int kPromptQuestion = 100;
constexpr int kPromptAnswer = 101;
constexpr int kPromptAnswerCapacity = 2048;

struct PromptState {
  const char* question;
  char answer[kPromptAnswerCapacity];
};

class DialogTemplate {
 public:
  DialogTemplate(const char* caption, int controls, short width, short height) {
    align();
    put_dword(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_CENTER);
    put_dword(0);
    put(static_cast<WORD>(controls));
    put(0);
    put(0);
    put(width);
    put(height);
    put(0);  // no menu
    put(0);  // the standard dialog class
    put_text(caption);
    put(8);
    put_text("MS Shell Dlg");
  }
  void control(const char* cls, const char* text, DWORD style, short x, short y, short cx, short cy,
               int id) {
    align();
    put_dword(style | WS_CHILD | WS_VISIBLE);
    put_dword(0);
    put(x);
    put(y);
    put(cx);
    put(cy);
    put(static_cast<WORD>(id));
    put_text(cls);
    put_text(text);
    put(0);  // no creation data
  }
  const DLGTEMPLATE* get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

 private:
  void put(WORD w) { words_.push_back(w); }
  void put(short v) { words_.push_back(static_cast<WORD>(v)); }
  void put(int v) { words_.push_back(static_cast<WORD>(v)); }
  void put_dword(DWORD d) {
    put(static_cast<WORD>(d & 0xFFFF));
    put(static_cast<WORD>(d >> 16));
  }
  void put_text(const char* text) {
    const int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    const size_t at = words_.size();
    words_.resize(at + static_cast<size_t>(n > 0 ? n : 1), 0);
    if (n > 0) MultiByteToWideChar(CP_ACP, 0, text, -1, reinterpret_cast<wchar_t*>(&words_[at]), n);
  }
  void align() {
    if (words_.size() % 2) put(0);  // items start on 4-byte boundaries
  }
  std::vector<WORD> words_;
};

INT_PTR CALLBACK prompt_proc(HWND dialog, UINT msg, WPARAM wp, LPARAM lp) {
  auto* state = reinterpret_cast<PromptState*>(GetWindowLongPtrA(dialog, DWLP_USER));
  switch (msg) {
    case WM_INITDIALOG:
      SetWindowLongPtrA(dialog, DWLP_USER, lp);
      state = reinterpret_cast<PromptState*>(lp);
      SetDlgItemTextA(dialog, kPromptQuestion, state->question);
      SendDlgItemMessageA(dialog, kPromptAnswer, EM_LIMITTEXT, kPromptAnswerCapacity - 1, 0);
      SetFocus(GetDlgItem(dialog, kPromptAnswer));
      return FALSE;  // the focus is set
    case WM_COMMAND:
      if (LOWORD(wp) == IDOK) {
        GetDlgItemTextA(dialog, kPromptAnswer, state->answer, kPromptAnswerCapacity);
        EndDialog(dialog, IDOK);
        return TRUE;
      }
      if (LOWORD(wp) == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

constexpr char kServerClass[] = "LumoViewServer";
constexpr char kWindowClass[] = "LumoViewWindow";
constexpr UINT_PTR kTimer = 1;
constexpr UINT kTickMs = 100;
constexpr int kDefaultGraceMs = 1500;    // without programs or windows this long, the server ends
constexpr int kFirstLinkWaitMs = 60000;  // a server no program links in this time ends

HINSTANCE g_instance;
HWND g_server_window;
Server* g_server;
int g_idle_ms = 0;
int g_unlinked_ms = 0;
int g_grace_ms = kDefaultGraceMs;
int g_first_link_ms = kFirstLinkWaitMs;

int env_ms(const char* name, int fallback) {
  char text[32];
  const DWORD n = GetEnvironmentVariableA(name, text, sizeof text);
  return n > 0 && n < sizeof text ? std::atoi(text) : fallback;
}

class Win32Host : public BlockHost {
 public:
  unsigned char* create_block(const std::string& name, size_t size) override {
    HANDLE h = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                  static_cast<DWORD>(size), name.c_str());
    if (!h) return nullptr;
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
      CloseHandle(h);  // a live server holds this name
      return nullptr;
    }
    void* view = MapViewOfFile(h, FILE_MAP_WRITE, 0, 0, 0);
    if (!view) {
      CloseHandle(h);
      return nullptr;
    }
    std::memset(view, 0, size);
    blocks_[name] = {h, view};
    return static_cast<unsigned char*>(view);
  }
  void remove_block(const std::string& name) override {
    auto it = blocks_.find(name);
    if (it == blocks_.end()) return;
    UnmapViewOfFile(it->second.view);
    CloseHandle(it->second.handle);
    blocks_.erase(it);
  }
  long long window_handle() const override {
    return static_cast<long long>(reinterpret_cast<intptr_t>(g_server_window));
  }

 private:
  struct Block {
    HANDLE handle;
    void* view;
  };
  std::map<std::string, Block> blocks_;
};

// The window styles of a look: a caption and frame with the system menu
// and minimize box, the sizing frame and maximize box when resizable; a
// plain popup with a thin border without borders.
DWORD style_of(const WindowLook& look) {
  if (!look.borders) return WS_POPUP | WS_BORDER;
  DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  if (look.resizable) style |= WS_THICKFRAME | WS_MAXIMIZEBOX;
  return style;
}

void hold_channels();

class Win32Frontend : public Frontend {
 public:
  void look_changed(const WindowLook& look) override {
    look_ = look;
    for (auto& entry : windows_) {
      HWND hwnd = entry.second;
      const DWORD visible = static_cast<DWORD>(GetWindowLongA(hwnd, GWL_STYLE)) & WS_VISIBLE;
      Window* w = g_server ? g_server->window(entry.first) : nullptr;
      SetWindowLongA(hwnd, GWL_STYLE, static_cast<LONG>(style_of(look) | visible));
      RECT r{0, 0, w ? w->canvas().width() : 0, w ? w->canvas().height() : 0};
      AdjustWindowRect(&r, style_of(look), FALSE);
      SetWindowPos(hwnd, look.on_top ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, r.right - r.left,
                   r.bottom - r.top, SWP_NOMOVE | SWP_NOACTIVATE | SWP_FRAMECHANGED | (w ? 0 : SWP_NOSIZE));
    }
  }
  void window_opened(Window& w) override {
    RECT r{0, 0, w.canvas().width(), w.canvas().height()};
    const DWORD style = style_of(look_);
    AdjustWindowRect(&r, style, FALSE);
    HWND hwnd = CreateWindowExA(look_.on_top ? WS_EX_TOPMOST : 0, kWindowClass,
                                w.title().empty() ? "Graphics Window" : w.title().c_str(),
                                style, w.x < 0 ? CW_USEDEFAULT : w.x, w.y < 0 ? CW_USEDEFAULT : w.y,
                                r.right - r.left, r.bottom - r.top, nullptr, nullptr, g_instance, nullptr);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, w.number());
    windows_[w.number()] = hwnd;
    if (w.visible) ShowWindow(hwnd, SW_SHOWNORMAL);
    UpdateWindow(hwnd);
  }
  void window_closing(Window& w) override {
    auto it = windows_.find(w.number());
    if (it == windows_.end()) return;
    HWND hwnd = it->second;
    windows_.erase(it);
    // Taking a window down can take the window system a while; from now on
    // every program sends its drawing, so that none is told a window that
    // is going took it.
    hold_channels();
    DestroyWindow(hwnd);
  }
  // Drawn windows are repainted from the message loop, at most every few
  // milliseconds: asking for a repaint is a call to the window system, which
  // would cost more than a line.
  void window_drawn(Window& w) override { dirty_.insert(w.number()); }
  void repaint_drawn() {
    for (int number : dirty_) {
      auto it = windows_.find(number);
      if (it != windows_.end()) InvalidateRect(it->second, nullptr, FALSE);
    }
    dirty_.clear();
  }
  void window_retitled(Window& w) override {
    if (windows_.count(w.number())) SetWindowTextA(windows_[w.number()], w.title().c_str());
  }
  void window_moved(Window& w) override {
    if (windows_.count(w.number())) {
      SetWindowPos(windows_[w.number()], nullptr, w.x, w.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    }
  }
  void window_shown(Window& w, bool visible) override {
    if (windows_.count(w.number())) ShowWindow(windows_[w.number()], visible ? SW_SHOW : SW_HIDE);
  }
  bool screen_size(int* width, int* height) override {
    *width = GetSystemMetrics(SM_CXSCREEN);
    *height = GetSystemMetrics(SM_CYSCREEN);
    return true;
  }
  bool message(Window& w, const std::string& text) override {
    MessageBoxA(owner(w), text.c_str(), w.title().c_str(), MB_OK | MB_TOPMOST);
    return true;
  }
  int ask(Window& w, const std::string& question) override {
    return MessageBoxA(owner(w), question.c_str(), w.title().c_str(), MB_YESNO | MB_TOPMOST) == IDYES
               ? kYes
               : kNo;
  }
  bool prompt(Window& w, const std::string& question, std::string* answer) override {
    DialogTemplate form(w.title().c_str(), 4, 220, 74);
    form.control("STATIC", "", SS_LEFT, 7, 7, 206, 24, kPromptQuestion);
    form.control("EDIT", "", ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 7, 34, 206, 13,
                 kPromptAnswer);
    form.control("BUTTON", "OK", BS_DEFPUSHBUTTON | WS_TABSTOP, 106, 54, 50, 14, IDOK);
    form.control("BUTTON", "Cancel", BS_PUSHBUTTON | WS_TABSTOP, 163, 54, 50, 14, IDCANCEL);
    PromptState state;
    state.question = question.c_str();
    state.answer[0] = '\0';
    const INT_PTR chosen = DialogBoxIndirectParamA(GetModuleHandleA(nullptr), form.get(), owner(w),
                                                   prompt_proc, reinterpret_cast<LPARAM>(&state));
    if (chosen != IDOK) return false;
    *answer = state.answer;
    return true;
  }
  bool choose_file(Window& w, const std::string& initial, std::string* path) override {
    char file[MAX_PATH];
    lstrcpynA(file, initial.c_str(), MAX_PATH);
    OPENFILENAMEA ofn;
    std::memset(&ofn, 0, sizeof ofn);
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner(w);
    ofn.lpstrFile = file;
    ofn.nMaxFile = MAX_PATH;
    ofn.lpstrFilter = "All files\0*.*\0";
    ofn.Flags = OFN_PATHMUSTEXIST;
    if (!GetOpenFileNameA(&ofn)) return false;
    *path = file;
    return true;
  }
  int count() const { return static_cast<int>(windows_.size()); }
  bool live_input() const override { return true; }

 private:
  HWND owner(Window& w) { return windows_.count(w.number()) ? windows_[w.number()] : nullptr; }
  std::map<int, HWND> windows_;
  std::set<int> dirty_;
  WindowLook look_;
};

// A window message as the program's input: buttons, the wheel, characters
// (their code page byte; Enter 13, Escape 27, Backspace 8, Tab 9) and the
// keys without a character, as 256 + the second code _getch gives them.
bool input_event(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, InputEvent* e) {
  const int32_t x = static_cast<int16_t>(LOWORD(lp)), y = static_cast<int16_t>(HIWORD(lp));
  switch (msg) {
    case WM_LBUTTONDOWN: *e = {kEventButton, 1, x, y}; return true;
    case WM_MBUTTONDOWN: *e = {kEventButton, 2, x, y}; return true;
    case WM_RBUTTONDOWN: *e = {kEventButton, 3, x, y}; return true;
    case WM_MOUSEWHEEL: {
      POINT p{x, y};  // the wheel's position is on the screen
      ScreenToClient(hwnd, &p);
      *e = {kEventWheel, static_cast<int16_t>(HIWORD(wp)) > 0 ? 1 : -1, p.x, p.y};
      return true;
    }
    case WM_CHAR:
      *e = {kEventKey, static_cast<int32_t>(wp & 0xFF), 0, 0};
      break;
    default: {
      static const struct {
        WPARAM key;
        int code;
      } kKeys[] = {{VK_UP, 72},    {VK_DOWN, 80},   {VK_LEFT, 75},  {VK_RIGHT, 77},
                   {VK_HOME, 71},  {VK_END, 79},    {VK_PRIOR, 73}, {VK_NEXT, 81},
                   {VK_INSERT, 82}, {VK_DELETE, 83}, {VK_F11, 133},  {VK_F12, 134}};
      int code = 0;
      for (const auto& k : kKeys) {
        if (k.key == wp) code = 256 + k.code;
      }
      if (wp >= VK_F1 && wp <= VK_F10) code = 256 + 59 + static_cast<int>(wp - VK_F1);
      if (!code) return false;
      *e = {kEventKey, code, 0, 0};
    }
  }
  // Keys carry the pointer's position in the window.
  POINT p;
  if (GetCursorPos(&p) && ScreenToClient(hwnd, &p)) e->x = p.x, e->y = p.y;
  return true;
}

LRESULT CALLBACK window_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  const int number = static_cast<int>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  switch (msg) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      if (Window* w = g_server ? g_server->window(number) : nullptr) {
        auto& canvas = static_cast<GdiCanvas&>(w->picture());
        BitBlt(dc, 0, 0, canvas.width(), canvas.height(), canvas.dc(), 0, 0, SRCCOPY);
      }
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_CLOSE:
      if (g_server && g_server->window(number)) g_server->close_by_user(number);
      return 0;
    case WM_LBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MOUSEWHEEL:
    case WM_CHAR:
    case WM_KEYDOWN:
      if (Window* w = g_server ? g_server->window(number) : nullptr) {
        InputEvent e;
        if (input_event(hwnd, msg, wp, lp, &e)) w->events.push(e);
      }
      if (msg == WM_LBUTTONDOWN || msg == WM_MBUTTONDOWN || msg == WM_RBUTTONDOWN) SetFocus(hwnd);
      return msg == WM_KEYDOWN ? DefWindowProcA(hwnd, msg, wp, lp) : 0;
    default:
      return DefWindowProcA(hwnd, msg, wp, lp);
  }
}

// ---- Programs on a channel (common/win32_channel.h) ----------------------
// A program that offered a channel sends every command through it and posts
// drawing into its ring; the message loop serves the channels between
// messages, spinning while commands keep coming and then waiting for a
// message (a program's wake-up is one).

namespace wc = lumo::win32_channel;
using lumo::channel::Channel;

struct ChannelClient {
  int id = 0;  // the program's process id
  Channel* ch = nullptr;
  HANDLE mapping = nullptr, reply_event = nullptr, room_event = nullptr, process = nullptr;
  bool posting = false;
  uint32_t seen = 0;
  lumo::channel::RingReader ring;
  std::vector<unsigned char> heads;
  ~ChannelClient() {
    if (ch) UnmapViewOfFile(ch);
    for (HANDLE h : {mapping, reply_event, room_event, process}) {
      if (h) CloseHandle(h);
    }
  }
};

std::vector<std::unique_ptr<ChannelClient>> g_clients;
// Each program's standard error, by process id, kept until the program has
// gone and what its going wrote (its pictures) has been said.
std::map<int, std::unique_ptr<Teller>> g_tellers;
std::vector<unsigned char> g_command(lumo::channel::kMaxCommand);
std::vector<unsigned char> g_block(lumo::wire::kWindowBlockSize);
std::vector<unsigned char> g_posted_block(lumo::wire::kWindowBlockSize);
uint32_t g_windows_gone_seen = 0;
bool g_take_channels = true;  // LUMOVIEW_CHANNEL=0: keep every program on WM_COPYDATA
bool g_in_command = false;    // a command (perhaps a dialog's own message loop) is running

constexpr uint32_t kRoundShareBytes = 4096;

// Takes a program's offer: its mapping and events, opened by name, and its
// process, watched for its end.  1 when the channel is taken.
LRESULT accept_offer(const void* data, DWORD size) {
  if (!g_take_channels || !g_server || size != sizeof(wc::Offer)) return 0;
  wc::Offer offer;
  CopyMemory(&offer, data, sizeof offer);
  offer.mapping[sizeof offer.mapping - 1] = '\0';
  if (std::strncmp(offer.mapping, "Local\\LumoChannel-", 18) != 0 || offer.process_id == 0) return 0;
  auto c = std::make_unique<ChannelClient>();
  c->id = static_cast<int>(offer.process_id);
  for (const auto& other : g_clients) {
    if (other->id == c->id) return 0;  // one channel a program
  }
  char name[sizeof offer.mapping + 8];
  c->mapping = OpenFileMappingA(FILE_MAP_WRITE, FALSE, offer.mapping);
  void* view = c->mapping ? MapViewOfFile(c->mapping, FILE_MAP_WRITE, 0, 0, sizeof(Channel)) : nullptr;
  MEMORY_BASIC_INFORMATION info;
  if (!view || !VirtualQuery(view, &info, sizeof info) || info.RegionSize < sizeof(Channel)) {
    if (view) UnmapViewOfFile(view);
    return 0;
  }
  c->ch = static_cast<Channel*>(view);
  wsprintfA(name, "%s.reply", offer.mapping);
  c->reply_event = OpenEventA(EVENT_MODIFY_STATE, FALSE, name);
  wsprintfA(name, "%s.room", offer.mapping);
  c->room_event = OpenEventA(EVENT_MODIFY_STATE, FALSE, name);
  c->process = OpenProcess(SYNCHRONIZE, FALSE, offer.process_id);
  if (!c->reply_event || !c->room_event || !c->process) return 0;
  Channel* ch = c->ch;
  // The program's standard error, taken out of its process for as long as
  // it takes to duplicate the handle.
  const uint64_t error_handle = ch->answer.error_handle;
  if (error_handle) {
    HANDLE program = OpenProcess(PROCESS_DUP_HANDLE, FALSE, offer.process_id);
    std::unique_ptr<Teller> teller = Teller::open(program, error_handle);
    if (program) CloseHandle(program);
    if (teller) {
      g_tellers[c->id] = std::move(teller);
    } else {
      g_tellers.erase(c->id);
    }
  }
  c->seen = ch->request.load(std::memory_order_acquire);
  c->ring.taken = c->ring.seen_posted = ch->posted.load(std::memory_order_acquire);
  ch->taken.store(c->ring.taken, std::memory_order_seq_cst);
  ch->answer.answers_kept = lumo::channel::kAnswersKept;
  c->posting = ch->post_offer == lumo::channel::kPostOffer;
  if (c->posting) {
    ch->windows.store(g_server->window_bits(), std::memory_order_seq_cst);
    ch->windows_kept = 1;
    ch->post_accepted = 1;
    ch->pixel_records = lumo::channel::kPixelRecords;
  }
  g_clients.push_back(std::move(c));
  return 1;
}

// Carries out a program's posted records: a share of them in a round, or
// all of them (before its request, and when it has gone).
int take_posted(ChannelClient& c, bool round) {
  if (!c.posting) return 0;
  if (c.heads.empty()) c.heads.assign(static_cast<size_t>(lumo::wire::kWindowSlots) * lumo::wire::kDataArea, 0);
  c.ring.heads = c.heads.data();
  return lumo::channel::take_published(
      c.ch, c.ring, round, kRoundShareBytes, g_posted_block.data(),
      [&](const unsigned char* command, unsigned char* block) {
        g_server->draw_posted(c.id, command, lumo::wire::kWindowCommandLength, block);
      },
      [&](int window_code, int32_t x, int32_t y, int32_t colour) {
        return g_server->draw_posted_pixel(c.id, window_code, {x, y}, colour);
      },
      [&] { SetEvent(c.room_event); });
}

// Every program sends its next command, whose answer says whether it may
// post again.
void hold_channels() {
  for (auto& c : g_clients) {
    if (c->posting) c->ch->hold.store(1, std::memory_order_seq_cst);
  }
}

void set_sleeping(uint32_t value) {
  for (auto& c : g_clients) c->ch->server_sleeping.store(value, std::memory_order_seq_cst);
}

// Every channel's posted records (a round), then every channel's request.
int serve_channels() {
  if (!g_server || g_clients.empty()) return 0;
  const uint32_t gone = g_server->windows_gone();
  if (gone != g_windows_gone_seen) {
    g_windows_gone_seen = gone;
    const uint64_t bits = g_server->window_bits();
    for (auto& c : g_clients) {
      if (!c->posting) continue;
      c->ch->windows.store(bits, std::memory_order_seq_cst);
      c->ch->hold.store(1, std::memory_order_seq_cst);
    }
  }
  int served = 0;
  for (auto& c : g_clients) served += take_posted(*c, true);
  for (size_t i = 0; i < g_clients.size(); ++i) {
    ChannelClient& c = *g_clients[i];
    Channel* ch = c.ch;
    const uint32_t request = ch->request.load(std::memory_order_seq_cst);
    if (request == c.seen) continue;
    c.seen = request;
    ++served;
    // Everything this program posted before this command comes first.
    served += take_posted(c, false);
    const uint32_t size = ch->size;
    const bool valid = ch->kind == 1 && size <= lumo::channel::kMaxCommand;
    if (valid) CopyMemory(g_command.data(), ch->command, size);
    const uint32_t block_bytes = ch->block_bytes;
    const bool has_block = valid && block_bytes >= static_cast<uint32_t>(lumo::wire::kDataArea) &&
                           block_bytes <= static_cast<uint32_t>(lumo::wire::kWindowBlockSize);
    if (has_block) {
      CopyMemory(g_block.data() + lumo::wire::kArg1, ch->block + lumo::wire::kArg1,
                 block_bytes - lumo::wire::kArg1);
    }
    // Programs are not dropped while a command runs: its dialog's message
    // loop may run the timer.
    g_in_command = true;
    const int32_t reply = valid ? g_server->handle(c.id, g_command.data(), size,
                                                   has_block ? g_block.data() : nullptr,
                                                   has_block ? block_bytes : 0)
                                : 0;
    g_in_command = false;
    if (c.posting) {
      ch->windows.store(g_server->window_bits(), std::memory_order_seq_cst);
      ch->hold.store(g_server->may_post(c.id) ? 0 : 1, std::memory_order_seq_cst);
    }
    if (valid && ch->answer.answers_kept == lumo::channel::kAnswersKept && !g_server->answer().empty()) {
      const std::string& text = g_server->answer();
      const size_t n = text.size() < lumo::channel::kAnswerText - 1 ? text.size() : lumo::channel::kAnswerText - 1;
      CopyMemory(ch->answer.text, text.data(), n);
      ch->answer.text[n] = '\0';
      ch->answer.answer_for = request;
    }
    ch->reply = reply;
    ch->reply_seq.store(request, std::memory_order_seq_cst);
    if (ch->client_sleeping.load(std::memory_order_seq_cst)) SetEvent(c.reply_event);
  }
  return served;
}

// Programs that have ended: what they posted is drawn, then they go.
void drop_ended_programs() {
  if (g_in_command) return;
  for (size_t i = g_clients.size(); i-- > 0;) {
    ChannelClient& c = *g_clients[i];
    if (WaitForSingleObject(c.process, 0) != WAIT_OBJECT_0) continue;
    take_posted(c, false);
    const int id = c.id;
    g_clients.erase(g_clients.begin() + static_cast<long>(i));
    if (g_server) g_server->client_gone(id);
    g_tellers.erase(id);  // once what is queued is written, the handle is closed
  }
}

LRESULT CALLBACK server_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_COPYDATA) {
    const auto* cds = reinterpret_cast<const COPYDATASTRUCT*>(lp);
    if (cds && cds->dwData == wc::kOfferKind && cds->lpData) return accept_offer(cds->lpData, cds->cbData);
    if (!g_server || !cds || cds->dwData != 1 || !cds->lpData) return 0;
    // The sender's window (0 from the library) tells programs apart.
    const int client = static_cast<int>(wp);
    return g_server->handle(client, static_cast<const unsigned char*>(cds->lpData), cds->cbData);
  }
  if (msg == wc::kWakeMessage) return 0;  // the loop serves the channels after it
  if (msg == WM_TIMER && g_server) {
    drop_ended_programs();
    // A server no program ever links (one whose starter gave up on it, or
    // one started by hand and forgotten) ends after the first-link wait; a
    // used one once it has had no program and no window for the grace time.
    if (!g_server->ever_linked()) {
      g_unlinked_ms += static_cast<int>(kTickMs);
      if (g_unlinked_ms >= g_first_link_ms) PostQuitMessage(0);
      return 0;
    }
    const bool busy = g_server->active_links() > 0 || g_server->window_count() > 0;
    g_idle_ms = busy ? 0 : g_idle_ms + static_cast<int>(kTickMs);
    // First no longer waiting, then, after a moment for a program that
    // found it waiting just before (it is sent elsewhere), gone.
    if (g_idle_ms >= g_grace_ms && !g_server->closing()) g_server->begin_closing();
    if (g_idle_ms >= g_grace_ms + Server::kClosingDrainMs) PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(hwnd, msg, wp, lp);
}

// The command line: the switch words after the program's name.
std::vector<std::string> switch_words() {
  std::vector<std::string> words;
  const char* p = GetCommandLineA();
  bool quoted = false;
  while (*p && (quoted || *p != ' ')) {  // skip the program's name
    if (*p == '"') quoted = !quoted;
    ++p;
  }
  std::string word;
  for (; *p; ++p) {
    if (*p == ' ') {
      if (!word.empty()) words.push_back(word);
      word.clear();
    } else {
      word += *p;
    }
  }
  if (!word.empty()) words.push_back(word);
  return words;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  g_instance = instance;
  Options options;
  options.key = static_cast<int>((GetCurrentProcessId() * 2654435761u ^ GetTickCount()) & 0x7FFFFFFF) | 1;
  {
    // A later program is taken only with the same run settings
    // (common/run_settings.h).
    char folder[MAX_PATH];
    const DWORD got = GetCurrentDirectoryA(MAX_PATH, folder);
    options.settings_checked = true;
    options.settings = lumo::wire::run_settings_fingerprint(
        [](const char* name, char* out, size_t size) {
          const DWORD n = GetEnvironmentVariableA(name, out, static_cast<DWORD>(size));
          return n > 0 && n < size;
        },
        got > 0 && got < MAX_PATH ? folder : "");
  }
  char png_dir[MAX_PATH];
  if (GetEnvironmentVariableA("LUMOVIEW_PNG_DIR", png_dir, MAX_PATH) > 0) options.png_dir = png_dir;
  char events[MAX_PATH];
  if (GetEnvironmentVariableA("LUMOVIEW_EVENTS", events, MAX_PATH) > 0) options.events_path = events;
  // Settings refused before the server core exists: told to every program
  // that links (Server::refused_setting), as the core's own are.
  std::vector<std::string> refused;
  char figures[MAX_PATH + 32];
  if (GetEnvironmentVariableA("LUMOVIEW_SAVE", figures, sizeof figures) > 0) {
    std::string error;
    if (parse_figure_target(figures, &options.figure_dir, &options.figure_formats, &error)) {
      CreateDirectoryA(options.figure_dir.c_str(), nullptr);  // when it is not there yet
    } else {
      refused.push_back(std::string("LUMOVIEW_SAVE=") + figures + " is refused: " + error +
                        "; no figures are written");
    }
  }
  g_grace_ms = env_ms("LUMOVIEW_GRACE_MS", kDefaultGraceMs);
  g_first_link_ms = env_ms("LUMOVIEW_FIRST_LINK_MS", kFirstLinkWaitMs);
  const std::vector<std::string> words = switch_words();
  std::vector<const char*> argv;
  for (const std::string& w : words) argv.push_back(w.c_str());
  if (!parse_switches(static_cast<int>(argv.size()), argv.data(), &options)) {
    refused.push_back("a switch has a malformed value; it is ignored");
  }

  WNDCLASSA wc;
  std::memset(&wc, 0, sizeof wc);
  wc.lpfnWndProc = server_proc;
  wc.hInstance = instance;
  wc.lpszClassName = kServerClass;
  RegisterClassA(&wc);
  wc.lpfnWndProc = window_proc;
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  wc.lpszClassName = kWindowClass;
  RegisterClassA(&wc);
  g_server_window = CreateWindowExA(0, kServerClass, "lumoview", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                    nullptr, instance, nullptr);
  if (!g_server_window) return 2;

  Win32Host host;
  Win32Frontend frontend;
  GdiCanvasFactory canvases;
  Server server(host, frontend, canvases, options);
  server.tell_program = [](int client, const std::string& text) {
    auto it = g_tellers.find(client);
    if (it != g_tellers.end()) it->second->tell("lumoview: " + text);
  };
  for (const std::string& text : refused) server.refused_setting(text);
  if (!server.start()) return 2;
  g_server = &server;
  SetTimer(g_server_window, kTimer, kTickMs, nullptr);

  char take[4];
  g_take_channels = !(GetEnvironmentVariableA("LUMOVIEW_CHANNEL", take, sizeof take) == 1 && take[0] == '0');
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  SYSTEM_INFO system;
  GetSystemInfo(&system);
  // Spin about 20 us after the last command before waiting (not on one core).
  const LONGLONG spin = system.dwNumberOfProcessors > 1 ? frequency.QuadPart / 50000 : 0;
  auto now = [] {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
  };
  // While programs keep it busy the server looks at its messages and
  // repaints drawn windows every few milliseconds only: each look is a call
  // to the window system, dearer than a command.
  const LONGLONG look_every = frequency.QuadPart / 500;      // 2 ms
  const LONGLONG repaint_every = frequency.QuadPart / 60;    // a frame
  LONGLONG last = now(), looked = 0, repainted = now();
  MSG msg;
  bool running = true;
  bool busy = false;
  while (running) {
    const LONGLONG t = now();
    // Spinning for the next command counts as busy too.
    const bool spinning = !g_clients.empty() && t - last < spin;
    if (!(busy || spinning) || t - looked >= look_every) {
      looked = t;
      while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
          running = false;
          break;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
      }
      if (!running) break;
    }
    if (t - repainted >= repaint_every) {
      repainted = t;
      frontend.repaint_drawn();
    }
    busy = serve_channels() > 0;
    if (busy) {
      last = now();
      continue;
    }
    if (!spinning) frontend.repaint_drawn();
    if (!g_clients.empty() && now() - last < spin) {
      YieldProcessor();
      continue;
    }
    // Asleep: flags up, one last look, then wait for a message; a record
    // published without a fence as the flags went up is found by a second
    // look a millisecond later.
    set_sleeping(1);
    if (serve_channels() > 0) {
      set_sleeping(0);
      last = now();
      continue;
    }
    if (MsgWaitForMultipleObjects(0, nullptr, FALSE, g_clients.empty() ? INFINITE : 1, QS_ALLINPUT) ==
            WAIT_TIMEOUT &&
        serve_channels() == 0) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, INFINITE, QS_ALLINPUT);
    }
    set_sleeping(0);
    last = now();
  }
  drop_ended_programs();
  g_clients.clear();
  server.save_pictures();
  // What is still queued for the programs is written before the server
  // ends, for half a second at most.
  const DWORD finish_by = GetTickCount() + 500;
  for (auto& entry : g_tellers) {
    const DWORD left = static_cast<DWORD>(finish_by - GetTickCount());
    entry.second->finish(left > 500 ? 0 : left);
  }
  g_tellers.clear();
  g_server = nullptr;
  return 0;
}
