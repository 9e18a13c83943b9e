// lumoview.exe: the graphics window server for Windows.  The same core as on
// Linux; named mappings for the blocks, a hidden server window that takes
// WM_COPYDATA, GDI windows showing each picture, the system's dialogs.
#include <windows.h>
#include <commdlg.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "server/canvas/gdi_canvas.h"
#include "server/core/server.h"
#include "server/core/window.h"

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
    DestroyWindow(hwnd);
  }
  void window_drawn(Window& w) override {
    auto it = windows_.find(w.number());
    if (it != windows_.end()) InvalidateRect(it->second, nullptr, FALSE);
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

 private:
  HWND owner(Window& w) { return windows_.count(w.number()) ? windows_[w.number()] : nullptr; }
  std::map<int, HWND> windows_;
  WindowLook look_;
};

LRESULT CALLBACK window_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  const int number = static_cast<int>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  switch (msg) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      if (Window* w = g_server ? g_server->window(number) : nullptr) {
        auto& canvas = static_cast<GdiCanvas&>(w->canvas());
        BitBlt(dc, 0, 0, canvas.width(), canvas.height(), canvas.dc(), 0, 0, SRCCOPY);
      }
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_CLOSE:
      if (g_server && g_server->window(number)) g_server->close_by_user(number);
      return 0;
    default:
      return DefWindowProcA(hwnd, msg, wp, lp);
  }
}

LRESULT CALLBACK server_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_COPYDATA) {
    const auto* cds = reinterpret_cast<const COPYDATASTRUCT*>(lp);
    if (!g_server || !cds || cds->dwData != 1 || !cds->lpData) return 0;
    // The sender's window (0 from the library) tells programs apart.
    const int client = static_cast<int>(wp);
    return g_server->handle(client, static_cast<const unsigned char*>(cds->lpData), cds->cbData);
  }
  if (msg == WM_TIMER && g_server) {
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
    if (g_idle_ms >= g_grace_ms) PostQuitMessage(0);
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
  char png_dir[MAX_PATH];
  if (GetEnvironmentVariableA("LUMOVIEW_PNG_DIR", png_dir, MAX_PATH) > 0) options.png_dir = png_dir;
  g_grace_ms = env_ms("LUMOVIEW_GRACE_MS", kDefaultGraceMs);
  g_first_link_ms = env_ms("LUMOVIEW_FIRST_LINK_MS", kFirstLinkWaitMs);
  const std::vector<std::string> words = switch_words();
  std::vector<const char*> argv;
  for (const std::string& w : words) argv.push_back(w.c_str());
  parse_switches(static_cast<int>(argv.size()), argv.data(), &options);

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
  if (!server.start()) return 2;
  g_server = &server;
  SetTimer(g_server_window, kTimer, kTickMs, nullptr);

  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  server.save_pictures();
  g_server = nullptr;
  return 0;
}
