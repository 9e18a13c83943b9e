// The Windows server's vector figures: made by the figure writer from the
// display list, written beside the target and moved over it.
#include <atomic>
#include <windows.h>

#include <string>

#include "server/canvas/beside_thread.h"
#include "server/canvas/figure_writer.h"
#include "server/canvas/gdi_canvas.h"
#include "server/core/figure_files.h"

namespace lumo::server {
namespace {

// Program text is in the system's ANSI code page.
std::string ansi_to_utf8(const std::string& text) {
  if (text.empty()) return text;
  const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0], n);
  const int m = WideCharToMultiByte(CP_UTF8, 0, wide.data(), n, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(m), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), n, &out[0], m, nullptr, nullptr);
  return out;
}

}  // namespace

std::string replace_refusal(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
    return path + " is write-protected";
  }
  return "";
}

bool write_scaled_png(RecordingCanvas& list, double, const std::string& path) { return list.save_png(path); }

std::unique_ptr<BesideTask> start_png_file(RecordingCanvas& list, double, const std::string& path) {
  return list.start_png_write(path);
}

namespace {

FigureText program_text() {
  FigureText text;
  text.to_utf8 = ansi_to_utf8;
  text.latin = GetACP() == 1252;
  return text;
}

// The bytes written beside the target and moved over it.
bool write_bytes(const std::string& path, const std::string& bytes) {
  if (bytes.empty()) return false;
  // A name of this write's own: two files of one name may be written at once.
  static std::atomic<unsigned> writes{0};
  std::string temp;
  HANDLE f = INVALID_HANDLE_VALUE;
  for (int tries = 0; f == INVALID_HANDLE_VALUE && tries < 8; ++tries) {
    temp = path + "." + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(writes++) + ".tmp";
    f = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
  }
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok = WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                  written == bytes.size();
  const bool closed = CloseHandle(f) != 0;
  if (!ok || !closed || !MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    DeleteFileA(temp.c_str());
    return false;
  }
  return true;
}


}  // namespace

std::unique_ptr<BesideTask> start_vector_figure(RecordingCanvas& list, FigureFormat format, const std::string& path,
                                                int dpi) {
  if (format == FigureFormat::kPng || !list.complete()) return nullptr;
  // Written on a thread of its own from a snapshot of the list, its texts
  // measured on a surface of the thread's own (a DC is not shared between
  // threads).
  return std::make_unique<ThreadTask>([list = list.snapshot(), format, path, dpi](const std::atomic<bool>&) {
    GdiCanvas measurer(1, 1, Rgb{});
    return write_bytes(path, make_figure(list, measurer, format, dpi, program_text()));
  });
}

bool write_vector_figure(RecordingCanvas& list, FigureFormat format, const std::string& path, int dpi) {
  return write_bytes(path, make_figure(list, format, dpi, program_text()));
}

}  // namespace lumo::server
