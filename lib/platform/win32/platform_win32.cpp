// The Win32 backend: named file mappings, the server's window and
// WM_COPYDATA, message boxes.  ANSI functions throughout.
#include <windows.h>

#include "lib/platform/platform.h"

namespace lumo::platform {

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

bool server_window_exists(ServerWindow window) {
  return window != 0 && IsWindow(reinterpret_cast<HWND>(window)) != 0;
}

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

unsigned long last_error() { return GetLastError(); }

int message_box(const char* text, unsigned style) {
  return MessageBoxA(nullptr, text, nullptr, style);
}

}  // namespace lumo::platform
