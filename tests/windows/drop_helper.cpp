// Loaded into a program under test by wine_driver: drops the files listed in
// the mapping "LumoTestDropList" on the program's "D&Dchild" window with a
// real drop handle made in the program, as the shell does, then signals
// "LumoTestDropDone" and unloads itself.
#include <windows.h>
#include <shlobj.h>

#include <cstring>

namespace {

HMODULE self;

BOOL CALLBACK find_main(HWND w, LPARAM param) {
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  char name[64] = "";
  GetClassNameA(w, name, sizeof name);
  if (pid != GetCurrentProcessId() || std::strcmp(name, "quillo_R") != 0) return TRUE;
  *reinterpret_cast<HWND*>(param) = w;
  return FALSE;
}

DWORD WINAPI drop(void*) {
  HANDLE mapping = OpenFileMappingA(FILE_MAP_READ, FALSE, "LumoTestDropList");
  const char* list = mapping ? static_cast<const char*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0))
                             : nullptr;
  HWND main = nullptr;
  EnumWindows(find_main, reinterpret_cast<LPARAM>(&main));
  HWND panel = main ? FindWindowExA(main, nullptr, "D&Dchild", nullptr) : nullptr;
  if (list && panel) {
    size_t length = 0;
    while (list[length] != '\0') length += std::strlen(list + length) + 1;
    HGLOBAL handle = GlobalAlloc(GHND, sizeof(DROPFILES) + length + 1);
    auto* files = static_cast<DROPFILES*>(GlobalLock(handle));
    files->pFiles = sizeof(DROPFILES);
    files->fWide = FALSE;
    std::memcpy(reinterpret_cast<char*>(files) + sizeof(DROPFILES), list, length + 1);
    GlobalUnlock(handle);
    PostMessageA(panel, WM_DROPFILES, reinterpret_cast<WPARAM>(handle), 0);
  }
  if (list) UnmapViewOfFile(list);
  if (mapping) CloseHandle(mapping);
  HANDLE done = OpenEventA(EVENT_MODIFY_STATE, FALSE, "LumoTestDropDone");
  if (done) {
    SetEvent(done);
    CloseHandle(done);
  }
  FreeLibraryAndExitThread(self, 0);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, void*) {
  if (reason == DLL_PROCESS_ATTACH) {
    self = module;
    HANDLE thread = CreateThread(nullptr, 0, drop, nullptr, 0, nullptr);
    if (thread) CloseHandle(thread);
  }
  return TRUE;
}
