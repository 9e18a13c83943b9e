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

constexpr char kServerClass[] = "LumoViewServer";
constexpr char kWindowClass[] = "LumoViewWindow";
constexpr UINT_PTR kTimer = 1;
constexpr UINT kTickMs = 100;
constexpr int kGraceTicks = 15;  // 1.5 s without programs or windows: the server ends

HINSTANCE g_instance;
HWND g_server_window;
Server* g_server;
int g_idle_ticks = 0;

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

class Win32Frontend : public Frontend {
 public:
  void window_opened(Window& w) override {
    RECT r{0, 0, w.canvas().width(), w.canvas().height()};
    const DWORD style = WS_OVERLAPPEDWINDOW;
    AdjustWindowRect(&r, style, FALSE);
    HWND hwnd = CreateWindowExA(0, kWindowClass, w.title().empty() ? "Graphics Window" : w.title().c_str(),
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
  // Text prompts need a dialog of their own; this server refuses them.
  bool prompt(Window&, const std::string&, std::string*) override { return false; }
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
    const bool busy = g_server->active_links() > 0 || g_server->window_count() > 0;
    g_idle_ticks = busy ? 0 : g_idle_ticks + 1;
    if (g_server->ever_linked() && g_idle_ticks >= kGraceTicks) PostQuitMessage(0);
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
