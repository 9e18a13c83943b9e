// The Win32 backend.  ANSI functions throughout.
#include <conio.h>
#include <windows.h>

#include "lib/platform/platform.h"

namespace lumo::platform {

// ---- Named shared blocks ----------------------------------------------------

void* open_shared_block(const char* name, size_t* size) {
  HANDLE mapping = OpenFileMappingA(FILE_MAP_WRITE, TRUE, name);
  if (!mapping) return nullptr;
  void* view = MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0);
  // The view keeps the mapping alive; the handle is never used again.
  CloseHandle(mapping);
  if (view && size) {
    MEMORY_BASIC_INFORMATION info;
    *size = VirtualQuery(view, &info, sizeof info) ? info.RegionSize : 0;
  }
  return view;
}

bool release_shared_block(void* view) { return UnmapViewOfFile(view) != 0; }

// ---- The server window ------------------------------------------------------

bool server_window_exists(ServerWindow window) {
  return window != 0 && IsWindow(reinterpret_cast<HWND>(window)) != 0;
}

bool ready_for_command(ServerWindow window) { return server_window_exists(window); }

// WM_COPYDATA carries the command alone; the server reads the block.
void attach_block(const unsigned char*) {}

bool send_copy_data(ServerWindow window, const CopyData* record, int32_t* reply) {
  COPYDATASTRUCT cds;
  cds.dwData = static_cast<ULONG_PTR>(record->kind);
  cds.cbData = record->size;
  cds.lpData = const_cast<void*>(record->data);
  const LRESULT r = SendMessageA(reinterpret_cast<HWND>(window), WM_COPYDATA, 0,
                                 reinterpret_cast<LPARAM>(&cds));
  *reply = static_cast<int32_t>(r);
  return true;
}

// SendMessage has no way to post with the block's contents: every command waits.
Posted post_command(ServerWindow, const CopyData*, const unsigned char*, size_t) {
  return Posted::kSendInstead;
}

// ---- Reporting --------------------------------------------------------------

unsigned long last_error() { return GetLastError(); }

int message_box(const char* text, unsigned style) {
  return MessageBoxA(nullptr, text, nullptr, style);
}

// ---- The program and its environment ----------------------------------------

bool module_path(char* out, size_t size) {
  const DWORD n = GetModuleFileNameA(nullptr, out, static_cast<DWORD>(size));
  if (n == 0 || n >= size) {
    if (size) out[0] = '\0';
    return false;
  }
  return true;
}

const char* command_line() { return GetCommandLineA(); }

bool current_directory(char* out, size_t size) {
  const DWORD n = GetCurrentDirectoryA(static_cast<DWORD>(size), out);
  if (n == 0 || n >= size) {
    if (size) out[0] = '\0';
    return false;
  }
  return true;
}

bool get_env(const char* name, char* out, size_t size) {
  const DWORD n = GetEnvironmentVariableA(name, out, static_cast<DWORD>(size));
  if (n == 0 || n >= size) {
    if (size) out[0] = '\0';
    return false;
  }
  return true;
}

bool file_exists(const char* path) {
  WIN32_FIND_DATAA found;
  HANDLE h = FindFirstFileA(path, &found);
  if (h == INVALID_HANDLE_VALUE) return false;
  FindClose(h);
  return true;
}

bool own_file_is_pe() { return true; }

int32_t ansi_code_page() {
  const UINT cp = GetACP();
  return IsValidCodePage(cp) ? static_cast<int32_t>(cp) : 1252;
}

// ---- Reading a file ---------------------------------------------------------

File file_open_read(const char* path) {
  HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  return h == INVALID_HANDLE_VALUE ? kNoFile : reinterpret_cast<File>(h);
}

bool file_read(File file, void* buffer, unsigned long count, unsigned long* got) {
  DWORD n = 0;
  const BOOL ok = ReadFile(reinterpret_cast<HANDLE>(file), buffer, count, &n, nullptr);
  *got = n;
  return ok != 0;
}

bool file_seek(File file, unsigned long offset) {
  return SetFilePointer(reinterpret_cast<HANDLE>(file), static_cast<LONG>(offset), nullptr,
                        FILE_BEGIN) != INVALID_SET_FILE_POINTER;
}

void file_close(File file) {
  if (file != kNoFile) CloseHandle(reinterpret_cast<HANDLE>(file));
}

// ---- Starting the server ----------------------------------------------------
// A hidden starter window starts the server while it is being created and is
// destroyed before its creation returns; its short message loop is the only
// one the library ever runs.

namespace {

constexpr char kStarterClass[] = "LumoView";
constexpr char kStarterTitle[] = "Graphics Window";
constexpr DWORD kReadyWaitMs = 60000;

LocateFn g_locate = nullptr;
bool g_destroyed = false;
char g_switches[256];

LRESULT CALLBACK starter_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CREATE: {
      STARTUPINFOA startup;
      ZeroMemory(&startup, sizeof startup);
      startup.cb = sizeof startup;  // 68 in the 32-bit kit
      PROCESS_INFORMATION process;
      ZeroMemory(&process, sizeof process);
      if (!CreateProcessA(g_locate(kServerFile), g_switches, nullptr, nullptr, FALSE, 0, nullptr,
                          nullptr, &startup, &process)) {
        DestroyWindow(window);
        return 0;
      }
      const LRESULT result = WaitForInputIdle(process.hProcess, kReadyWaitMs) == 0 ? 0 : -1;
      CloseHandle(process.hThread);
      CloseHandle(process.hProcess);
      DestroyWindow(window);
      return result;
    }
    case WM_DESTROY:
      g_destroyed = true;
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(window, message, wparam, lparam);
  }
}

}  // namespace

void launch_server(LocateFn locate, const char* switches) {
  g_locate = locate;
  g_destroyed = false;
  lstrcpynA(g_switches, switches ? switches : "", sizeof g_switches);
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA wc;
  ZeroMemory(&wc, sizeof wc);
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = starter_window_proc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  wc.lpszClassName = kStarterClass;
  // The class stays registered; a second start in the same process reuses it.
  if (!RegisterClassA(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return;
  HWND window = CreateWindowExA(0, kStarterClass, kStarterTitle, WS_OVERLAPPEDWINDOW,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                nullptr, nullptr, instance, nullptr);
  if (window && IsWindow(window)) {
    ShowWindow(window, SW_HIDE);
    UpdateWindow(window);
  }
  // No window ever existed: no quit message will come.
  if (!window && !g_destroyed) return;
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

// ---- The screen -------------------------------------------------------------

bool screen_size(int32_t* width, int32_t* height) {
  HDC dc = GetDC(nullptr);
  if (!dc) {
    *width = kDefaultScreenWidth;
    *height = kDefaultScreenHeight;
    return false;
  }
  *width = GetDeviceCaps(dc, HORZRES);
  *height = GetDeviceCaps(dc, VERTRES);
  ReleaseDC(nullptr, dc);
  return true;
}

// ---- Console keys -----------------------------------------------------------

int key_hit() { return _kbhit(); }

int get_key(bool echo) { return echo ? _getche() : _getch(); }

// The Windows console echoes nothing between _getch calls.
void console_link(bool) {}

// ---- System colours ---------------------------------------------------------

int32_t system_colour(int n) {
  return n >= 0 && n < kSystemColours ? static_cast<int32_t>(GetSysColor(n)) : -999;
}

}  // namespace lumo::platform
