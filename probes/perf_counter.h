/* The high-resolution performance counter: the system's own on Windows; on
 * POSIX systems the monotonic clock in nanoseconds (frequency 1e9), with the
 * same LowPart / HighPart halves. */
#ifndef LUMO_PERF_COUNTER_H
#define LUMO_PERF_COUNTER_H

#ifdef _WIN32
#include <windows.h>
#else
#include <time.h>

typedef union {
  struct {
    unsigned int LowPart;
    int HighPart;
  } u;
  long long QuadPart;
} LARGE_INTEGER;

static inline int QueryPerformanceFrequency(LARGE_INTEGER *frequency) {
  frequency->QuadPart = 1000000000LL;
  return 1;
}

static inline int QueryPerformanceCounter(LARGE_INTEGER *count) {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  count->QuadPart = (long long)ts.tv_sec * 1000000000LL + ts.tv_nsec;
  return 1;
}
#endif

/* The halves as the platform names them. */
#ifdef _WIN32
#define LOW_PART(v) ((v).LowPart)
#define HIGH_PART(v) ((v).HighPart)
#else
#define LOW_PART(v) ((v).u.LowPart)
#define HIGH_PART(v) ((v).u.HighPart)
#endif

#endif
