/* Draws for SECONDS seconds without a pause: anti-aliased lines of every
 * colour all over a 640 x 480 window, the whole picture cleared now and then,
 * and prints how many lines it drew ("lines N in S s").  The web view's tests
 * watch it with browsers that read and browsers that do not; with --wait it
 * starts drawing only after a line on standard input (the web view's
 * benchmark connects its browsers first).  With --lines N it draws N lines
 * and nothing else (a display list that makes a large figure), prints
 * "drawn N", and ends at a line on standard input. */
#define _POSIX_C_SOURCE 199309L
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "lumo.h"

static double now(void) {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec + ts.tv_nsec * 1e-9;
}

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? atof(argv[1]) : 3.0;
  unsigned seed = 12345;
  long lines = 0;
  double start, end;
  int w = LmOpenEx(1, 640, 480, -1, -1, -1, "flood");
  if (w <= 0) return 1;
  if (argc > 2 && strcmp(argv[1], "--lines") == 0) {
    const long count = atol(argv[2]);
    for (lines = 0; lines < count; ++lines) {
      seed = seed * 1103515245u + 12345u;
      LmDevSetPen(w, LmRgb((int)(seed >> 3) & 255, (int)(seed >> 11) & 255, 0), 0, 1, 4);
      LmDevLine(w, (int)(seed >> 8) % 640, (int)(seed >> 4) % 480, (int)(seed >> 12) % 640,
                (int)(seed >> 16) % 480);
    }
    printf("drawn %ld\n", lines);
    fflush(stdout);
    (void)getchar();
    return 0;
  }
  if (argc > 2 && strcmp(argv[2], "--wait") == 0) {
    printf("waiting\n");
    fflush(stdout);
    if (getchar() == EOF) return 1;
  }
  printf("drawing\n");
  fflush(stdout);
  start = now();
  end = start + seconds;
  while (now() < end) {
    int i;
    for (i = 0; i < 1000; ++i, ++lines) {
      int x1, y1, x2, y2;
      seed = seed * 1103515245u + 12345u;
      x1 = (seed >> 8) % 640;
      y1 = (seed >> 4) % 480;
      seed = seed * 1103515245u + 12345u;
      x2 = (seed >> 8) % 640;
      y2 = (seed >> 4) % 480;
      LmDevSetPen(w, LmRgb((int)(seed >> 3) & 255, (int)(seed >> 11) & 255, (int)(seed >> 19) & 255), 0,
                  1, 4);
      LmDevLine(w, x1, y1, x2, y2);
    }
    if (lines % 50000 == 0) LmDevRectMode(w, 0, 0, 640, 480, 4); /* clear to the background */
  }
  printf("lines %ld in %.3f s\n", lines, now() - start);
  return 0;
}
