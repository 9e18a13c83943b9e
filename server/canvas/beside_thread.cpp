#include "server/canvas/beside_thread.h"

#include <cerrno>
#include <chrono>

namespace lumo::server {

BesideThread::BesideThread(std::function<bool(const std::atomic<bool>&)> work) : work_(std::move(work)) {
  if (pthread_create(&thread_, nullptr, &BesideThread::run, this) == 0) {
    joinable_ = true;
  } else {
    run(this);
  }
}

void* BesideThread::run(void* self) {
  auto* t = static_cast<BesideThread*>(self);
  errno = 0;
  const bool ok = t->work_(t->stop_);
  const int error = ok ? 0 : errno;
  std::lock_guard<std::mutex> hold(t->mutex_);
  t->ok_ = ok;
  t->error_ = error;
  t->done_ = true;
  t->ended_.notify_all();
  return nullptr;
}

bool BesideThread::wait(double seconds) {
  std::unique_lock<std::mutex> hold(mutex_);
  if (!done_ && seconds > 0) {
    ended_.wait_for(hold, std::chrono::duration<double>(seconds), [this] { return done_; });
  }
  return done_;
}

void BesideThread::end(bool stop) {
  if (stop) stop_.store(true, std::memory_order_relaxed);
  if (!joinable_) return;
  pthread_join(thread_, nullptr);
  joinable_ = false;
}

}  // namespace lumo::server
