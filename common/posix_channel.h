/* The POSIX side of the channel (common/channel.h): the program makes it
 * with memfd_create and hands it to the server with SCM_RIGHTS over its
 * socket; a program wakes a sleeping server with one byte on that socket,
 * the server wakes a sleeping program with FUTEX_WAKE (shared, never
 * FUTEX_PRIVATE_FLAG). */
#ifndef LUMO_COMMON_POSIX_CHANNEL_H
#define LUMO_COMMON_POSIX_CHANNEL_H

#include <atomic>
#include <cstdint>
#include <ctime>

#include "common/channel.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace lumo::posix_channel {

using namespace lumo::channel;

inline constexpr uint32_t kHandshakeKind = 0x4C4D4348;  // "HCML": a channel follows
inline constexpr char kWakeByte = 'W';

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
