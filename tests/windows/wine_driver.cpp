// Drives GUI programs under Wine for the Windows end-to-end tests: starts a
// program, finds its windows, presses buttons and menu items, reads texts,
// answers message boxes, drops files on a window, and saves screenshots.
//
//   wine_driver STEP [ARGS...] [STEP [ARGS...]]...
//
// Steps run in order and print what they see, one line each, in UTF-8:
//   start EXE DIR            start EXE with DIR as its current directory
//   wait-main CLASS          wait for the program's top-level window of CLASS
//   box                      wait for a message box: "box: CAPTION | TEXT", OK
//   no-box MS                "no box" when none appears within MS ms
//   set-text CLASS TEXT      set the text of the main window's CLASS child
//   text CLASS               "text: ..." of the main window's CLASS child
//   command ID               post WM_COMMAND ID to the main window
//   press-wait CLASS ID      post command ID, then wait until CLASS's text
//                            changes or a message box appears
//   drop DLL PATH...         drop the files on the program's "D&Dchild" window
//                            through a real drop handle made in the program
//   dialog                   wait for a dialog (#32770) that is not a message
//                            box and print "dialog: CAPTION"
//   click-dialog ID          post a click of button ID in that dialog
//   close-dialog             post WM_CLOSE to that dialog
//   gone-dialog              wait until that dialog is gone: "dialog gone"
//   shot main|dialog|screen OUT.png [RRGGBB]
//                            save the window (or screen); with a colour, print
//                            "pixels: N" of that colour
//   wait-exit                wait for the program: "exit: CODE"
//   wait-file PATH SECONDS   "file: yes" once PATH exists, else "file: no"
//   attach NAME              from now on drive the running program NAME.exe
//   answer yes|no            wait for a question box and answer it
//   prompt TEXT|-            wait for a text prompt (a dialog with an edit
//                            field): "prompt: CAPTION | QUESTION"; answer TEXT
//                            with OK, or "-" to cancel
//   file-dialog PATH|-       wait for an Open dialog: "file dialog: CAPTION";
//                            type PATH and press OK, or "-" to cancel
//   look TITLE               wait for a top-level window titled TITLE and print
//                            "look: caption=C sizing=S maximize=M topmost=T"
//   client TITLE             wait for a top-level window titled TITLE and print
//                            "client: X Y", its drawing area's corner on the
//                            screen (for clicks from outside Wine)
//   close TITLE              ask the top-level window titled TITLE to close, as
//                            its close box does: "closed" (or "no window")
//   sleep MS
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "server/canvas/png_writer.h"

namespace {

PROCESS_INFORMATION program = {};
HWND mainWindow = nullptr;
HWND lastDialog = nullptr;

void say(const std::string& line) {
  std::fputs(line.c_str(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

[[noreturn]] void fail(const std::string& why) {
  say("driver: " + why);
  std::exit(2);
}

std::string utf8(const std::wstring& w) {
  if (w.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0,
                                    nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), out.data(), n, nullptr,
                      nullptr);
  return out;
}

std::wstring wide(const std::string& s) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(), n);
  return out;
}

// Text of a window in another process, without hanging on a busy one.
bool window_text(HWND w, std::wstring* text) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(w, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 200, &length)) return false;
  std::vector<wchar_t> buffer(length + 2);
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(w, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                           SMTO_ABORTIFHUNG, 200, &copied)) {
    return false;
  }
  *text = std::wstring(buffer.data(), copied);
  return true;
}

std::string visible(const std::wstring& text) {  // CR LF shown as \n
  std::string s = utf8(text);
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') continue;
    out += s[i];
  }
  return out;
}

std::string class_of(HWND w) {
  char name[256] = "";
  GetClassNameA(w, name, sizeof name);
  return name;
}

bool ours(HWND w) {
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  return pid == program.dwProcessId;
}

struct Search {
  std::string cls;
  HWND found;
};

BOOL CALLBACK find_top(HWND w, LPARAM param) {
  auto* s = reinterpret_cast<Search*>(param);
  if (!ours(w) || !IsWindowVisible(w) || class_of(w) != s->cls) return TRUE;
  s->found = w;
  return FALSE;
}

HWND find_window(const std::string& cls) {
  Search s{cls, nullptr};
  EnumWindows(find_top, reinterpret_cast<LPARAM>(&s));
  return s.found;
}

BOOL CALLBACK collect_children(HWND w, LPARAM param) {
  reinterpret_cast<std::vector<HWND>*>(param)->push_back(w);
  return TRUE;
}

std::vector<HWND> children(HWND parent) {
  std::vector<HWND> all;
  EnumChildWindows(parent, collect_children, reinterpret_cast<LPARAM>(&all));
  return all;
}

// The program's dialogs (#32770) are told apart by their controls: a text
// prompt or an Open dialog has an edit field, the launcher's information
// dialog an icon control with id -1, a message box neither.
bool has_icon_control(HWND dialog) {
  for (HWND c : children(dialog)) {
    if (class_of(c) == "Static" && (GetWindowLongW(c, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
        GetDlgCtrlID(c) == 0xFFFF) {
      return true;
    }
  }
  return false;
}

bool has_edit_control(HWND dialog) {
  for (HWND c : children(dialog)) {
    if (class_of(c) == "Edit") return true;
  }
  return false;
}

enum class Kind { MessageBox, Prompt, Other };

Kind kind_of(HWND dialog) {
  if (has_edit_control(dialog)) return Kind::Prompt;
  return has_icon_control(dialog) ? Kind::Other : Kind::MessageBox;
}

struct DialogSearch {
  Kind kind;
  HWND found;
};

BOOL CALLBACK find_dialog_window(HWND w, LPARAM param) {
  auto* search = reinterpret_cast<DialogSearch*>(param);
  if (!ours(w) || !IsWindowVisible(w) || class_of(w) != "#32770") return TRUE;
  if (kind_of(w) != search->kind) return TRUE;
  search->found = w;
  return FALSE;
}

HWND find_dialog(Kind kind) {
  DialogSearch search{kind, nullptr};
  EnumWindows(find_dialog_window, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

template <typename F>
bool wait_for(DWORD ms, F ready) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (ready()) return true;
    if (GetTickCount() - start > ms) return false;
    Sleep(20);
  }
}

HWND child_of_class(const std::string& cls) {
  if (!mainWindow) fail("no main window");
  for (HWND c : children(mainWindow)) {
    if (class_of(c) == cls) return c;
  }
  fail("no child of class " + cls);
}

std::string message_box_text(HWND box) {
  std::string text;
  for (HWND c : children(box)) {
    std::wstring t;
    if (class_of(c) == "Static" && window_text(c, &t) && !t.empty()) text = visible(t);
  }
  return text;
}

std::string caption_of(HWND w) {
  std::wstring caption;
  window_text(w, &caption);
  return visible(caption);
}

void set_text(HWND w, const std::string& text) {
  const std::wstring wide_text = wide(text);
  DWORD_PTR r = 0;
  SendMessageTimeoutW(w, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide_text.c_str()),
                      SMTO_ABORTIFHUNG, 5000, &r);
}

// The program's dialog of that kind once one appears within `ms`, else null.
HWND wait_dialog(Kind kind, DWORD ms) {
  HWND dialog = nullptr;
  wait_for(ms, [&] { return (dialog = find_dialog(kind)) != nullptr; });
  return dialog;
}

// Presses `button` in the dialog and waits until it is gone.
void close_with(HWND dialog, WPARAM button) {
  PostMessageW(dialog, WM_COMMAND, button, 0);
  wait_for(10000, [&] { return !IsWindow(dialog); });
}

// Prints "LABEL: CAPTION | TEXT" of a message box, then presses `button`.
void answer_box(HWND box, const char* label, WPARAM button) {
  say(std::string(label) + ": " + caption_of(box) + " | " + message_box_text(box));
  close_with(box, button);
}

bool save_png(const RECT& r, const std::string& path, const char* colour) {
  const int w = r.right - r.left;
  const int h = r.bottom - r.top;
  if (w <= 0 || h <= 0) return false;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = -h;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
  GdiFlush();
  auto* pixels = static_cast<uint32_t*>(bits);
  for (int i = 0; i < w * h; ++i) pixels[i] &= 0xFFFFFF;
  const bool ok = lumo::server::write_png(path, pixels, w, h, w);
  if (colour) {
    const uint32_t wanted = static_cast<uint32_t>(std::strtoul(colour, nullptr, 16));
    long count = 0;
    for (int i = 0; i < w * h; ++i) count += pixels[i] == wanted;
    say("pixels: " + std::to_string(count));
  }
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return ok;
}

void drop_files(const std::string& dll, const std::vector<std::string>& paths) {
  // The list travels in a named mapping: paths, each NUL-ended, then a NUL.
  std::string list;
  for (const auto& p : paths) list += p + '\0';
  list += '\0';
  HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                      static_cast<DWORD>(list.size()), "LumoTestDropList");
  void* view = MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0);
  if (!view) fail("no mapping for the drop list");
  std::memcpy(view, list.data(), list.size());
  HANDLE done = CreateEventA(nullptr, TRUE, FALSE, "LumoTestDropDone");

  // The helper library, loaded into the program, makes the drop handle there
  // and posts WM_DROPFILES to the drop window, as the shell would.
  void* remote = VirtualAllocEx(program.hProcess, nullptr, dll.size() + 1, MEM_COMMIT | MEM_RESERVE,
                                PAGE_READWRITE);
  if (!remote || !WriteProcessMemory(program.hProcess, remote, dll.c_str(), dll.size() + 1, nullptr)) {
    fail("cannot write into the program");
  }
  auto load = reinterpret_cast<LPTHREAD_START_ROUTINE>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "LoadLibraryA")));
  HANDLE thread = CreateRemoteThread(program.hProcess, nullptr, 0, load, remote, 0, nullptr);
  if (!thread) fail("cannot start a thread in the program");
  WaitForSingleObject(thread, 10000);
  CloseHandle(thread);
  if (WaitForSingleObject(done, 10000) != WAIT_OBJECT_0) fail("the drop was not posted");
  VirtualFreeEx(program.hProcess, remote, 0, MEM_RELEASE);
  CloseHandle(done);
  UnmapViewOfFile(view);
  CloseHandle(mapping);
  say("dropped " + std::to_string(paths.size()));
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  size_t i = 0;
  auto next = [&]() -> std::string {
    if (i >= args.size()) fail("missing argument");
    return args[i++];
  };
  while (i < args.size()) {
    const std::string step = next();
    if (step == "start") {
      std::string exe = next();
      const std::string dir = next();
      std::string line = "\"" + exe + "\"";
      STARTUPINFOA si = {};
      si.cb = sizeof si;
      if (!CreateProcessA(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          dir.c_str(), &si, &program)) {
        fail("cannot start " + exe);
      }
      WaitForInputIdle(program.hProcess, 10000);
    } else if (step == "wait-main") {
      const std::string cls = next();
      if (!wait_for(30000, [&] { return (mainWindow = find_window(cls)) != nullptr; })) {
        fail("no window of class " + cls);
      }
    } else if (step == "box") {
      HWND box = wait_dialog(Kind::MessageBox, 60000);
      if (!box) fail("no box");
      answer_box(box, "box", IDOK);
    } else if (step == "no-box") {
      HWND box = wait_dialog(Kind::MessageBox, static_cast<DWORD>(std::atoi(next().c_str())));
      if (box) {
        answer_box(box, "box", IDOK);
      } else {
        say("no box");
      }
    } else if (step == "set-text") {
      HWND c = child_of_class(next());
      set_text(c, next());
    } else if (step == "text") {
      std::wstring t;
      if (!window_text(child_of_class(next()), &t)) fail("no answer");
      say("text: " + visible(t));
      say("text-length: " + std::to_string(t.size()));
    } else if (step == "command") {
      PostMessageW(mainWindow, WM_COMMAND, static_cast<WPARAM>(std::atoi(next().c_str())), 0);
    } else if (step == "press-wait") {
      HWND c = child_of_class(next());
      const int id = std::atoi(next().c_str());
      std::wstring before;
      window_text(c, &before);
      PostMessageW(mainWindow, WM_COMMAND, static_cast<WPARAM>(id), 0);
      std::wstring now;
      if (!wait_for(120000, [&] {
            return find_dialog(Kind::MessageBox) != nullptr || (window_text(c, &now) && now != before);
          })) {
        fail("nothing happened");
      }
    } else if (step == "drop") {
      const std::string dll = next();
      std::vector<std::string> paths;
      while (i < args.size() && args[i].find(':') != std::string::npos) paths.push_back(next());
      drop_files(dll, paths);
    } else if (step == "dialog") {
      lastDialog = wait_dialog(Kind::Other, 30000);
      if (!lastDialog) fail("no dialog");
      say("dialog: " + caption_of(lastDialog));
    } else if (step == "click-dialog") {
      const int id = std::atoi(next().c_str());
      PostMessageW(lastDialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                   reinterpret_cast<LPARAM>(GetDlgItem(lastDialog, id)));
    } else if (step == "close-dialog") {
      PostMessageW(lastDialog, WM_CLOSE, 0, 0);
    } else if (step == "gone-dialog") {
      if (!wait_for(10000, [&] { return !IsWindow(lastDialog); })) fail("dialog still there");
      say("dialog gone");
    } else if (step == "shot") {
      const std::string what = next();
      const std::string out = next();
      const char* colour = nullptr;
      std::string colour_text;
      if (i < args.size() && args[i].size() == 6 &&
          args[i].find_first_not_of("0123456789abcdefABCDEF") == std::string::npos) {
        colour_text = next();
        colour = colour_text.c_str();
      }
      RECT r = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
      if (what == "main") GetWindowRect(mainWindow, &r);
      if (what == "dialog") GetWindowRect(lastDialog, &r);
      Sleep(500);  // let the window finish painting
      if (!save_png(r, out, colour)) fail("cannot save " + out);
    } else if (step == "wait-exit") {
      if (WaitForSingleObject(program.hProcess, 60000) != WAIT_OBJECT_0) fail("still running");
      DWORD code = 0;
      GetExitCodeProcess(program.hProcess, &code);
      say("exit: " + std::to_string(static_cast<int>(code)));
    } else if (step == "wait-file") {
      const std::string path = next();
      const DWORD ms = static_cast<DWORD>(std::atoi(next().c_str())) * 1000;
      const bool there = wait_for(ms, [&] {
        return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
      });
      say(std::string("file: ") + (there ? "yes" : "no"));
    } else if (step == "attach") {
      const std::string name = next() + ".exe";
      DWORD pid = 0;
      wait_for(30000, [&] {
        HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        PROCESSENTRY32 entry;
        entry.dwSize = sizeof entry;
        for (BOOL more = Process32First(snap, &entry); more; more = Process32Next(snap, &entry)) {
          if (_stricmp(entry.szExeFile, name.c_str()) == 0) pid = entry.th32ProcessID;
        }
        CloseHandle(snap);
        return pid != 0;
      });
      HANDLE process = pid ? OpenProcess(PROCESS_ALL_ACCESS, FALSE, pid) : nullptr;
      if (!process) fail("no running " + name);
      program = {};
      program.hProcess = process;
      program.dwProcessId = pid;
    } else if (step == "answer") {
      const bool yes = next() == "yes";
      HWND box = wait_dialog(Kind::MessageBox, 60000);
      if (!box) fail("no question");
      answer_box(box, "question", yes ? IDYES : IDNO);
    } else if (step == "prompt" || step == "file-dialog") {
      const bool file = step == "file-dialog";
      const std::string text = next();
      HWND dialog = wait_dialog(Kind::Prompt, 60000);
      if (!dialog) fail("no prompt");
      say(file ? "file dialog: " + caption_of(dialog)
               : "prompt: " + caption_of(dialog) + " | " + message_box_text(dialog));
      if (text != "-") {
        for (HWND c : children(dialog)) {
          if (class_of(c) == "Edit") set_text(c, text);
        }
      }
      close_with(dialog, text == "-" ? IDCANCEL : IDOK);
    } else if (step == "look") {
      const std::string title = next();
      HWND w = nullptr;
      if (!wait_for(30000, [&] { return (w = FindWindowA(nullptr, title.c_str())) != nullptr; })) {
        fail("no window titled " + title);
      }
      const LONG style = GetWindowLongA(w, GWL_STYLE), ex = GetWindowLongA(w, GWL_EXSTYLE);
      say("look: caption=" + std::to_string((style & WS_CAPTION) == WS_CAPTION) +
          " sizing=" + std::to_string((style & WS_THICKFRAME) != 0) +
          " maximize=" + std::to_string((style & WS_MAXIMIZEBOX) != 0) +
          " topmost=" + std::to_string((ex & WS_EX_TOPMOST) != 0));
    } else if (step == "client") {
      const std::string title = next();
      HWND w = nullptr;
      // Under a busy machine a program and its server take a while to start.
      if (!wait_for(60000, [&] { return (w = FindWindowA(nullptr, title.c_str())) != nullptr; })) {
        fail("no window titled " + title);
      }
      POINT corner{0, 0};
      ClientToScreen(w, &corner);
      say("client: " + std::to_string(corner.x) + " " + std::to_string(corner.y));
    } else if (step == "close") {
      const std::string title = next();
      HWND w = nullptr;
      wait_for(30000, [&] { return (w = FindWindowA(nullptr, title.c_str())) != nullptr; });
      if (w) PostMessageA(w, WM_CLOSE, 0, 0);
      say(w ? "closed" : "no window");
    } else if (step == "sleep") {
      Sleep(static_cast<DWORD>(std::atoi(next().c_str())));
    } else {
      fail("unknown step " + step);
    }
  }
  return 0;
}
