/* Writes the moment of the program's first call (CLOCK_MONOTONIC, seconds)
 * into the file STARTUP_FIRST_CALL names, for bench/startup_bench.cpp. */
#ifndef STARTUP_FIRST_CALL_H
#define STARTUP_FIRST_CALL_H

#include <stdio.h>
#include <stdlib.h>
#include <time.h>

static void note_first_call(void) {
  const char *path = getenv("STARTUP_FIRST_CALL");
  struct timespec t;
  FILE *f;
  clock_gettime(CLOCK_MONOTONIC, &t);
  if (!path || !(f = fopen(path, "w"))) return;
  fprintf(f, "%.6f\n", (double)t.tv_sec + t.tv_nsec / 1e9);
  fclose(f);
}

#endif
