// lumoview.exe's lines for one program's standard error: the server's own
// duplicate of the handle the program offered with its channel (a console,
// a pipe or a file), written by a thread of its own, so that a pipe nobody
// reads, or a console whose output is paused, never holds the server up.
#ifndef LUMO_SERVER_HOST_WIN32_TELLER_H
#define LUMO_SERVER_HOST_WIN32_TELLER_H

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

namespace lumo::server {

class Teller {
 public:
  // Lines a program hears at most; then one saying the log has the rest.
  static constexpr int kMaxLines = 64;
  // How long a line may take to be written before the server goes on
  // without waiting for it (and for later lines, until they catch up).
  static constexpr DWORD kLineWaitMs = 50;

  // The program's standard error, duplicated out of `process` (opened with
  // PROCESS_DUP_HANDLE) from the handle value it offered; null when there
  // is none or it cannot be had.
  static std::unique_ptr<Teller> open(HANDLE process, uint64_t handle_value);

  // Writes "text" as a line ("\r\n" ends it, as the program's own text-mode
  // output does); waits for it at most kLineWaitMs.
  void tell(const std::string& text);

  // Lines still queued are written, then the handle is closed, by the
  // thread: it is never waited for longer than `wait_ms`.
  void finish(DWORD wait_ms);
  ~Teller();

  struct Shared;

 private:
  Teller(Shared* shared, HANDLE thread) : shared_(shared), thread_(thread) {}
  Shared* shared_;
  HANDLE thread_;
  int told_ = 0;
  bool slow_ = false;  // the last line was not written in time
  bool finished_ = false;
};

}  // namespace lumo::server

#endif
