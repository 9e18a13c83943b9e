/* The two programs of the freeze benchmark (bench/freeze_bench.cpp).
 *
 *   freeze_lumo paint N [FIGURE]
 *                        opens a 640 x 480 window, prints "ready", waits for
 *                        a line, prints "drawing", draws a random polyline
 *                        of N points with a 3-pixel pen (FIGURE "polyline"),
 *                        or with the crisp one-pixel pen a filled polygon
 *                        ("polygon") or Bezier curves ("bezier") through
 *                        them, a polyline ("xorline") or a polygon with a
 *                        brush ("xorpolygon") with a 3-pixel exclusive-or
 *                        pen, a dashed one-pixel polyline ("dashed") or
 *                        Bezier curves ("dashedcurves"), a
 *                        filled polygon turned and scaled ("turned"); or
 *                        ("svg") draws the points in a small box
 *                        before "ready" and writes the drawing file named
 *                        by FREEZE_FILE, or ("png") loads the picture file
 *                        FREEZE_FILE, or ("picture") opens an N x 3N/4
 *                        window instead, draws a few lines and saves it as
 *                        the PNG file FREEZE_FILE, or ("end") opens and
 *                        draws the same and quits (its picture written at
 *                        its end, into LUMOVIEW_PNG_DIR), or
 *                        ("drawnover") the same as "picture" (while a
 *                        scribbler draws into the window), or ("open")
 *                        opens a second window of N x 3N/4, or ("enlarge")
 *                        makes its window N x 3N/4; prints "drawn S C"
 *                        (seconds until the drawing was done, as a pixel
 *                        read after it tells, and the seconds the drawing
 *                        call itself took: the points are posted) and quits
 *                        after another line (or the end of its input)
 *   freeze_lumo read     joins the shown window, prints "joined", waits for
 *                        a line, then reads a pixel again and again until
 *                        a line comes: "answers=N worst_ms=W median_us=M"
 *                        (not on Windows)
 *   freeze_lumo scribble joins the shown window, prints "joined", waits for
 *                        a line, draws a box and reads a pixel in it, prints
 *                        "drawn" and quits after another line
 *   freeze_lumo read-for S  joins the shown window, prints "joined" and reads
 *                        a pixel again and again for S seconds: the same
 *                        line (scripts/run-win-freeze.sh, under Wine) */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <poll.h>
#include <time.h>
#include <unistd.h>
#endif

#include "lumo.h"

static double now(void) {
#ifdef _WIN32
  LARGE_INTEGER f, c;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&c);
  return (double)c.QuadPart / (double)f.QuadPart;
#else
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec + t.tv_nsec / 1e9;
#endif
}

static int paint(int n, const char *figure) {
  char line[64];
  unsigned seed = 7;
  int i;
  double t, call;
  float *xy = (float *)malloc(sizeof(float) * 2 * (size_t)n);
  if (!xy) return 2;
  for (i = 0; i < 2 * n; ++i) {
    seed = seed * 1103515245u + 12345u;
    xy[i] = (float)((seed >> 8) % (i % 2 ? 480u : 640u));
  }
  if (strcmp(figure, "drawnover") == 0) figure = "picture";
  if (strcmp(figure, "picture") == 0 || strcmp(figure, "end") == 0) {
    LmOpenEx(0, n, n * 3 / 4, -1, -1, -1, "Large");
    LmSetWorld(0, 0, 0, 0);
    for (i = 0; i < 2000; i += 4) LmLine(xy[i] * n / 640, xy[i + 1] * n / 640, xy[i + 2] * n / 640, xy[i + 3] * n / 640);
    LmGetPixel(0, 0);
  } else {
    LmOpenEx(0, 640, 480, -1, -1, -1, "Long");
  }
  LmSetWorld(0, 0, 0, 0);
  if (strcmp(figure, "svg") == 0) {
    /* A long display list that is quick to draw on pixels. */
    for (i = 0; i < 2 * n; ++i) xy[i] = 20 + (float)((int)xy[i] % 40);
    for (i = 0; i < n; i += 500000) LmPolyline(xy + 2 * i, n - i < 500000 ? n - i : 500000);
    LmGetPixel(0, 0);
  }
  if (strcmp(figure, "polyline") == 0) {
    LmSetPen(LmRgb(20, 40, 160), 0, 3, 4);
  } else if (strcmp(figure, "xorline") == 0 || strcmp(figure, "xorpolygon") == 0) {
    LmSetPen(LmRgb(20, 40, 160), 0, 3, LM_MODE_XOR);
    LmSetBrush(LmRgb(200, 120, 40), LM_BRUSH_SOLID, 0);
  } else if (strcmp(figure, "dashed") == 0 || strcmp(figure, "dashedcurves") == 0) {
    LmSetPen(LmRgb(20, 40, 160), LM_PEN_DASH, 1, LM_MODE_CRISP);
  } else {
    if (strcmp(figure, "turned") == 0) {
      const float t[6] = {100, 0.8f, 0.35f, -60, -0.3f, 0.85f};
      LmSetTransform(t);
    }
    LmSetPen(LmRgb(20, 40, 160), 0, 1, LM_MODE_CRISP);
    LmSetBrush(LmRgb(200, 120, 40), LM_BRUSH_SOLID, 0);
  }
  printf("ready\n");
  if (!fgets(line, sizeof line, stdin)) return 2;
  printf("drawing\n");
  t = now();
  if (strcmp(figure, "end") == 0) {
    LmQuitEx(0); /* answered once its picture is written */
    call = now() - t;
    printf("drawn %.3f %.3f\n", call, call);
    (void)!fgets(line, sizeof line, stdin);
    free(xy);
    return 0;
  }
  if (strcmp(figure, "open") == 0) {
    LmOpenEx(0, n, n * 3 / 4, -1, -1, -1, "Opened");
  } else if (strcmp(figure, "enlarge") == 0) {
    if (LmControl5(n, n * 3 / 4) != 1) return 4;
  } else if (strcmp(figure, "svg") == 0 || strcmp(figure, "png") == 0 || strcmp(figure, "picture") == 0) {
    const char *file = getenv("FREEZE_FILE");
    if (LmDrawingFile(strcmp(figure, "png") == 0, file ? file : "freeze.svg") != 1) return 4;
  } else if (strcmp(figure, "polygon") == 0 || strcmp(figure, "xorpolygon") == 0 ||
             strcmp(figure, "turned") == 0) {
    LmPolygon(xy, n, 1);
  } else if (strcmp(figure, "bezier") == 0 || strcmp(figure, "dashedcurves") == 0) {
    LmBezier(xy, n - (n - 1) % 3);
  } else {
    LmPolyline(xy, n);
  }
  call = now() - t;
  LmGetPixel(0, 0); /* answered when the drawing is done */
  printf("drawn %.3f %.3f\n", now() - t, call);
  /* It quits once told (or at the end of its input): the pictures written
     as it quits are not what is measured. */
  (void)!fgets(line, sizeof line, stdin);
  free(xy);
  LmQuitEx(0);
  return 0;
}

static int scribble(void) {
  char desc[280], line[64];
  if (LmJoin(0, 0, 1, desc) <= 0) return 3;
  printf("joined\n");
  if (!fgets(line, sizeof line, stdin)) return 2;
  LmSetWorld(0, 0, 0, 0);
  LmSetBrush(LmRgb(0, 200, 0), LM_BRUSH_SOLID, 0);
  LmRect(100, 100, 300, 200);
  LmGetPixel(200, 150);
  printf("drawn\n");
  (void)!fgets(line, sizeof line, stdin);
  LmQuitEx(0);
  return 0;
}

static int by_value(const void *a, const void *b) {
  const double x = *(const double *)a, y = *(const double *)b;
  return x < y ? -1 : x > y;
}

#ifdef _WIN32
/* Readers under Wine read for a given time instead. */
static int read_line(void) { return 1; }
static int line_waiting(void) { return 0; }
#else
/* A line from standard input read byte by byte: what follows it stays in
 * the pipe, where poll() sees it. */
static int read_line(void) {
  char c;
  while (read(0, &c, 1) == 1) {
    if (c == '\n') return 1;
  }
  return 0;
}

static int line_waiting(void) {
  struct pollfd in = {0, POLLIN, 0};
  return poll(&in, 1, 0) != 0;
}
#endif

/* Reads a pixel again and again, from joining the shown window until
 * `seconds` have passed (0: until a line comes on standard input). */
static int read_pixels(double seconds) {
  enum { kKept = 1 << 20 };
  static double took[kKept];
  char desc[280];
  int n = 0;
  double worst = 0, until = 0;
  if (LmJoin(0, 0, 1, desc) <= 0) return 3;
  printf("joined\n");
  if (seconds > 0) {
    until = now() + seconds;
  } else if (!read_line()) {
    return 2;
  }
  for (;;) {
    const double t = now();
    if (seconds > 0 ? t >= until : line_waiting()) break;
    LmGetPixel(320, 240);
    took[n % kKept] = now() - t;
    if (took[n % kKept] > worst) worst = took[n % kKept];
    ++n;
  }
  qsort(took, n < kKept ? (size_t)n : kKept, sizeof took[0], by_value);
  printf("answers=%d worst_ms=%.1f median_us=%.1f\n", n, worst * 1e3,
         n ? took[(n < kKept ? n : kKept) / 2] * 1e6 : 0.0);
  LmQuitEx(0);
  return 0;
}

int main(int argc, char **argv) {
  setvbuf(stdout, NULL, _IOLBF, 0);
  if (argc > 2 && strcmp(argv[1], "paint") == 0) return paint(atoi(argv[2]), argc > 3 ? argv[3] : "polyline");
  if (argc > 2 && strcmp(argv[1], "read-for") == 0) return read_pixels(atof(argv[2]));
  if (argc > 1 && strcmp(argv[1], "scribble") == 0) return scribble();
#ifndef _WIN32
  if (argc > 1 && strcmp(argv[1], "read") == 0) return read_pixels(0);
#endif
  fprintf(stderr, "usage: freeze_lumo paint N [FIGURE] | read | read-for SECONDS | scribble\n");
  return 2;
}
