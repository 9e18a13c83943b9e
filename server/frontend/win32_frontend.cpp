// lumoview.exe's windows and dialogs; see win32_frontend.h.
#include "server/frontend/win32_frontend.h"

#include <commdlg.h>

#include <cstring>

#include "server/canvas/gdi_canvas.h"
#include "server/host/win32_channels.h"
#include "server/main_win32.h"

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

// The window styles of a look: a caption and frame with the system menu
// and minimize box, the sizing frame and maximize box when resizable; a
// plain popup with a thin border without borders.
DWORD style_of(const WindowLook& look) {
  if (!look.borders) return WS_POPUP | WS_BORDER;
  DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  if (look.resizable) style |= WS_THICKFRAME | WS_MAXIMIZEBOX;
  return style;
}

}  // namespace

namespace lumo::server {

void Win32Frontend::look_changed(const WindowLook& look) {
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

void Win32Frontend::window_opened(Window& w) {
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

void Win32Frontend::window_closing(Window& w) {
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

void Win32Frontend::window_drawn(Window& w) { dirty_.insert(w.number()); }

void Win32Frontend::repaint_drawn() {
  for (int number : dirty_) {
    auto it = windows_.find(number);
    if (it != windows_.end()) InvalidateRect(it->second, nullptr, FALSE);
  }
  dirty_.clear();
}

void Win32Frontend::window_retitled(Window& w) {
  if (windows_.count(w.number())) SetWindowTextA(windows_[w.number()], w.title().c_str());
}

void Win32Frontend::window_moved(Window& w) {
  if (windows_.count(w.number())) {
    SetWindowPos(windows_[w.number()], nullptr, w.x, w.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  }
}

void Win32Frontend::window_shown(Window& w, bool visible) {
  if (windows_.count(w.number())) ShowWindow(windows_[w.number()], visible ? SW_SHOW : SW_HIDE);
}

bool Win32Frontend::screen_size(int* width, int* height) {
  *width = GetSystemMetrics(SM_CXSCREEN);
  *height = GetSystemMetrics(SM_CYSCREEN);
  return true;
}

bool Win32Frontend::message(Window& w, const std::string& text) {
  MessageBoxA(owner(w), text.c_str(), w.title().c_str(), MB_OK | MB_TOPMOST);
  return true;
}

int Win32Frontend::ask(Window& w, const std::string& question) {
  return MessageBoxA(owner(w), question.c_str(), w.title().c_str(), MB_YESNO | MB_TOPMOST) == IDYES
             ? kYes
             : kNo;
}

bool Win32Frontend::prompt(Window& w, const std::string& question, std::string* answer) {
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

bool Win32Frontend::choose_file(Window& w, const std::string& initial, std::string* path) {
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

int Win32Frontend::count() const { return static_cast<int>(windows_.size()); }

bool Win32Frontend::live_input() const { return true; }

HWND Win32Frontend::owner(Window& w) {
  return windows_.count(w.number()) ? windows_[w.number()] : nullptr;
}

}  // namespace lumo::server

namespace {

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

}  // namespace

LRESULT CALLBACK window_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  const int number = static_cast<int>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  switch (msg) {
    case WM_PAINT: {
      LARGE_INTEGER from, to;
      QueryPerformanceCounter(&from);
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      ++g_counts->paints;
      if (Window* w = g_server ? g_server->window(number) : nullptr) {
        auto& canvas = static_cast<GdiCanvas&>(w->picture());
        BitBlt(dc, 0, 0, canvas.width(), canvas.height(), canvas.dc(), 0, 0, SRCCOPY);
      }
      EndPaint(hwnd, &ps);
      QueryPerformanceCounter(&to);
      g_painting_ticks += to.QuadPart - from.QuadPart;
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
