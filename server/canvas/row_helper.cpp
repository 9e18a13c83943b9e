#include "server/canvas/row_helper.h"

#include <pthread.h>
#include <time.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#ifdef __linux__
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace lumo::server {
namespace {

// One job at a time: posted by the drawing thread, picked up by the helper
// if it wakes before the drawing thread has taken every chunk itself.
struct Helper {
  enum State { kIdle, kPosted, kRunning, kDone };
  std::mutex mutex;
  std::condition_variable wake, finished;
  State state = kIdle;  // guarded by mutex
  std::atomic<int> next{0};
  int chunks = 0;
  void (*job)(void*, int) = nullptr;
  void* context = nullptr;
#ifdef __linux__
  std::atomic<pid_t> tid{0};
  cpu_set_t allowed;     // the processors the process may use
  int kept_off = -1;     // the processor the helper was last kept off
#endif
  int alone = 0;  // jobs still to be done without the helper (it fell behind)

  void take_chunks() {
    for (int c; (c = next.fetch_add(1, std::memory_order_relaxed)) < chunks;) job(context, c);
  }

  void run() {
#ifdef __linux__
    // The helper takes only what the machine leaves idle: a program
    // drawing, the server's own thread and the web view come first (a
    // chunk it does not take, the drawing thread does).
    const pid_t self = static_cast<pid_t>(syscall(SYS_gettid));
    setpriority(PRIO_PROCESS, static_cast<id_t>(self), 10);
    tid.store(self, std::memory_order_release);
#endif
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
      wake.wait(lock, [this] { return state == kPosted; });
      state = kRunning;
      lock.unlock();
      take_chunks();
      lock.lock();
      state = kDone;
      finished.notify_one();
    }
  }
};

Helper* helper() {
  // Made on first use and kept for the process's life (the thread sleeps
  // while there is nothing to share).
  static Helper* const shared = []() -> Helper* {
#ifdef __linux__
    cpu_set_t allowed;
    if (sched_getaffinity(0, sizeof allowed, &allowed) != 0 || CPU_COUNT(&allowed) < 2) return nullptr;
    Helper* h = new Helper;
    h->allowed = allowed;
#else
    if (std::thread::hardware_concurrency() < 2) return nullptr;
    Helper* h = new Helper;
#endif
    // A thread that cannot be made (a process limit) leaves the work to
    // the drawing thread.
    pthread_t thread;
    auto start = [](void* helper) -> void* {
      static_cast<Helper*>(helper)->run();
      return nullptr;
    };
    if (pthread_create(&thread, nullptr, start, h) != 0) {
      delete h;
      return nullptr;
    }
    pthread_detach(thread);
    return h;
  }();
  return shared;
}

long long now_ns() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1000000000LL + t.tv_nsec;
}

// Jobs done without the helper after it fell behind: it is then starved
// (a busy neighbour on its processor outranks it), and waiting for the
// chunk it holds would slow the drawing thread down instead.
constexpr int kAloneAfterFallingBehind = 64;
constexpr long long kLongWaitNs = 100000;  // shorter waits are the wake-up's own
constexpr long long kWakeNs = 300000;      // a helper given a processor starts within this

}  // namespace

bool chunks_shared() { return helper() != nullptr; }

void run_chunks(int chunks, void (*job)(void*, int), void* context) {
  Helper* h = chunks > 1 ? helper() : nullptr;
  if (h && h->alone > 0) {
    --h->alone;
    h = nullptr;
  }
  if (!h) {
    for (int c = 0; c < chunks; ++c) job(context, c);
    return;
  }
#ifdef __linux__
  // Woken by this thread, the helper tends to be placed on this thread's
  // processor, where it only takes turns with it while the other one idles.
  // It is kept off the processor this thread is on (looked at each time:
  // the scheduler moves this thread too).
  const int here = sched_getcpu();
  const pid_t helper_tid = h->tid.load(std::memory_order_acquire);
  if (here >= 0 && here != h->kept_off && helper_tid > 0) {
    cpu_set_t elsewhere = h->allowed;
    CPU_CLR(here, &elsewhere);
    bool kept = CPU_COUNT(&elsewhere) > 0 && sched_setaffinity(helper_tid, sizeof elsewhere, &elsewhere) == 0;
    if (!kept && sched_getaffinity(0, sizeof h->allowed, &h->allowed) == 0) {
      // The process's processors changed since the helper was made.
      elsewhere = h->allowed;
      CPU_CLR(here, &elsewhere);
      kept = CPU_COUNT(&elsewhere) > 0 && sched_setaffinity(helper_tid, sizeof elsewhere, &elsewhere) == 0;
    }
    if (kept) h->kept_off = here;
  }
#endif
  const long long start = now_ns();
  {
    std::lock_guard<std::mutex> lock(h->mutex);
    h->job = job;
    h->context = context;
    h->chunks = chunks;
    h->next.store(0, std::memory_order_relaxed);
    h->state = Helper::kPosted;
  }
  h->wake.notify_one();
  h->take_chunks();
  const long long own = now_ns() - start;
  std::unique_lock<std::mutex> lock(h->mutex);
  const bool started = h->state != Helper::kPosted;
  if (started) h->finished.wait(lock, [h] { return h->state == Helper::kDone; });
  // Not started: every chunk was done here, and the helper sleeps on.
  h->state = Helper::kIdle;
  lock.unlock();
  // Shared evenly, the two end within about a chunk of each other.  A
  // helper that kept this thread waiting longer than half its own work, or
  // never started on a job long enough to wake it, is not getting a
  // processor (a short job may well be done before it wakes).
  const long long waited = now_ns() - start - own;
  if ((started && waited > own / 2 && waited > kLongWaitNs) || (!started && own > kWakeNs)) {
    h->alone = kAloneAfterFallingBehind;
  }
}

}  // namespace lumo::server
