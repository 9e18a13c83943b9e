// BesideThread with the Windows API's threads: the thread's handle is
// signalled when the work has ended.
#include <cerrno>

#include "server/canvas/beside_thread.h"

namespace lumo::server {

BesideThread::BesideThread(std::function<bool(const std::atomic<bool>&)> work) : work_(std::move(work)) {
  thread_ = CreateThread(nullptr, 0, &BesideThread::run, this, 0, nullptr);
  if (!thread_) run(this);
}

DWORD WINAPI BesideThread::run(void* self) {
  auto* t = static_cast<BesideThread*>(self);
  errno = 0;
  const bool ok = t->work_(t->stop_);
  t->error_ = ok ? 0 : errno;
  t->ok_ = ok;
  t->done_.store(true, std::memory_order_release);
  return 0;
}

bool BesideThread::wait(double seconds) {
  if (done_.load(std::memory_order_acquire) || !thread_) return done_.load(std::memory_order_acquire);
  const DWORD ms = seconds <= 0 ? 0 : static_cast<DWORD>(seconds * 1000 + 0.999);
  WaitForSingleObject(thread_, ms);
  return done_.load(std::memory_order_acquire);
}

void BesideThread::end(bool stop) {
  if (stop) stop_.store(true, std::memory_order_relaxed);
  if (!thread_) return;
  WaitForSingleObject(thread_, INFINITE);
  CloseHandle(thread_);
  thread_ = nullptr;
}

}  // namespace lumo::server
