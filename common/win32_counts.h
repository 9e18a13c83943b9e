/* Counts of the Windows channel's waits and wake-ups, for the benchmark
 * (bench/win_bench.cpp): the library keeps the program's, and lumoview.exe
 * started with LUMOVIEW_COUNTS=1 keeps its own in a named mapping,
 * kCountsName followed by its process id, that the benchmark reads.  Plain
 * increments: nothing else reads them. */
#ifndef LUMO_COMMON_WIN32_COUNTS_H
#define LUMO_COMMON_WIN32_COUNTS_H

#include <cstdint>

namespace lumo::win32_channel {

struct ProgramCounts {
  uint32_t answers_slept;   // answered commands that slept for their answer
  uint32_t room_slept;      // posts that slept for room in the ring
  uint32_t waits_timed_out; // sleeps that ran to their kLivenessMs limit
  uint32_t wakes_sent;      // wake-up messages posted to a sleeping server
};

struct ServerCounts {
  uint32_t sleeps;          // the server went to sleep
  uint32_t second_looks;    // ... and its first, short wait ran out
  uint32_t long_sleeps;     // ... and it then slept until a message
  uint32_t answer_wakes;    // a program woken for its answer
  uint32_t room_wakes;      // a program woken for room
  uint32_t paints;          // windows painted
  uint32_t looks;           // looks at the message queue
  // Microseconds spent serving the channels, in the message loop (painting
  // among it) and asleep.
  uint64_t serving_us, messages_us, asleep_us;
  // The server's processor time (kernel and user), as it was when it last
  // answered a command.
  uint64_t cpu_us;
};

inline constexpr char kCountsName[] = "Local\\LumoViewCounts-";

}  // namespace lumo::win32_channel

namespace lumo::platform {
// The program's counts so far (lib/platform/win32).
const win32_channel::ProgramCounts& channel_counts();
}  // namespace lumo::platform

#endif
