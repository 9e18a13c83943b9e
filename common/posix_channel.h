/* The fast path of the POSIX transport: a channel in shared memory per
 * connection.  The program writes a command, publishes it by advancing
 * `request`, and waits for `reply_seq` to follow; each side spins for a
 * short, time-bounded while and then sleeps (the program on a futex, the
 * server in poll on its sockets).  Before sleeping a side raises its
 * `*_sleeping` flag and looks once more; the other side publishes first and
 * then reads the flag, both sequentially consistent, so no wake-up is lost.
 * A program wakes a sleeping server with one byte on the connection's socket;
 * the server wakes a sleeping program with FUTEX_WAKE on `reply_seq` (shared,
 * never FUTEX_PRIVATE_FLAG). */
#ifndef LUMO_COMMON_POSIX_CHANNEL_H
#define LUMO_COMMON_POSIX_CHANNEL_H

#include <atomic>
#include <cstdint>
#include <ctime>

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace lumo::posix_channel {

inline constexpr uint32_t kHandshakeKind = 0x4C4D4348;  // "HCML": a channel follows
inline constexpr uint32_t kMaxCommand = 4096;
inline constexpr char kWakeByte = 'W';

struct alignas(64) Channel {
  std::atomic<uint32_t> request;         // advanced by the program per command
  std::atomic<uint32_t> server_sleeping;
  char pad1[56];
  std::atomic<uint32_t> reply_seq;       // set to `request` by the server
  std::atomic<uint32_t> client_sleeping;
  int32_t reply;
  char pad2[52];
  uint32_t kind;
  uint32_t size;
  unsigned char command[kMaxCommand];
};

static_assert(std::atomic<uint32_t>::is_always_lock_free, "futex words must be plain words");

inline long futex_wait(std::atomic<uint32_t>* word, uint32_t expected, const timespec* timeout) {
  return syscall(SYS_futex, reinterpret_cast<uint32_t*>(word), FUTEX_WAIT, expected, timeout,
                 nullptr, 0);
}

inline long futex_wake(std::atomic<uint32_t>* word) {
  return syscall(SYS_futex, reinterpret_cast<uint32_t*>(word), FUTEX_WAKE, 1, nullptr, nullptr,
                 0);
}

inline long long monotonic_ns() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

inline void cpu_relax() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#endif
}

}  // namespace lumo::posix_channel

#endif
