/* The pictures that do not fill up, drawn by every program of the scene
 * benchmark (bench/scene_bench.cpp) from the same pseudo-random numbers, at
 * the user's own coordinates (not rounded to whole pixels), on a white
 * 640 x 480 picture written as PNG.  A program takes the scene's name:
 *
 *   lines-2k, lines-20k   anti-aliased 1-pixel lines of 100 pixels
 *   scatter-100k          single points
 *   text-page             480 labels in a 12-pixel face, a page of numbers
 *   polygons-2k           small filled hexagons in eight colours
 *   wide-1, wide-3, wide-25  one polyline of 2,000 points (a smooth curve)
 *                         with a pen of that width, round joins and caps
 *
 * A new row: a name here, its drawing in each scene_*.c that can draw it
 * (a program that cannot ends with status 2 and is left out of that row),
 * and the name in scene_bench's table. */
#ifndef LUMO_BENCH_SCENES_H
#define LUMO_BENCH_SCENES_H

#include <math.h>
#include <stdio.h>
#include <string.h>

#define SCENE_WIDTH 640
#define SCENE_HEIGHT 480
#define SCENE_FONT_PIXELS 12
#define SCENE_LABELS_ACROSS 16
#define SCENE_LABELS_DOWN 30
#define SCENE_HEXAGON_RADIUS 6.0
#define SCENE_CURVE_POINTS 2000

typedef enum { SCENE_LINES, SCENE_SCATTER, SCENE_TEXT, SCENE_POLYGONS, SCENE_WIDE, SCENE_NONE } SceneKind;

typedef struct {
  SceneKind kind;
  int count; /* lines, points, polygons; the pen width of SCENE_WIDE */
} Scene;

static Scene scene_named(const char *name) {
  Scene s = {SCENE_NONE, 0};
  if (!name) return s;
  if (strcmp(name, "lines-2k") == 0) s.kind = SCENE_LINES, s.count = 2000;
  if (strcmp(name, "lines-20k") == 0) s.kind = SCENE_LINES, s.count = 20000;
  if (strcmp(name, "scatter-100k") == 0) s.kind = SCENE_SCATTER, s.count = 100000;
  if (strcmp(name, "text-page") == 0) s.kind = SCENE_TEXT, s.count = SCENE_LABELS_ACROSS * SCENE_LABELS_DOWN;
  if (strcmp(name, "polygons-2k") == 0) s.kind = SCENE_POLYGONS, s.count = 2000;
  if (strcmp(name, "wide-1") == 0) s.kind = SCENE_WIDE, s.count = 1;
  if (strcmp(name, "wide-3") == 0) s.kind = SCENE_WIDE, s.count = 3;
  if (strcmp(name, "wide-25") == 0) s.kind = SCENE_WIDE, s.count = 25;
  return s;
}

typedef struct {
  unsigned int state;
} SceneRandom;

static double scene_next(SceneRandom *r) { /* 0 <= value < 1 */
  r->state = r->state * 1664525u + 1013904223u;
  return (r->state >> 8) / 16777216.0;
}

static const unsigned char scene_colours[8][3] = {
    {230, 25, 75}, {60, 180, 75}, {255, 225, 25}, {0, 130, 200},
    {245, 130, 48}, {145, 30, 180}, {70, 240, 240}, {128, 128, 128}};
static const unsigned char scene_ink[3] = {30, 70, 200};

/* A line 100 pixels long in a random direction. */
static void scene_line(SceneRandom *r, double *x1, double *y1, double *x2, double *y2) {
  const double angle = scene_next(r) * 6.283185307179586;
  *x1 = scene_next(r) * SCENE_WIDTH;
  *y1 = scene_next(r) * SCENE_HEIGHT;
  *x2 = *x1 + 100 * cos(angle);
  *y2 = *y1 + 100 * sin(angle);
}

static void scene_point(SceneRandom *r, double *x, double *y) {
  *x = 2 + scene_next(r) * (SCENE_WIDTH - 4);
  *y = 2 + scene_next(r) * (SCENE_HEIGHT - 4);
}

/* Label i of the page: its place (whole pixels, left end of the baseline)
 * and text, a number such as "-12.37". */
static void scene_label(int i, int *x, int *y, char *text, size_t size) {
  const int column = i % SCENE_LABELS_ACROSS, row = i / SCENE_LABELS_ACROSS;
  *x = 2 + column * (SCENE_WIDTH / SCENE_LABELS_ACROSS);
  *y = 13 + row * 16;
  snprintf(text, size, "%.2f", (i * 7919 % 20000) / 100.0 - 100.0);
}

/* Hexagon i: six corners around a random centre, its colour index i % 8. */
static void scene_hexagon(SceneRandom *r, double *x, double *y) {
  const double cx = 10 + scene_next(r) * (SCENE_WIDTH - 20), cy = 10 + scene_next(r) * (SCENE_HEIGHT - 20);
  int k;
  for (k = 0; k < 6; ++k) {
    x[k] = cx + SCENE_HEXAGON_RADIUS * cos(k * 1.0471975511965976);
    y[k] = cy + SCENE_HEXAGON_RADIUS * sin(k * 1.0471975511965976);
  }
}

/* Point i of the smooth curve across the picture. */
static void scene_curve_point(int i, double *x, double *y) {
  const double t = (double)i / (SCENE_CURVE_POINTS - 1);
  *x = 20 + t * (SCENE_WIDTH - 40);
  *y = SCENE_HEIGHT / 2.0 + 150 * sin(t * 6.283185307179586 * 3) * cos(t * 7.1);
}

#endif
