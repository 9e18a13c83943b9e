/* The test card: every pen style and width, brush, hatch and figure, the
 * raster modes, markers, pixels, a transformation and text, one group per
 * region of card_layout.h.  Drawn by each server and compared region by
 * region; run with LUMOVIEW_PNG_DIR set, the server writes the picture as
 * test_card-1.png when the program ends. */
#include <stdio.h>
#include <string.h>

#include "card_layout.h"
#include "lumo.h"

#define CRISP 13
#define SMOOTH 4
#define XOR 7
#define INVISIBLE 5

static int w;
static int black, red, blue, green, yellow, grey, sky;

static void pen(int colour, int style, int width, int mode) {
  LmDevSetPen(w, colour, style, width, mode);
}

static void brush(int colour, int style, int hatch) { LmDevSetBrush(w, colour, style, hatch); }

static void line(int x1, int y1, int x2, int y2) { LmDevLine(w, x1, y1, x2, y2); }

static void pen_styles(int x0, int y0, int mode) {
  int s;
  for (s = 0; s <= 9; ++s) {
    pen(black, s, 1, mode);
    line(x0 + 5, y0 + 5 + 10 * s, x0 + 95, y0 + 5 + 10 * s);
    line(x0 + 110 + 9 * s, y0 + 5, x0 + 110 + 9 * s, y0 + 95);
  }
  pen(blue, 1, 1, mode);
  line(x0 + 100, y0 + 2, x0 + 195, y0 + 40);
}

static void pen_widths(int x0, int y0) {
  int i;
  for (i = 0; i < 6; ++i) {
    pen(i % 2 ? blue : black, 0, i + 1, CRISP);
    line(x0 + 5, y0 + 8 + 15 * i, x0 + 48, y0 + 8 + 15 * i);
    line(x0 + 55, y0 + 5 + 15 * i, x0 + 94, y0 + 15 + 15 * i);
  }
}

static void raster_modes(int x0, int y0) {
  static const int modes[] = {1, 6, 7, 16};
  int i;
  pen(black, INVISIBLE, 1, CRISP);
  brush(sky, 0, 0);
  LmDevRect(w, x0 + 2, y0 + 2, x0 + 98, y0 + 98);
  for (i = 0; i < 4; ++i) {
    pen(red, 0, 1, modes[i]);
    line(x0 + 5, y0 + 8 + 22 * i, x0 + 60, y0 + 18 + 22 * i);
    /* A chain: each line leaves its last pixel to the next. */
    LmDevMoveTo(w, x0 + 65, y0 + 5 + 22 * i);
    LmDevLineTo(w, x0 + 80, y0 + 20 + 22 * i);
    LmDevLineTo(w, x0 + 95, y0 + 5 + 22 * i);
    LmDevLineTo(w, x0 + 65, y0 + 5 + 22 * i);
  }
}

static void xor_figures(int x0, int y0) {
  int xy[] = {0, 0, 30, 10, 12, 40, 5, 20};
  int i, pass;
  for (i = 0; i < 4; ++i) {
    xy[2 * i] += x0 + 55;
    xy[2 * i + 1] += y0 + 50;
  }
  pen(black, INVISIBLE, 1, CRISP);
  brush(yellow, 0, 0);
  LmDevRect(w, x0, y0, x0 + 100, y0 + 100);
  for (pass = 0; pass < 2; ++pass) {
    pen(blue, 0, 1, XOR);
    brush(red, 0, 0);
    LmDevMoveTo(w, x0 + 5, y0 + 5);
    LmDevLineTo(w, x0 + 40, y0 + 20);
    LmDevLineTo(w, x0 + 10, y0 + 40);
    LmDevLineTo(w, x0 + 45, y0 + 45);
    LmDevRect(w, x0 + 50, y0 + 5, x0 + 95, y0 + 30);
    LmDevEllipse(w, x0 + 5, y0 + 50, x0 + 50, y0 + 95);
    LmDevPolygon(w, xy, 4, 0);
    LmDevPie(w, x0 + 60, y0 + 60, x0 + 95, y0 + 95, x0 + 100, y0 + 70, x0 + 70, y0 + 100);
    brush(green, 2, 5);
    LmDevRoundRect(w, x0 + 20, y0 + 30, x0 + 70, y0 + 60, 10, 10);
    pen(blue, 2, 1, XOR);
    line(x0 + 2, y0 + 97, x0 + 97, y0 + 47);
  }
}

static void brush_styles(int x0, int y0) {
  int s;
  pen(black, 0, 1, CRISP);
  for (s = 0; s <= 7; ++s) {
    brush(green, s, 1);
    LmDevRect(w, x0 + 3 + 48 * (s % 2), y0 + 3 + 24 * (s / 2), x0 + 48 + 48 * (s % 2),
              y0 + 25 + 24 * (s / 2));
  }
}

static void hatches(int x0, int y0) {
  int h;
  for (h = 0; h <= 5; ++h) {
    brush(red, 2, h);
    pen(black, 0, 1, CRISP);
    LmDevRect(w, x0 + 3 + 33 * h, y0 + 4, x0 + 33 + 33 * h, y0 + 46);
    pen(black, INVISIBLE, 1, CRISP);
    LmDevRect(w, x0 + 3 + 33 * h, y0 + 52, x0 + 33 + 33 * h, y0 + 96);
  }
}

static void smooth_hatches(int x0, int y0) {
  int h;
  pen(blue, 0, 1, SMOOTH);
  for (h = 0; h <= 5; ++h) {
    brush(blue, 2, h);
    LmDevEllipse(w, x0 + 2 + 33 * (h % 3), y0 + 3 + 48 * (h / 3), x0 + 32 + 33 * (h % 3),
                 y0 + 48 + 48 * (h / 3));
  }
}

static void rectangles(int x0, int y0) {
  int m;
  pen(black, 0, 1, CRISP);
  brush(red, 1, 0);
  LmDevRect(w, x0 + 5, y0 + 5, x0 + 35, y0 + 25);
  brush(red, 0, 0);
  LmDevRect(w, x0 + 40, y0 + 5, x0 + 70, y0 + 25);
  LmDevRect(w, x0 + 5, y0 + 30, x0 + 6, y0 + 31);
  LmDevRect(w, x0 + 10, y0 + 30, x0 + 12, y0 + 32);
  LmDevRect(w, x0 + 15, y0 + 30, x0 + 18, y0 + 33);
  LmDevRect(w, x0 + 50, y0 + 45, x0 + 20, y0 + 30);
  pen(black, INVISIBLE, 1, CRISP);
  LmDevRect(w, x0 + 75, y0 + 5, x0 + 95, y0 + 25);
  pen(blue, 0, 1, CRISP);
  brush(green, 0, 0);
  for (m = 0; m <= 4; ++m) LmDevRectMode(w, x0 + 3 + 19 * m, y0 + 50, x0 + 25 + 19 * m, y0 + 70, m);
  LmDevRectEx(w, x0 + 5, y0 + 75, x0 + 35, y0 + 95, 3);
  LmDevSetMarker(w, 4, 9, red, yellow, 0);
  LmDevMarker(w, x0 + 60, y0 + 85);
  LmDevSetMarker(w, 0, 9, blue, yellow, 0);
  LmDevMarker(w, x0 + 80, y0 + 85);
}

static void round_rects(int x0, int y0) {
  pen(black, 0, 1, CRISP);
  brush(sky, 0, 0);
  LmDevRoundRect(w, x0 + 5, y0 + 5, x0 + 45, y0 + 45, 12, 12);
  brush(sky, 1, 0);
  LmDevRoundRect(w, x0 + 50, y0 + 5, x0 + 95, y0 + 30, 20, 8);
  LmDevRoundRect(w, x0 + 50, y0 + 40, x0 + 95, y0 + 95, 6, 14);
  pen(black, INVISIBLE, 1, CRISP);
  brush(blue, 0, 0);
  LmDevRoundRect(w, x0 + 5, y0 + 50, x0 + 45, y0 + 95, 30, 30);
}

static void ellipses(int x0, int y0, int mode) {
  pen(black, 0, 1, mode);
  brush(yellow, 0, 0);
  LmDevEllipse(w, x0 + 5, y0 + 5, x0 + 45, y0 + 45);
  brush(yellow, 1, 0);
  LmDevEllipse(w, x0 + 50, y0 + 5, x0 + 95, y0 + 25);
  LmDevEllipse(w, x0 + 90, y0 + 95, x0 + 50, y0 + 35);
  pen(black, INVISIBLE, 1, mode);
  brush(red, 0, 0);
  LmDevEllipse(w, x0 + 5, y0 + 50, x0 + 40, y0 + 95);
}

/* World coordinates with y up, so corners arrive upside down: an ellipse
   covers the box a rectangle with the same corners covers; a pie runs from
   the x axis a quarter turn up. */
static void world_figures(void) {
  LmSetWorld(0, 0, CARD_WIDTH, CARD_HEIGHT);
  pen(black, 0, 1, CRISP);
  brush(yellow, 1, 0);
  LmRect(705, 445, 745, 495);
  pen(red, 0, 1, CRISP);
  LmEllipse(755, 445, 795, 495);
  pen(blue, 0, 1, CRISP);
  brush(sky, 0, 0);
  LmPie(705, 405, 745, 440, 0.0f, 0.25f);
  LmSetWorld(0, 0, 0, 0);
}

static void arc_figures(int x0, int y0, int mode) {
  int i;
  pen(black, 0, 1, mode);
  brush(yellow, 0, 0);
  for (i = 0; i < 6; ++i) {
    const int x = x0 + 5 + 65 * (i % 3), y = y0 + 5 + 48 * (i / 3);
    const int sx = x + 75, sy = y + 10, ex = x + 20, ey = y + 70;
    const int swap = i / 3;
    switch (i % 3) {
      case 0:
        if (swap) LmDevArc(w, x, y, x + 60, y + 43, ex, ey, sx, sy);
        else LmDevArc(w, x, y, x + 60, y + 43, sx, sy, ex, ey);
        break;
      case 1:
        if (swap) LmDevChord(w, x, y, x + 60, y + 43, ex, ey, sx, sy);
        else LmDevChord(w, x, y, x + 60, y + 43, sx, sy, ex, ey);
        break;
      default:
        if (swap) LmDevPie(w, x, y, x + 60, y + 43, ex, ey, sx, sy);
        else LmDevPie(w, x, y, x + 60, y + 43, sx, sy, ex, ey);
        break;
    }
  }
}

static void stars(int x0, int y0, int count, int mode) {
  int i, k;
  for (i = 0; i < count; ++i) {
    int xy[10] = {24, 2, 38, 96, 2, 34, 46, 34, 10, 96};
    for (k = 0; k < 5; ++k) {
      xy[2 * k] += x0 + 50 * i;
      xy[2 * k + 1] += y0;
    }
    pen(black, i >= 2 ? INVISIBLE : 0, 1, mode);
    brush(green, 0, 0);
    LmDevPolygon(w, xy, 5, i % 2);
  }
}

static void polylines(int x0, int y0) {
  int zig[] = {2, 5, 20, 20, 35, 3, 50, 20, 65, 3, 80, 20, 97, 8};
  int dashed[] = {2, 30, 40, 30, 40, 45, 97, 45};
  int values[] = {5, 15, 20, 40, 45, 60, 90, 95};
  int k;
  for (k = 0; k < 7; ++k) {
    zig[2 * k] += x0;
    zig[2 * k + 1] += y0;
  }
  for (k = 0; k < 4; ++k) {
    dashed[2 * k] += x0;
    dashed[2 * k + 1] += y0;
  }
  for (k = 0; k < 8; ++k) values[k] += x0;
  pen(black, 0, 1, CRISP);
  LmDevPolyline(w, zig, 7);
  pen(red, 1, 1, CRISP);
  LmDevPolyline(w, dashed, 4);
  pen(blue, 0, 1, CRISP);
  LmDevSeries(w, 0, 8, x0, x0 + 98, y0 + 24, y0 + 28, values);
}

static void beziers(int x0, int y0) {
  int xy[] = {3, 45, 20, 0, 40, 60, 50, 25, 60, -5, 90, 60, 97, 5};
  int k;
  for (k = 0; k < 7; ++k) {
    xy[2 * k] += x0;
    xy[2 * k + 1] += y0;
  }
  pen(blue, 0, 1, CRISP);
  LmDevBezier(w, xy, 7);
}

/* Crisp ellipses in every pattern of a one-pixel pen. */
static void curve_dashes(int x0, int y0) {
  pen(black, 1, 1, CRISP);
  brush(yellow, 1, 0);
  LmDevEllipse(w, x0 + 3, y0 + 3, x0 + 63, y0 + 43);
  pen(blue, 2, 1, CRISP);
  LmDevEllipse(w, x0 + 68, y0 + 3, x0 + 97, y0 + 60);
  pen(red, 3, 1, CRISP);
  LmDevEllipse(w, x0 + 10, y0 + 10, x0 + 55, y0 + 35);
  pen(black, 9, 1, CRISP);
  brush(sky, 0, 0);
  LmDevEllipse(w, x0 + 3, y0 + 48, x0 + 43, y0 + 97);
  pen(red, 1, 1, CRISP);
  LmDevEllipse(w, x0 + 45, y0 + 62, x0 + 98, y0 + 97);
  pen(blue, 4, 1, CRISP);
  LmDevEllipse(w, x0 + 55, y0 + 70, x0 + 90, y0 + 90);
}

/* Crisp arcs in patterns, the pattern walked from the arc's start. */
static void arc_dashes(int x0, int y0) {
  pen(red, 1, 1, CRISP);
  LmDevArc(w, x0 + 3, y0 + 3, x0 + 63, y0 + 47, x0 + 70, y0 + 5, x0 + 5, y0 + 47);
  pen(black, 2, 1, CRISP);
  LmDevArc(w, x0 + 68, y0 + 3, x0 + 130, y0 + 47, x0 + 68, y0 + 3, x0 + 130, y0 + 40);
  pen(blue, 4, 1, CRISP);
  LmDevArc(w, x0 + 136, y0 + 3, x0 + 196, y0 + 47, x0 + 196, y0 + 3, x0 + 150, y0 + 3);
  pen(black, 3, 1, CRISP);
  LmDevArc(w, x0 + 140, y0 + 10, x0 + 190, y0 + 44, x0 + 140, y0 + 40, x0 + 190, y0 + 44);
}

/* Crisp pies and chords in patterns: the pattern runs on from the arc into
   the straight lines, from the arc's last pixel.  Two chords filled, one
   of them over less than two outline pixels (nothing is drawn). */
static void pie_dashes(int x0, int y0) {
  brush(sky, 1, 0);
  pen(red, 1, 1, CRISP);
  LmDevPie(w, x0 + 3, y0 + 3, x0 + 63, y0 + 47, x0 + 70, y0 + 5, x0 + 5, y0 + 47);
  pen(black, 2, 1, CRISP);
  LmDevChord(w, x0 + 60, y0 + 3, x0 + 97, y0 + 60, x0 + 60, y0 + 3, x0 + 97, y0 + 50);
  pen(blue, 4, 1, CRISP);
  LmDevPie(w, x0 + 4, y0 + 52, x0 + 54, y0 + 98, x0 + 54, y0 + 52, x0 + 10, y0 + 52);
  pen(black, 3, 1, CRISP);
  LmDevChord(w, x0 + 50, y0 + 65, x0 + 96, y0 + 130, x0 + 50, y0 + 125, x0 + 96, y0 + 130);
  pen(black, 2, 1, CRISP);
  brush(yellow, 0, 0);
  LmDevChord(w, x0 + 70, y0 + 65, x0 + 79, y0 + 123, x0 + 116, y0 + 138, x0 + 119, y0 + 129);
  pen(red, 9, 1, CRISP);
  LmDevChord(w, x0 + 58, y0 + 58, x0 + 88, y0 + 117, x0 + 54, y0 + 67, x0 + 54, y0 + 115);
  brush(sky, 1, 0);
  pen(red, 9, 1, CRISP);
  LmDevPie(w, x0 + 3, y0 + 105, x0 + 45, y0 + 150, x0 + 45, y0 + 140, x0 + 3, y0 + 105);
  pen(blue, 7, 1, CRISP);
  LmDevChord(w, x0 + 5, y0 + 155, x0 + 95, y0 + 196, x0 + 95, y0 + 160, x0 + 40, y0 + 196);
  pen(black, 8, 1, CRISP);
  LmDevPie(w, x0 + 55, y0 + 135, x0 + 90, y0 + 170, x0 + 60, y0 + 170, x0 + 55, y0 + 135);
}

/* Every pattern of a one-pixel pen under a scaling of 2 x 1.5. */
static void scaled_dashes(int x0, int y0) {
  static const int styles[] = {1, 2, 3, 4, 7, 8, 9};
  int i;
  for (i = 0; i < 7; ++i) {
    LmDevSetTransform(w, x0 + 3, y0 + 3 + 13 * i, 2.0f, 0, 0, 1.5f);
    pen(i % 2 ? blue : black, styles[i], 1, CRISP);
    line(0, 0, 46, 0);
    line(0, 2, 46, 6);
  }
  LmSetTransform(NULL);
}

/* Ellipses and a pie whose boxes are some hundred thousand pixels across,
   placed so that only a corner of the window shows their curves (near the
   line x - y = const), and two whose curves the window does not show. */
static void huge_figures(void) {
  pen(red, 0, 1, CRISP);
  brush(sky, 1, 0);
  LmDevEllipse(w, -394014, -37353, 5987, 62648);
  pen(black, 0, 1, CRISP);
  brush(sky, 0, 0);
  LmDevEllipse(w, -223712, -37830, 38432, 224314);
  pen(blue, 0, 1, CRISP);
  brush(yellow, 0, 0);
  LmDevPie(w, -256046, -43354, 43955, 256647, 34, 594, 6, 566);
  LmDevEllipse(w, 80, 200, 1000000000, 2000000000);
  LmDevEllipse(w, 0, 0, 10000000, 10000000);
}

static void markers(int x0, int y0, int mode) {
  static const int sizes[] = {5, 9, 14};
  int t, s;
  pen(black, 0, 1, mode);
  for (s = 0; s < 3; ++s) {
    for (t = 0; t <= 6; ++t) {
      LmDevSetMarker(w, t, sizes[s], red, yellow, 0);
      LmDevMarker(w, x0 + 14 + 28 * t, y0 + 15 + 32 * s);
    }
  }
}

static void pixels(int x0, int y0) {
  int i;
  LmSetWorld(0, 0, 0, 0);
  pen(green, 0, 1, CRISP);
  for (i = 0; i < 20; ++i) {
    LmSetPixel((float)(x0 + 5 + 2 * i), (float)(y0 + 5 + i), red);
    LmDevPointOp(w, x0 + 5 + 2 * i, y0 + 30);
  }
  LmDevSetTransform(w, 10, 40, 1, 0, 0, 1);
  for (i = 0; i < 20; ++i) {
    LmSetPixel((float)(x0 + 5 + 2 * i), (float)(y0 + 5 + i), blue);
    LmDevPointOp(w, x0 + 5 + 2 * i, y0 + 30);
  }
  LmSetTransform(NULL);
}

static void transformed(int x0, int y0) {
  LmDevSetTransform(w, x0 + 10, y0 + 5, 1.5f, 0, 0, 1.5f);
  pen(black, 0, 1, CRISP);
  brush(sky, 0, 0);
  LmDevRect(w, 0, 0, 30, 20);
  LmDevEllipse(w, 25, 25, 55, 55);
  line(0, 40, 20, 58);
  LmSetTransform(NULL);
}

static void edge_lines(int x0, int y0) {
  pen(black, 0, 1, CRISP);
  line(-10, y0 + 10, x0 + 60, y0 + 10);
  line(-50, y0 + 20, x0 + 50, y0 + 70);
  line(-100000, y0 + 30, x0 + 90, y0 + 90);
  line(x0 + 5, y0 + 95, -30, y0 + 60);
  pen(red, 0, 1, CRISP);
  line(x0 + 95, y0 + 40, -20, y0 + 50);
}

/* The outlines of the translation regions, from (x0, y0). */
static void move_outlines(int x0, int y0) {
  pen(black, 0, 1, CRISP);
  brush(yellow, 1, 0);
  LmDevRect(w, x0 + 5, y0 + 5, x0 + 45, y0 + 30);
  pen(red, 1, 1, CRISP);
  brush(yellow, 0, 0);
  LmDevRect(w, x0 + 50, y0 + 5, x0 + 95, y0 + 30);
  pen(blue, 3, 1, CRISP);
  LmDevRectMode(w, x0 + 5, y0 + 35, x0 + 30, y0 + 55, 0);
  LmDevRectMode(w, x0 + 35, y0 + 35, x0 + 60, y0 + 55, 2);
  LmDevRectEx(w, x0 + 65, y0 + 35, x0 + 95, y0 + 55, 3);
  pen(black, INVISIBLE, 1, CRISP);
  brush(yellow, 1, 0);
  LmDevRect(w, x0 + 2, y0 + 2, x0 + 98, y0 + 98);
  pen(black, 0, 1, CRISP);
  brush(sky, 0, 0);
  LmDevChord(w, x0 + 5, y0 + 60, x0 + 35, y0 + 95, x0 + 40, y0 + 60, x0 + 5, y0 + 90);
  LmDevPie(w, x0 + 38, y0 + 60, x0 + 68, y0 + 95, x0 + 70, y0 + 65, x0 + 40, y0 + 60);
  /* A pie whose start point is its centre: from the east, a whole turn. */
  LmDevPie(w, x0 + 70, y0 + 60, x0 + 96, y0 + 96, x0 + 83, y0 + 78, x0 + 96, y0 + 78);
}

static void translation(const struct card_region *moved) {
  move_outlines(moved->x, moved->y);
  LmDevSetTransform(w, CARD_MOVE_X, CARD_MOVE_Y, 1, 0, 0, 1);
  move_outlines(moved->x, moved->y);
  LmSetTransform(NULL);
}

/* Centred on the middle of their regions, turned half and a quarter round. */
static void middle_texts(const struct card_region *upside_down, const struct card_region *turned) {
  LmDevSetFont(w, 16, 1800, 4, blue, 0, NULL);
  LmDevText(w, upside_down->x + upside_down->w / 2, upside_down->y + upside_down->h / 2, "Mid 180");
  LmDevSetFont(w, 16, 900, 4, black, 0, NULL);
  LmDevText(w, turned->x + turned->w / 2, turned->y + turned->h / 2, "Mid 90");
}

static void texts(void) {
  const char *sample = "Lumo 123 \x80\xC9\xE9";
  LmDevSetFont(w, 18, 0, 0, black, 0, NULL);
  LmDevText(w, 105, 435, sample);
  LmDevSetFont(w, 18, 0, 4, blue, 0, NULL);
  LmDevText(w, 445, 425, sample);
  LmDevSetFont(w, 18, 0, 8, red, 0, NULL);
  LmDevText(w, 795, 405, sample);
  LmDevSetFont(w, 16, 900, 0, black, 0, NULL);
  LmDevText(w, 125, 590, "Turned 90");
  LmDevSetFont(w, 16, 450, 0, blue, 0, NULL);
  LmDevText(w, 150, 590, "At 45");
  LmDevSetFont(w, 44, 0, 0, green, 700, NULL);
  LmDevText(w, 225, 515, "Bold 44 px");
  LmDevSetSymbolFont(w, 30, 0, 0, red, -1, NULL);
  {
    int i;
    for (i = 0; i < 8; ++i) LmDevSymbol(w, 230 + 45 * i, 585, 'A' + i);
  }
}

int main(int argc, char** argv) {
  /* --pause: half the card, then a wait for a line on standard input */
  const int pause = argc > 1 && strcmp(argv[1], "--pause") == 0;
  w = LmOpenEx(1, CARD_WIDTH, CARD_HEIGHT, -1, -1, -1, "test card");
  if (w <= 0) {
    fprintf(stderr, "test_card: no window\n");
    return 1;
  }
  black = LmRgb(0, 0, 0);
  red = LmRgb(200, 30, 30);
  blue = LmRgb(30, 60, 200);
  green = LmRgb(20, 140, 40);
  yellow = LmRgb(240, 210, 40);
  grey = LmRgb(128, 128, 128);
  sky = LmRgb(150, 190, 230);
  (void)grey;

  pen_styles(0, 0, CRISP);
  pen_styles(200, 0, SMOOTH);
  pen_widths(400, 0);
  raster_modes(500, 0);
  xor_figures(600, 0);
  brush_styles(700, 0);
  if (pause) {
    printf("half drawn\n");
    fflush(stdout);
    if (getchar() == EOF) return 1;
  }
  hatches(0, 100);
  smooth_hatches(200, 100);
  rectangles(300, 100);
  round_rects(400, 100);
  ellipses(500, 100, CRISP);
  ellipses(600, 100, SMOOTH);
  world_figures();
  arc_figures(0, 200, CRISP);
  arc_figures(200, 200, SMOOTH);
  stars(400, 200, 4, CRISP);
  stars(600, 200, 2, SMOOTH);
  polylines(700, 200);
  beziers(700, 250);
  markers(0, 300, CRISP);
  markers(200, 300, SMOOTH);
  curve_dashes(600, 300);
  arc_dashes(600, 550);
  pie_dashes(800, 100);
  scaled_dashes(700, 300);
  huge_figures();
  pixels(400, 300);
  transformed(500, 300);
  edge_lines(0, 400);
  translation(&card_move_regions[CARD_MOVED]);
  texts();
  middle_texts(&card_move_regions[2], &card_move_regions[3]);
  printf("drawn %d\n", w);
  LmQuitEx(0);
  return 0;
}
