// A piece of work on a thread of its own beside the command loop: the loop
// waits for it a slice at a time and serves other programs between.
// (beside_thread.cpp with POSIX threads, beside_thread_win32.cpp with the
// Windows API's.)
#ifndef LUMO_SERVER_CANVAS_BESIDE_THREAD_H
#define LUMO_SERVER_CANVAS_BESIDE_THREAD_H

#ifdef _WIN32
#include <windows.h>
#else
#include <pthread.h>

#include <condition_variable>
#include <mutex>
#endif

#include <atomic>
#include <functional>

#include "server/core/canvas.h"

namespace lumo::server {

class BesideThread {
 public:
  // Starts `work` on a thread; it answers whether it succeeded (errno is
  // kept when it did not) and should end soon once `stop` is set.  When no
  // thread can be had the work is done here, at once.
  explicit BesideThread(std::function<bool(const std::atomic<bool>& stop)> work);
  BesideThread(const BesideThread&) = delete;
  BesideThread& operator=(const BesideThread&) = delete;
  ~BesideThread() { end(false); }
  // Waits at most `seconds`; true once the work has ended.
  bool wait(double seconds);
  // Waits for the work to end, asking it to stop first when `stop`; the
  // thread is joined.
  void end(bool stop);
  bool succeeded() const { return ok_; }
  int error() const { return error_; }

 private:
  std::function<bool(const std::atomic<bool>&)> work_;
  std::atomic<bool> stop_{false};
  bool ok_ = false;    // written before done_
  int error_ = 0;
#ifdef _WIN32
  static DWORD WINAPI run(void* self);
  std::atomic<bool> done_{false};
  HANDLE thread_ = nullptr;  // signalled when the work has ended
#else
  static void* run(void* self);
  std::mutex mutex_;
  std::condition_variable ended_;
  bool done_ = false;  // guarded by mutex_
  bool joinable_ = false;
  pthread_t thread_{};
#endif
};

// A request's work done on a thread of its own (everything it needs held
// by the function), as a task the loop waits for.  The function is let go
// with the task, on the loop's thread.
class ThreadTask : public BesideTask {
 public:
  explicit ThreadTask(std::function<bool(const std::atomic<bool>& stop)> work) : thread_(std::move(work)) {}
  // Done whole even when its window goes meanwhile: the program asked for
  // it and is answered when it is done.
  ~ThreadTask() override { thread_.end(false); }
  bool wait(double seconds) override { return thread_.wait(seconds); }
  bool succeeded() const override { return thread_.succeeded(); }
  int error() const override { return thread_.error(); }

 private:
  BesideThread thread_;
};

}  // namespace lumo::server

#endif
