/* A drawing program for the end-to-end tests, written as users write theirs.
 *
 *   lumo_client draw     figures, pixels read back, then LmQuit
 *   lumo_client thirds   two smooth lines a third of a pixel apart, read back
 *   lumo_client owner    opens a window, waits for a line on stdin, reports
 *                        the pixel a joining program drew, then LmQuit
 *   lumo_client joiner   joins the shown window and draws into it
 *   lumo_client busy     draws lines until the server goes away
 *   lumo_client stress   pixels and lines, each read back at once, with
 *                        random pauses; prints the number of mismatches
 *   lumo_client stress-join  joins the server, opens a window of its own
 *                        there and does the same
 *   lumo_client flood    waits for a line, sets 600 pixels (more than the
 *                        server's ring of posted drawing holds), prints
 *                        "posted", reads them back: "mismatches=N"
 *   lumo_client figures  waits for a line, posts 110 filled hexagons (the
 *                        first ten twice), a polyline, a Bezier curve and a
 *                        series, prints "posted", draws a polygon of 100,000
 *                        points (more than the ring holds) and reads all
 *                        back: "mismatches=N"
 *   lumo_client post-and-hang  sets 20 pixels, prints "posted" and sleeps
 *   lumo_client check-posted   joins window 1 and reads those 20 pixels
 *   lumo_client closable draws lines without pause until its window is
 *                        closed
 *   lumo_client cycles   links and quits three times, then prints how many
 *                        child processes it was left to reap (POSIX)
 *   lumo_client hide     opens a window, hides it and quits
 *   lumo_client blocked  blocks every signal (POSIX), opens a window
 *                        ("first=N"), waits for a line, opens another
 *                        ("second=N") and quits
 *   lumo_client keeper   opens a window, waits for a line, draws into it
 *   lumo_client closer   joins the shown window and closes it
 *   lumo_client scribbler  draws lines without pause until stdin has a key
 *   lumo_client measurer joins the shown window and asks for its size 3000
 *                        times, counting wrong answers
 *   lumo_client reopen   opens a window, closes every window, quits, waits
 *                        past the server's grace time and opens again:
 *                        prints the pixel it set and read back
 *   lumo_client many ROLE N P  opens N windows at once with other programs
 *                        (ROLE owner: after a window of its own and a line
 *                        on stdin; join: after joining the shown window and
 *                        a line; solo: at once), a pixel of its own colour in
 *                        each, then reads every one back (P times, closing
 *                        them between passes); prints server=,
 *                        windows= and mismatches=, and after a line on stdin
 *                        closes them and quits
 *   lumo_client save NAME  draws a line, saves the window as the drawing
 *                        file NAME ("saved=N") and quits
 *   lumo_client load NAME  loads the picture file NAME into a window
 *                        ("loaded=N") and quits
 *   lumo_client leave          opens a window, draws a line and returns from main
 *                              without ending its link
 *   lumo_client save-each NAME...  draws a line and saves the drawing file
 *                        of each name: "NAME=result"
 *   lumo_client painter N  opens a 640 x 480 window, waits for a line,
 *                        prints "drawing" and draws a random polyline of N
 *                        points with a 3-pixel pen, then reads a pixel:
 *                        "drawn=result"
 *   lumo_client reader   joins the shown window, waits for a line, reads
 *                        ten pixels: "answered=N" (the reads answered)
 *   lumo_client drawer [leave]  joins the shown window, waits for a line,
 *                        draws a green box and reads its middle: "drawn
 *                        pixel=RRGGBB" (with "leave" it draws the box
 *                        100 pixels to the right, prints "left" and returns
 *                        from main at once instead)
 *   lumo_client filer save N NAME [W H [hold]]  opens a 640 x 480 (or W x H)
 *                        window, draws a polyline of N points in a small box,
 *                        waits for a line, prints "drawing", saves the drawing
 *                        file NAME: "drawn=result" (with "hold", then waits
 *                        for another line before it ends)
 *   lumo_client filer load 0 NAME  the same but loads the picture file NAME
 *                        and then reads the pixel at (100, 100):
 *                        "drawn=result pixel=RRGGBB" */
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#ifndef _WIN32
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif
#include <string.h>
#include <unistd.h>

#include "lumo.h"

static void report(const char *name, float x, float y) {
  printf("%s=%08x\n", name, (unsigned)LmGetPixel(x, y));
}

static int draw(void) {
  static const float triangle[6] = {6.0f, 1.0f, 9.0f, 1.0f, 7.5f, 3.0f};
  int w = LmOpenEx(0, 400, 300, -1, -1, -1, "Figures");
  printf("window=%d\n", w);
  LmSetWorld(0, 0, 0, 0); /* pixel mode: world coordinates are pixels */
  LmSetPen(LmRgb(255, 0, 0), 0, 1, 13);
  LmSetBrush(LmRgb(0, 0, 255), 0, 0);
  LmRect(20, 20, 120, 100);
  report("rect_inside", 70, 60);
  report("rect_outline", 20, 60);
  report("rect_outside", 130, 60);
  LmSetPen(LmRgb(0, 128, 0), 0, 1, 13);
  LmLine(200, 10, 200, 290);
  report("line_on", 200, 150);
  report("line_beside", 203, 150);
  LmSetBrush(LmRgb(255, 255, 0), 0, 0);
  LmEllipse(250, 20, 350, 120);
  report("ellipse_centre", 300, 70);
  report("ellipse_corner", 252, 22);
  LmSetWorld(0, 0, 10, 7.5f);
  LmSetBrush(LmRgb(0, 200, 200), 0, 0);
  LmPolygon(triangle, 3, 0);
  report("polygon_inside", 7.5f, 1.5f);
  LmSetPixel(1, 1, LmRgb(10, 20, 30));
  report("pixel", 1, 1);
  LmSetFont(0.5f, 0, 0, 2, -1, NULL);
  LmText(0.5f, 6.5f, "Lumo");
  LmArc(6, 4, 9, 7, 0, 1);
  LmPie(0.5f, 3, 3, 5.5f, 0, 0.25f);
  LmQuit();
  return 0;
}

/* Two smooth lines a third of a pixel apart (y 100.1 and 100.4, one world
   unit a pixel), side by side; rows 99..102 of a column of each read back. */
static int thirds(void) {
  static const float ys[2] = {100.1f, 100.4f};
  int i, row;
  LmOpenEx(0, 400, 300, -1, -1, -1, "Thirds");
  LmSetWorld(0, 0, 0, 0);
  LmSetPen(LmRgb(0, 0, 0), 0, 1, 4);
  for (i = 0; i < 2; ++i) LmLine(20.0f + 200 * i, ys[i], 180.0f + 200 * i, ys[i]);
  for (i = 0; i < 2; ++i) {
    for (row = 99; row <= 102; ++row) {
      printf("line%d_row%d=%d\n", i, row, (int)(LmGetPixel(100.0f + 200 * i, (float)row) & 0xFF));
    }
  }
  LmQuit();
  return 0;
}

static int owner(void) {
  char line[64];
  int w = LmOpenEx(0, 200, 200, -1, -1, -1, "Shared");
  LmSetWorld(0, 0, 0, 0);
  LmSetPen(LmRgb(0, 0, 255), 0, 1, 13);
  LmSetBrush(LmRgb(0, 0, 255), 0, 0);
  LmRect(0, 0, 100, 200);
  printf("ready %d\n", w);
  fflush(stdout);
  if (!fgets(line, sizeof line, stdin)) return 2;
  report("joined_drawing", 150, 100);
  report("own_drawing", 50, 100);
  LmQuit();
  return 0;
}

static int joiner(void) {
  char desc[280];
  int w = LmJoin(0, 0, 1, desc);
  printf("joined=%d\ndesc=%s\n", w, w > 0 ? desc : "");
  if (w <= 0) return 3;
  LmSetWorld(0, 0, 0, 0);
  LmSetPen(LmRgb(0, 255, 0), 0, 1, 13);
  LmSetBrush(LmRgb(0, 255, 0), 0, 0);
  LmRect(120, 80, 180, 120);
  report("joiner_sees", 150, 100);
  LmQuitEx(0);
  return 0;
}

static int busy(void) {
  int i;
  LmOpen(0);
  LmSetWorld(0, 0, 0, 0);
  printf("ready\n");
  fflush(stdout);
  for (i = 0;; ++i) {
    LmLine((float)(i % 300), 0, 300, 300);
    usleep(2000);
  }
  return 0;
}

static int reopen(void) {
  LmOpen(1);
  LmClose(-1);
  LmQuit();
  usleep(1500 * 1000);
  LmOpen(1);
  LmSetWorld(0, 0, 0, 0);
  LmSetPixel(3, 3, LmRgb(1, 2, 3));
  printf("pixel=%08x\n", (unsigned)LmGetPixel(3, 3));
  LmQuitEx(0);
  return 0;
}

static int many(const char *role, int count, int passes) {
  int windows[64];
  int i, n = 0, pass, mismatches = 0;
  const int tag = (int)(getpid() % 200) + 30;
  char line[16], desc[280];
  if (strcmp(role, "join") == 0) {
    if (LmJoin(0, 0, 1, desc) <= 0) return 3;
    LmOpen(1); /* takes the joined window over */
  } else if (strcmp(role, "owner") == 0) {
    LmOpenEx(0, 100, 80, -1, -1, -1, "Owner");
  }
  if (strcmp(role, "solo") != 0) {
    printf("ready\n");
    fflush(stdout);
    if (!fgets(line, sizeof line, stdin)) return 5;
  }
  /* Every pass but the last closes its windows again. */
  for (pass = 1; pass <= passes; ++pass) {
    for (n = 0; n < count && n < 64; ++n) {
      const int w = LmOpenEx(0, 100, 80, -1, -1, -1, role);
      if (w <= 0) return 6;
      windows[n] = w; /* the window the library holds as current */
      LmSetWorld(0, 0, 0, 0);
      LmSetPixel(2, 2, LmRgb(tag, windows[n] * 4, pass));
    }
    for (i = 0; i < n; ++i) {
      LmSelectWindow(windows[i]);
      if (LmGetPixel(2, 2) != LmRgb(tag, windows[i] * 4, pass)) ++mismatches;
    }
    if (pass < passes) {
      for (i = 0; i < n; ++i) LmClose(windows[i]);
    }
  }
  printf("server=%d\nwindows=", LmQueryNumber(3));
  for (i = 0; i < n; ++i) printf(i ? ",%d" : "%d", windows[i]);
  printf("\nmismatches=%d\n", mismatches);
  fflush(stdout);
  /* The windows are held until every program has reported. */
  if (!fgets(line, sizeof line, stdin)) return 7;
  for (i = 0; i < n; ++i) LmClose(windows[i]);
  LmQuitEx(0);
  return 0;
}

static int stress(int join, int rounds) {
  char desc[280];
  int i, mismatches = 0;
  int top = 0;
  if (join) {
    /* The joined window's block is shared: this program draws in a window
       of its own on the same server. */
    if (LmJoin(0, 0, 1, desc) <= 0) return 3;
    LmOpen(1);
    if (LmOpenEx(0, 200, 200, -1, -1, -1, "Second") <= 1) return 4;
    printf("ready\n");
    fflush(stdout);
  } else {
    char line[16];
    LmOpenEx(0, 200, 200, -1, -1, -1, "Stress");
    printf("ready\n");
    fflush(stdout);
    /* Joining uses this window's block: wait until the other program has
       its own window. */
    if (!fgets(line, sizeof line, stdin)) return 5;
  }
  LmSetWorld(0, 0, 0, 0);
  srand(join ? 7 : 3);
  for (i = 0; i < rounds; ++i) {
    int x = i % 200, y = top + (i / 200) % 100;
    int colour = LmRgb(i % 256, (i / 256) % 256, join ? 200 : 50);
    int pause = rand() % 10;
    LmSetPixel((float)x, (float)y, colour);
    if (LmGetPixel((float)x, (float)y) != colour) ++mismatches;
    LmSetPen(colour, 0, 1, 13);
    LmLine((float)x, (float)top, (float)x, (float)(top + 99));
    if (LmGetPixel((float)x, (float)(top + 50)) != colour) ++mismatches;
    if (pause == 0) usleep(2000);
    else if (pause < 3) usleep(50 + rand() % 500);
  }
  printf("mismatches=%d\n", mismatches);
  if (join) LmQuitEx(0);
  else LmQuit();
  return 0;
}

/* The pattern of the flood: pixel i in row-major order of a 200-pixel row. */
static int flood_colour(int i) { return LmRgb(i % 256, (i * 7) % 256, 99); }

static int flood(int count, int wait_for_line, int read_back) {
  int i, mismatches = 0;
  LmOpenEx(0, 200, 200, -1, -1, -1, "Flood");
  LmSetWorld(0, 0, 0, 0);
  printf("ready\n");
  fflush(stdout);
  if (wait_for_line) {
    char line[16];
    if (!fgets(line, sizeof line, stdin)) return 5;
  }
  for (i = 0; i < count; ++i) LmSetPixel((float)(i % 200), (float)(i / 200), flood_colour(i));
  printf("posted\n");
  fflush(stdout);
  if (!read_back) {
    for (;;) sleep(1);
  }
  for (i = 0; i < count; ++i) {
    if (LmGetPixel((float)(i % 200), (float)(i / 200)) != flood_colour(i)) ++mismatches;
  }
  printf("mismatches=%d\n", mismatches);
  LmQuit();
  return 0;
}

static int hexagon_colour(int i, int pass) { return LmRgb((i * 37) % 256, pass ? 200 : 40, (i * 11) % 256); }

static int figures(void) {
  static float xy[2 * 100000];
  static const float line[6] = {0, 205, 100, 205, 199, 205};
  static const float curve[8] = {0, 215, 60, 215, 140, 215, 199, 215};
  static const float values[5] = {225, 225, 225, 225, 225};
  const int white = LmRgb(255, 255, 255);
  int i, k, pass, mismatches = 0;
  char text[16];
  LmOpenEx(0, 200, 300, -1, -1, -1, "Figures");
  LmSetWorld(0, 0, 0, 0);
  printf("ready\n");
  fflush(stdout);
  if (!fgets(text, sizeof text, stdin)) return 5;
  LmSetPen(-1, 5, -1, -1);
  for (pass = 0; pass < 2; ++pass) {
    for (i = 0; i < (pass ? 10 : 100); ++i) {
      const float cx = 10.0f + 20.0f * (float)(i % 10), cy = 10.0f + 20.0f * (float)(i / 10);
      for (k = 0; k < 6; ++k) {
        xy[2 * k] = cx + 8.0f * (float)cos(k * 1.0471975512);
        xy[2 * k + 1] = cy + 8.0f * (float)sin(k * 1.0471975512);
      }
      LmSetBrush(hexagon_colour(i, pass), 0, -1);
      LmPolygon(xy, 6, 0);
    }
  }
  LmSetPen(LmRgb(1, 2, 3), 0, 1, 13);
  LmPolyline(line, 3);
  LmSetPen(LmRgb(4, 5, 6), 0, 1, 13);
  LmBezier(curve, 4);
  LmSetPen(LmRgb(7, 8, 9), 0, 1, 13);
  LmSeries(1, -5, 0, 299, 0, 199, 1, 0, values);
  printf("posted\n");
  fflush(stdout);
  for (k = 0; k < 100000; ++k) {
    xy[2 * k] = 100.0f + 30.0f * (float)cos(k * 6.283185307 / 100000);
    xy[2 * k + 1] = 265.0f + 30.0f * (float)sin(k * 6.283185307 / 100000);
  }
  LmSetBrush(LmRgb(10, 11, 12), 0, -1);
  LmSetPen(-1, 5, -1, 4);
  LmPolygon(xy, 100000, 0);
  for (i = 0; i < 100; ++i) {
    const int got = LmGetPixel(10.0f + 20.0f * (float)(i % 10), 10.0f + 20.0f * (float)(i / 10));
    if (got != hexagon_colour(i, i < 10)) ++mismatches;
  }
  mismatches += LmGetPixel(50, 205) != LmRgb(1, 2, 3);
  mismatches += LmGetPixel(150, 215) != LmRgb(4, 5, 6);
  mismatches += LmGetPixel(120, 225) != LmRgb(7, 8, 9);
  mismatches += LmGetPixel(100, 265) != LmRgb(10, 11, 12);
  mismatches += LmGetPixel(100, 298) != white;
  printf("mismatches=%d\n", mismatches);
  LmQuit();
  return 0;
}

static int check_posted(int count) {
  char desc[280];
  int i, mismatches = 0;
  if (LmJoin(0, 0, 1, desc) <= 0) return 3;
  LmSetWorld(0, 0, 0, 0);
  for (i = 0; i < count; ++i) {
    if (LmGetPixel((float)(i % 200), (float)(i / 200)) != flood_colour(i)) ++mismatches;
  }
  printf("mismatches=%d\n", mismatches);
  LmQuitEx(0);
  return 0;
}

static int closable(void) {
  int i;
  LmOpenEx(0, 200, 200, -1, -1, -1, "Closable");
  LmSetWorld(0, 0, 0, 0);
  printf("ready\n");
  fflush(stdout);
  for (i = 0;; ++i) LmLine((float)(i % 200), 0, 100, 199);
  return 0;
}

static int dialogs(void) {
  char answer[64] = "";
  char file[64] = "*.clr";
  LmOpen(0);
  printf("ask1=%d\n", LmAsk("Go on?"));
  printf("ask2=%d\n", LmAsk("Really?"));
  printf("prompt=%d:%s\n", LmAskString("Name?", answer, sizeof answer), answer);
  printf("file=%d:%s\n", LmChooseFile(file, sizeof file), file);
  printf("refused=%d\n", LmAskString("More?", answer, sizeof answer));
  printf("message=%d\n", LmMessage("All done."));
  printf("refused_ask=%d\n", LmAsk("Once more?"));
  LmQuit();
  return 0;
}

/* The server's own dialogs, answered by whoever drives the test. */
static int prompts(int argc_file) {
  char answer[64] = "unchanged";
  LmOpen(0);
  printf("ask=%d\n", LmAsk("Go on?"));
  printf("prompt=%d:%s\n", LmAskString("Your name?", answer, sizeof answer), answer);
  strcpy(answer, "unchanged");
  printf("cancelled=%d:%s\n", LmAskString("Anything else?", answer, sizeof answer), answer);
  if (argc_file) {
    char file[260] = "*.dat";
    printf("file=%d:%s\n", LmChooseFile(file, sizeof file), file);
  }
  LmQuit();
  return 0;
}

/* Display switches handed to the server: on top, no borders, not
   resizable; the window stays until a line comes (or stdin ends). */
/* A window whose title has a letter beyond ASCII (code page 1252). */
static int accented(void) {
  char line[64];
  LmOpenEx(0, 200, 100, -1, -1, -1, "Temp\xe9rature");
  printf("opened\n");
  fflush(stdout);
  if (!fgets(line, sizeof line, stdin)) return 5;
  LmQuitEx(0);
  return 0;
}

static int look(void) {
  char line[16];
  LmInitEx(1, 100, 120, 300, 200, -1, -1, -1, -1);
  LmOpenEx(0, 300, 200, -1, -1, -1, "Look");
  printf("switches=%d%d%d\n", LmServerSwitch(1, -1), LmServerSwitch(2, -1), LmServerSwitch(3, -1));
  fflush(stdout);
  if (fgets(line, sizeof line, stdin)) {
    LmServerSwitch(3, 1);
    printf("resizable=%d\n", LmServerSwitch(3, -1));
    fflush(stdout);
    if (!fgets(line, sizeof line, stdin)) return 5;
  }
  LmQuitEx(0);
  return 0;
}

/* Links and quits three times (each server ends after its grace period),
   then counts the children it was left to reap. */
static int cycles(void) {
  int zombies = 0;
#ifndef _WIN32
  int i, status;
  for (i = 0; i < 3; ++i) {
    LmOpen(0);
    LmQuitEx(0);
    usleep(800000);
  }
  while (waitpid(-1, &status, WNOHANG) > 0) ++zombies;
#endif
  printf("zombies=%d\n", zombies);
  return 0;
}

/* Opens a window, waits for a line, then draws into it: after another
   program closed it, each drawing answers 0. */
static int keeper(void) {
  char line[64];
  LmOpenEx(0, 200, 200, -1, -1, -1, "Kept");
  LmSetWorld(0, 0, 0, 0);
  LmLine(1, 1, 20, 20);
  printf("ready\n");
  fflush(stdout);
  if (!fgets(line, sizeof line, stdin)) return 2;
  printf("line=%d rect=%d ellipse=%d line=%d\n", LmLine(5, 5, 50, 50), LmRect(10, 10, 40, 40),
         LmEllipse(10, 10, 40, 40), LmLine(50, 5, 5, 50));
  LmQuitEx(0);
  return 0;
}

/* Joins the shown window and closes it. */
static int closer(void) {
  char desc[280];
  const int w = LmJoin(0, 0, 1, desc);
  printf("joined=%d\n", w);
  printf("closed=%d\n", LmClose(w));
  LmQuitEx(0);
  return 0;
}

/* Draws lines into its window without pause until a line on stdin. */
static int scribbler(void) {
  int i = 0;
  LmOpenEx(0, 300, 200, -1, -1, -1, "Scribbles");
  LmSetWorld(0, 0, 0, 0);
  printf("ready\n");
  fflush(stdout);
  for (;;) {
    LmLine((float)(i % 300), 0, (float)((i * 7) % 300), 199);
    if (++i % 2000 == 0 && LmKeyHit()) break;
    if (i > 4000000) break;
  }
  LmQuitEx(0);
  return 0;
}

/* Joins the shown window and asks for its size again and again while its
   owner draws into it: every answer must be the size. */
static int measurer(void) {
  char desc[280];
  int i, w = 0, h = 0, wrong = 0;
  if (LmJoin(0, 0, 1, desc) <= 0) return 3;
  for (i = 0; i < 3000; ++i) {
    w = h = 0;
    if (LmMetric(1, &w, &h) <= 0 || w != 300 || h != 200) ++wrong;
  }
  printf("wrong=%d\n", wrong);
  LmQuitEx(0);
  return 0;
}

/* Opens a window with every signal blocked (the server it starts is
   handed that mask), waits for a line, then opens another. */
static int blocked(void) {
  char line[64];
#ifndef _WIN32
  sigset_t all;
  sigfillset(&all);
  sigprocmask(SIG_SETMASK, &all, NULL);
#endif
  printf("first=%d\n", LmOpen(0));
  fflush(stdout);
  if (!fgets(line, sizeof line, stdin)) return 2;
  printf("second=%d\n", LmOpen(0));
  fflush(stdout);
  LmQuitEx(0);
  return 0;
}

/* Opens a window, hides it and quits. */
static int hide(void) {
  LmOpen(0);
  printf("hidden=%d\n", LmControl6(0, 0));
  LmQuitEx(0);
  return 0;
}

/* Draws a line and saves the window as a drawing file. */
static int save(const char *name) {
  LmOpen(0);
  LmLine(0.1f, 0.1f, 0.9f, 0.9f);
  printf("saved=%d\n", LmDrawingFile(0, name));
  LmQuit();
  return 0;
}

static int load(const char *name) {
  LmOpen(0);
  printf("loaded=%d\n", LmDrawingFile(1, name));
  LmQuit();
  return 0;
}

static int leave(void) {
  LmOpenEx(0, 300, 200, -1, -1, -1, "Left");
  LmLine(0, 0, 1, 1);
  return 0;
}

static int save_each(int count, char **names) {
  int i;
  LmOpen(0);
  LmLine(0, 0, 100, 100);
  for (i = 0; i < count; ++i) printf("%s=%d\n", names[i], LmDrawingFile(0, names[i]));
  LmQuitEx(0);
  return 0;
}

static int painter(int n) {
  char line[64];
  unsigned seed = 7;
  int i, drawn;
  float *xy = (float *)malloc(sizeof(float) * 2 * (size_t)n);
  if (!xy) return 2;
  for (i = 0; i < 2 * n; ++i) {
    seed = seed * 1103515245u + 12345u;
    xy[i] = (float)((seed >> 8) % (i % 2 ? 480u : 640u));
  }
  LmOpenEx(0, 640, 480, -1, -1, -1, "Long");
  LmSetWorld(0, 0, 0, 0);
  LmSetPen(LmRgb(20, 40, 160), 0, 3, 4);
  printf("ready\n");
  if (!fgets(line, sizeof line, stdin)) return 2;
  printf("drawing\n");
  drawn = LmPolyline(xy, n);
  /* A question right after the figure (which may have been posted): it is
     answered once the figure is drawn, and must not hold up the reader. */
  LmGetPixel(1, 1);
  printf("drawn=%d\n", drawn);
  free(xy);
  LmQuitEx(0);
  return 0;
}

static int reader(void) {
  char desc[280], line[64];
  int i, answered = 0;
  if (LmJoin(0, 0, 1, desc) <= 0) return 3;
  printf("joined\n");
  if (!fgets(line, sizeof line, stdin)) return 2;
  for (i = 0; i < 10; ++i) answered += LmGetPixel((float)(i * 50), 100.0f) >= 0;
  printf("answered=%d\n", answered);
  LmQuitEx(0);
  return 0;
}

static int drawer(int leave) {
  char desc[280], line[64];
  if (LmJoin(0, 0, 1, desc) <= 0) return 3;
  printf("joined\n");
  if (!fgets(line, sizeof line, stdin)) return 2;
  /* Leaving, it only posts (the owner's world is in the window's block). */
  if (!leave) LmSetWorld(0, 0, 0, 0);
  LmSetPen(LmRgb(0, 255, 0), 0, 1, 13);
  LmSetBrush(LmRgb(0, 255, 0), 0, 0);
  LmRect(leave ? 220.0f : 120.0f, 80, leave ? 280.0f : 180.0f, 120);
  if (leave) {
    printf("left\n");
    return 0;
  }
  printf("drawn pixel=%06X\n", (unsigned)LmGetPixel(150, 100) & 0xFFFFFFu);
  LmQuitEx(0);
  return 0;
}

static int filer(const char *what, int n, const char *name, int width, int height, int hold) {
  char line[64];
  unsigned seed = 11;
  int i, done, load = strcmp(what, "load") == 0;
  LmOpenEx(0, width, height, -1, -1, -1, "Files");
  LmSetWorld(0, 0, 0, 0);
  for (i = 0; i < n;) {
    /* Polylines of at most 500,000 points, each cheap to draw on pixels. */
    static float xy[2 * 500000];
    int k, count = n - i < 500000 ? n - i : 500000;
    for (k = 0; k < 2 * count; ++k) {
      seed = seed * 1103515245u + 12345u;
      xy[k] = (float)(20 + (seed >> 8) % 40u);
    }
    LmPolyline(xy, count);
    i += count;
  }
  LmGetPixel(1, 1);
  printf("ready\n");
  if (!fgets(line, sizeof line, stdin)) return 2;
  printf("drawing\n");
  done = LmDrawingFile(load ? 1 : 0, name);
  if (load) {
    printf("drawn=%d pixel=%06X\n", done, (unsigned)LmGetPixel(100, 100) & 0xFFFFFFu);
  } else {
    printf("drawn=%d\n", done);
  }
  fflush(stdout);
  if (hold && !fgets(line, sizeof line, stdin)) return 2;
  LmQuitEx(0);
  return 0;
}

int main(int argc, char **argv) {
  const char *mode = argc > 1 ? argv[1] : "draw";
  setvbuf(stdout, NULL, _IOLBF, 0);
  if (strcmp(mode, "owner") == 0) return owner();
  if (strcmp(mode, "accented") == 0) return accented();
  if (strcmp(mode, "thirds") == 0) return thirds();
  if (strcmp(mode, "joiner") == 0) return joiner();
  if (strcmp(mode, "busy") == 0) return busy();
  if (strcmp(mode, "dialogs") == 0) return dialogs();
  if (strcmp(mode, "prompts") == 0) return prompts(argc > 2);
  if (strcmp(mode, "look") == 0) return look();
  if (strcmp(mode, "stress") == 0) return stress(0, 3000);
  if (strcmp(mode, "stress-join") == 0) return stress(1, 3000);
  if (strcmp(mode, "flood") == 0) return flood(6000, 1, 1);
  if (strcmp(mode, "figures") == 0) return figures();
  if (strcmp(mode, "post-and-hang") == 0) return flood(20, 0, 0);
  if (strcmp(mode, "check-posted") == 0) return check_posted(20);
  if (strcmp(mode, "closable") == 0) return closable();
  if (strcmp(mode, "cycles") == 0) return cycles();
  if (strcmp(mode, "hide") == 0) return hide();
  if (strcmp(mode, "blocked") == 0) return blocked();
  if (strcmp(mode, "keeper") == 0) return keeper();
  if (strcmp(mode, "closer") == 0) return closer();
  if (strcmp(mode, "scribbler") == 0) return scribbler();
  if (strcmp(mode, "measurer") == 0) return measurer();
  if (strcmp(mode, "reopen") == 0) return reopen();
  if (strcmp(mode, "many") == 0 && argc > 4) return many(argv[2], atoi(argv[3]), atoi(argv[4]));
  if (strcmp(mode, "save") == 0 && argc > 2) return save(argv[2]);
  if (strcmp(mode, "load") == 0 && argc > 2) return load(argv[2]);
  if (strcmp(mode, "leave") == 0) return leave();
  if (strcmp(mode, "save-each") == 0) return save_each(argc - 2, argv + 2);
  if (strcmp(mode, "painter") == 0 && argc > 2) return painter(atoi(argv[2]));
  if (strcmp(mode, "reader") == 0) return reader();
  if (strcmp(mode, "drawer") == 0) return drawer(argc > 2 && strcmp(argv[2], "leave") == 0);
  if (strcmp(mode, "filer") == 0 && argc > 4) {
    return filer(argv[2], atoi(argv[3]), argv[4], argc > 6 ? atoi(argv[5]) : 640, argc > 6 ? atoi(argv[6]) : 480,
                 argc > 7 && strcmp(argv[7], "hold") == 0);
  }
  return draw();
}
