/* A program's first call to a window that shows, through the kit: opens a
 * window, draws a line, waits for a line on stdin, closes its windows and
 * ends its link (bench/startup_bench.cpp times it). */
#include <stdio.h>

#include "first_call.h"

#include "include/lumo.h"

int main(void) {
  char line[16];
  note_first_call();
  if (LmOpen(0) <= 0) return 1;
  LmLine(0.1f, 0.1f, 0.9f, 0.9f);
  if (!fgets(line, sizeof line, stdin)) return 2;
  LmClose(-1);
  LmQuit();
  return 0;
}
