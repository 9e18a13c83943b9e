#include "server/host/win32_teller.h"

#include <deque>

namespace lumo::server {

// What the server and the writing thread share; the last of the two to let
// go of it frees it.
struct Teller::Shared {
  CRITICAL_SECTION lock;
  HANDLE out = nullptr;      // the duplicate, closed by the thread
  HANDLE wake = nullptr;     // auto-reset: a line is queued, or the end
  HANDLE drained = nullptr;  // manual-reset: nothing queued or being written
  std::deque<std::string> lines;
  bool finishing = false;
  bool broken = false;       // a write failed: the reader has gone
  LONG holders = 2;

  void release() {
    if (InterlockedDecrement(&holders) != 0) return;
    DeleteCriticalSection(&lock);
    CloseHandle(wake);
    CloseHandle(drained);
    delete this;
  }
};

namespace {

DWORD WINAPI write_lines(void* arg) {
  auto* s = static_cast<Teller::Shared*>(arg);
  for (;;) {
    EnterCriticalSection(&s->lock);
    while (s->lines.empty() && !s->finishing) {
      LeaveCriticalSection(&s->lock);
      WaitForSingleObject(s->wake, INFINITE);
      EnterCriticalSection(&s->lock);
    }
    if (s->lines.empty()) {
      LeaveCriticalSection(&s->lock);
      break;
    }
    std::string line = std::move(s->lines.front());
    s->lines.pop_front();
    LeaveCriticalSection(&s->lock);
    DWORD written = 0;
    const bool ok = WriteFile(s->out, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) &&
                    written == line.size();
    EnterCriticalSection(&s->lock);
    if (!ok) {
      s->broken = true;
      s->lines.clear();
    }
    if (s->lines.empty()) SetEvent(s->drained);
    LeaveCriticalSection(&s->lock);
  }
  CloseHandle(s->out);
  s->release();
  return 0;
}

}  // namespace

std::unique_ptr<Teller> Teller::open(HANDLE process, uint64_t handle_value) {
  const HANDLE theirs = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(handle_value));
  if (!process || !theirs || theirs == INVALID_HANDLE_VALUE) return nullptr;
  HANDLE out = nullptr;
  if (!DuplicateHandle(process, theirs, GetCurrentProcess(), &out, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
    return nullptr;
  }
  // A console, a pipe or a file; anything else (a handle value that named
  // some other object of the program's) is not written to.
  const DWORD type = GetFileType(out);
  if (type != FILE_TYPE_CHAR && type != FILE_TYPE_PIPE && type != FILE_TYPE_DISK) {
    CloseHandle(out);
    return nullptr;
  }
  auto* s = new Shared;
  InitializeCriticalSection(&s->lock);
  s->out = out;
  s->wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  s->drained = CreateEventA(nullptr, TRUE, TRUE, nullptr);
  HANDLE thread = s->wake && s->drained ? CreateThread(nullptr, 64 * 1024, write_lines, s,
                                                       STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr)
                                        : nullptr;
  if (!thread) {
    CloseHandle(out);
    if (s->wake) CloseHandle(s->wake);
    if (s->drained) CloseHandle(s->drained);
    DeleteCriticalSection(&s->lock);
    delete s;
    return nullptr;
  }
  return std::unique_ptr<Teller>(new Teller(s, thread));
}

void Teller::tell(const std::string& text) {
  if (finished_ || told_ > kMaxLines) return;
  // One line of a bounded length, so a program's lines never interleave.
  std::string line = ++told_ > kMaxLines ? "lumoview: more in the server's log" : text.substr(0, 1000);
  line += "\r\n";
  // A line written since the last one timed out: waiting is worth it again.
  if (slow_ && WaitForSingleObject(shared_->drained, 0) == WAIT_OBJECT_0) slow_ = false;
  EnterCriticalSection(&shared_->lock);
  const bool broken = shared_->broken;
  if (!broken) {
    shared_->lines.push_back(std::move(line));
    ResetEvent(shared_->drained);
  }
  LeaveCriticalSection(&shared_->lock);
  if (broken) return;
  SetEvent(shared_->wake);
  // Written before the server goes on, as a rule: the program's own later
  // output follows it.
  if (!slow_ && WaitForSingleObject(shared_->drained, kLineWaitMs) == WAIT_TIMEOUT) slow_ = true;
}

void Teller::finish(DWORD wait_ms) {
  if (finished_) return;
  finished_ = true;
  EnterCriticalSection(&shared_->lock);
  shared_->finishing = true;
  LeaveCriticalSection(&shared_->lock);
  SetEvent(shared_->wake);
  if (wait_ms) WaitForSingleObject(thread_, wait_ms);
}

Teller::~Teller() {
  finish(0);
  CloseHandle(thread_);
  shared_->release();
}

}  // namespace lumo::server
