// quillo: pick one C source file (Open dialog or drag and drop), press GO,
// and it is compiled with gcc against the graphics library and, when the
// compile succeeds, run in a console window of its own.
//
// An ANSI Win32 program with one thread and one main window; its whole state
// lives in fixed buffers made at start.  The compiler's path comes from
// ./set.ini: its first line, whatever ends it.
#include <windows.h>
#include <commdlg.h>
#include <shellapi.h>
#include <shlwapi.h>

#include "quillo_core.h"
#include "resource.h"
#include "texts_sjis.h"

namespace {

char compilerPath[quillo::kPathCapacity];
char compilerDir[quillo::kPathCapacity];
char sourcePath[MAX_PATH];
char sourceTitle[quillo::kTitleCapacity];
char exeBase[quillo::kPathCapacity];
char textBuffer[quillo::kTextCapacity];

HWND mainWindow;
HWND goButton;
HWND outputPane;
HWND dropPanel;
int clientWidth;
int clientHeight;
HINSTANCE instance;
HANDLE settingsFile = INVALID_HANDLE_VALUE;
HFONT paneFont;

#ifndef _WIN64
// The structure sizes the 32-bit launcher hands to the system.
static_assert(sizeof(OPENFILENAMEA) == 88, "OPENFILENAMEA");
static_assert(sizeof(WNDCLASSEXA) == 48, "WNDCLASSEXA");
static_assert(sizeof(STARTUPINFOA) == 68, "STARTUPINFOA");
static_assert(sizeof(SECURITY_ATTRIBUTES) == 12, "SECURITY_ATTRIBUTES");
#endif

constexpr DWORD kMainStyle = WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;  // 0x10CA0000
constexpr DWORD kPaneStyle = WS_CHILD | WS_VISIBLE | WS_DLGFRAME | WS_VSCROLL | ES_MULTILINE |
                             ES_AUTOVSCROLL | ES_READONLY | ES_WANTRETURN;  // 0x50601844
constexpr int kPaneId = 1;
constexpr int kPanelId = 1;
constexpr const char kDropClass[] = "D&Dchild";
constexpr const char kCaptureFile[] = "./temp.txt";

// Reads the whole file into a fresh heap buffer; false when it cannot.
bool read_whole_file(HANDLE file, char** bytes, DWORD* count) {
  *bytes = nullptr;
  *count = 0;
  const DWORD size = GetFileSize(file, nullptr);
  if (size == INVALID_FILE_SIZE) return false;
  *bytes = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, size + 1));
  if (!*bytes) return false;
  if (!ReadFile(file, *bytes, size, count, nullptr)) {
    HeapFree(GetProcessHeap(), 0, *bytes);
    *bytes = nullptr;
    return false;
  }
  return true;
}

}  // namespace

HFONT CreateUiFont(const char* face, int height, int escapement) {
  return CreateFontA(height, 0, escapement, 0, FW_NORMAL, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, PROOF_QUALITY,
                     FIXED_PITCH | FF_MODERN, face);
}

ATOM RegisterDropClass(HINSTANCE hInstance, WNDPROC procedure, const char* className) {
  WNDCLASSEXA wc = {};
  wc.cbSize = sizeof wc;  // 48 in the 32-bit program
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = procedure;
  wc.hInstance = hInstance;
  wc.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
  wc.hIconSm = LoadIconA(nullptr, IDI_APPLICATION);
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = className;
  return RegisterClassExA(&wc);
}

int ChooseSourceFile(HWND owner) {
  ZeroMemory(sourceTitle, sizeof sourceTitle);
  ZeroMemory(sourcePath, sizeof sourcePath);
  OPENFILENAMEA ofn = {};
  ofn.lStructSize = sizeof ofn;  // 88 in the 32-bit program
  ofn.hwndOwner = owner;
  ofn.lpstrFilter = "C files(*.c)\0*.c\0All Files(*.*)\0*.*\0\0";
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = sourcePath;
  ofn.nMaxFile = sizeof sourcePath;
  ofn.lpstrFileTitle = sourceTitle;
  ofn.nMaxFileTitle = sizeof sourceTitle;
  ofn.Flags = OFN_HIDEREADONLY | OFN_FILEMUSTEXIST;
  ofn.lpstrDefExt = "c";
  ofn.lpstrTitle = kOpenDialogTitle;
  return GetOpenFileNameA(&ofn) ? 1 : 0;
}

void RunProgram() {
  if (quillo::build_run_parameters(textBuffer, sizeof textBuffer, exeBase) < 0) return;
  SetCurrentDirectoryA(compilerDir);
  ShellExecuteA(nullptr, nullptr, "cmd", textBuffer, nullptr, SW_SHOWNORMAL);
}

void CompileSource() {
  SECURITY_ATTRIBUTES inheritable = {};
  inheritable.nLength = sizeof inheritable;  // 12 in the 32-bit program
  inheritable.bInheritHandle = TRUE;
  HANDLE capture = CreateFileA(kCaptureFile, GENERIC_READ | GENERIC_WRITE, 0, &inheritable,
                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (capture == INVALID_HANDLE_VALUE) {
    MessageBoxA(nullptr, "temparary file create&open error", "Error", MB_OK);
    SendMessageA(mainWindow, WM_DESTROY, 0, 0);
    return;  // the launcher is ending: no compiler gets an invalid handle
  }
  lstrcpynA(exeBase, sourcePath, sizeof exeBase);
  PathRemoveExtensionA(exeBase);

  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;  // 68 in the 32-bit program
  startup.dwFlags = STARTF_USESTDHANDLES | STARTF_FORCEONFEEDBACK;
  startup.hStdInput = nullptr;
  startup.hStdOutput = capture;
  startup.hStdError = capture;
  PROCESS_INFORMATION process = {};
  // Without a compiler folder the compiler runs in the launcher's own.
  const char* workDir = compilerDir[0] ? compilerDir : nullptr;
  if (quillo::build_compile_command(textBuffer, sizeof textBuffer, compilerPath, exeBase,
                                    sourcePath) < 0 ||
      !CreateProcessA(nullptr, textBuffer, nullptr, nullptr, TRUE, 0, nullptr, workDir, &startup,
                      &process)) {
    MessageBoxA(nullptr, "CreateProcess Error", "Error", MB_OK);
    CloseHandle(capture);
    return;
  }

  DWORD exitCode = STILL_ACTIVE;
  for (;;) {
    const DWORD waited = WaitForSingleObject(process.hProcess, 100);
    if (!GetExitCodeProcess(process.hProcess, &exitCode)) exitCode = 1;
    // An ended process whose exit code happens to be 259 has ended all the same.
    if (exitCode != STILL_ACTIVE || waited == WAIT_OBJECT_0 || waited == WAIT_FAILED) break;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);

  if (exitCode == 0) {
    SetWindowTextA(outputPane, "Compile complete");
    RunProgram();
    CloseHandle(capture);
    return;
  }

  FlushFileBuffers(capture);
  CloseHandle(capture);
  HANDLE output = INVALID_HANDLE_VALUE;
  for (unsigned long waited = 0;; waited += quillo::kReopenStepMs) {
    output = CreateFileA(kCaptureFile, GENERIC_READ, 0, &inheritable, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
    if (output != INVALID_HANDLE_VALUE || !quillo::retry_output_open(GetLastError(), waited)) break;
    Sleep(quillo::kReopenStepMs);
  }
  if (output == INVALID_HANDLE_VALUE) {
    MessageBoxA(nullptr, "Output file open error", "Error", MB_OK);
    SendMessageA(mainWindow, WM_DESTROY, 0, 0);
    return;  // nothing is read from an invalid handle
  }
  char* bytes = nullptr;
  DWORD count = 0;
  const bool read = read_whole_file(output, &bytes, &count);
  CloseHandle(output);
  if (!read) return;  // the pane keeps its text
  const size_t shown = quillo::shown_output_length(count);
  CopyMemory(textBuffer, bytes, shown);
  textBuffer[shown] = '\0';
  HeapFree(GetProcessHeap(), 0, bytes);
  SetWindowTextA(outputPane, textBuffer);
}

INT_PTR CALLBACK InfoDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_CLOSE:
      EndDialog(dialog, 0);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) EndDialog(dialog, IDOK);
      return TRUE;
    default:
      return FALSE;
  }
}

LRESULT CALLBACK DropWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      DragAcceptFiles(window, TRUE);
      break;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      RECT area;
      GetClientRect(window, &area);
      HPEN dashed = CreatePen(PS_DASH, 0, 0x00FF0000);
      HGDIOBJ oldPen = SelectObject(dc, dashed);
      Rectangle(dc, area.left, area.top, area.right, area.bottom);
      SelectObject(dc, oldPen);
      DeleteObject(dashed);
      HFONT font = CreateUiFont(kUiFace, 12, 0);
      HGDIOBJ oldFont = SelectObject(dc, font);
      area.top += 5;
      DrawTextA(dc, sourceTitle, -1, &area, DT_CENTER | DT_WORDBREAK);
      SelectObject(dc, oldFont);
      EndPaint(window, &paint);
      DeleteObject(font);
      break;
    }
    case WM_DROPFILES: {
      HDROP drop = reinterpret_cast<HDROP>(wParam);
      const UINT files = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
      for (UINT i = 0; i < files; ++i) {
        DragQueryFileA(drop, i, sourcePath, sizeof sourcePath);
        sourceTitle[0] = '\0';
        GetFileTitleA(sourcePath, sourceTitle, sizeof sourceTitle);
        const char* extension = PathFindExtensionA(sourcePath);
        if (lstrcmpA(extension, ".c") != 0) {
          MessageBoxA(window, kExtensionWarning, "MesBox", MB_OK);
        }
        // The title buffer holds 256 characters; PathAddExtensionA assumes 260.
        if (lstrlenA(sourceTitle) + lstrlenA(extension) < static_cast<int>(sizeof sourceTitle)) {
          PathAddExtensionA(sourceTitle, extension);
        }
      }
      DragFinish(drop);
      SetWindowTextA(outputPane, ">");
      InvalidateRect(window, nullptr, TRUE);
      break;
    }
    default:
      break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE: {
      char* bytes = nullptr;
      DWORD count = 0;
      if (read_whole_file(settingsFile, &bytes, &count)) {
        quillo::settings_from_bytes(bytes, count, compilerPath, compilerDir, sizeof compilerPath);
        PathRemoveFileSpecA(compilerDir);
        HeapFree(GetProcessHeap(), 0, bytes);
      } else {
        MessageBoxA(nullptr, "file:set.ini read error", "Error", MB_OK);
        SendMessageA(window, WM_DESTROY, 0, 0);
      }
      CloseHandle(settingsFile);
      settingsFile = INVALID_HANDLE_VALUE;

      lstrcpynA(sourceTitle, kDropPrompt, sizeof sourceTitle);
      RECT client;
      GetClientRect(window, &client);
      clientWidth = client.right - client.left;
      clientHeight = client.bottom - client.top;
      instance = reinterpret_cast<LPCREATESTRUCTA>(lParam)->hInstance;
      goButton = CreateWindowExA(0, "BUTTON", "GO", WS_CHILD | WS_VISIBLE, 10, 10, 150, 40, window,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_GO)), instance,
                                 nullptr);
      paneFont = CreateUiFont(kUiFace, 12, 0);
      outputPane = CreateWindowExA(WS_EX_CLIENTEDGE, "EDIT", ">", kPaneStyle, 0, 70, clientWidth,
                                   clientHeight, window,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(kPaneId)),
                                   instance, nullptr);
      SendMessageA(outputPane, WM_SETFONT, reinterpret_cast<WPARAM>(paneFont), TRUE);
      RegisterDropClass(instance, DropWndProc, kDropClass);
      dropPanel = CreateWindowExA(0, kDropClass, "", WS_CHILD | WS_VISIBLE, 170, 10,
                                  clientWidth - 180, 40, window,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(kPanelId)),
                                  instance, nullptr);
      break;
    }
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDM_OPEN:
          if (!ChooseSourceFile(window)) lstrcpynA(sourceTitle, kDropPrompt, sizeof sourceTitle);
          SetWindowTextA(outputPane, ">");
          InvalidateRect(dropPanel, nullptr, TRUE);
          break;
        case IDM_EXIT:
          SendMessageA(window, WM_CLOSE, 0, 0);
          break;
        case IDM_INFO: {
#ifdef _WIN64
          auto owner = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(window, GWLP_HINSTANCE));
#else
          auto owner = reinterpret_cast<HINSTANCE>(GetWindowLongA(window, GWL_HINSTANCE));
#endif
          DialogBoxParamA(owner, "INFORMATION", window, InfoDlgProc, 0);
          break;
        }
        case IDC_GO:
          CompileSource();
          break;
        default:
          break;
      }
      break;
    default:
      break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int) {
  WNDCLASSA wc = {};
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = MainWndProc;
  wc.hInstance = hInstance;
  wc.hIcon = LoadIconA(hInstance, "PLIMO");
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  wc.lpszMenuName = "MYMENU";
  wc.lpszClassName = "quillo_R";
  if (!RegisterClassA(&wc)) return -1;

  settingsFile = CreateFileA("./set.ini", GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  if (settingsFile == INVALID_HANDLE_VALUE) {
    MessageBoxA(nullptr, "file:set.ini open error", "Erorr", MB_OK);
    return -1;
  }
  mainWindow = CreateWindowExA(0, "quillo_R", "quillo_R", kMainStyle, CW_USEDEFAULT,
                               CW_USEDEFAULT, 500, 300, nullptr, nullptr, hInstance, nullptr);
  if (!mainWindow) return -1;

  MSG msg = {};
  // GetMessageA answers -1 on failure; that ends the loop too.
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return static_cast<int>(msg.wParam);
}
