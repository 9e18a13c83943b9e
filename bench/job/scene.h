/* The benchmark job every program draws, from the same pseudo-random
 * numbers: 100,000 anti-aliased 1-pixel lines of 100 pixels, 10,000 filled
 * rectangles in eight colours and 10,000 short text labels on a white
 * 640 x 480 picture, which is then written as a PNG file. */
#ifndef LUMO_BENCH_JOB_SCENE_H
#define LUMO_BENCH_JOB_SCENE_H

#include <math.h>
#include <stdio.h>

#define JOB_WIDTH 640
#define JOB_HEIGHT 480
#ifndef JOB_LINES /* smaller counts give a picture one can look at */
#define JOB_LINES 100000
#define JOB_RECTS 10000
#define JOB_LABELS 10000
#endif
#define JOB_FONT_PIXELS 16

typedef struct {
  unsigned int state;
} JobRandom;

static double job_next(JobRandom *r) { /* 0 <= value < 1 */
  r->state = r->state * 1664525u + 1013904223u;
  return (r->state >> 8) / 16777216.0;
}

/* Line i from (x1, y1), 100 pixels long in a random direction. */
static void job_line(JobRandom *r, double *x1, double *y1, double *x2, double *y2) {
  const double angle = job_next(r) * 6.283185307179586;
  *x1 = job_next(r) * JOB_WIDTH;
  *y1 = job_next(r) * JOB_HEIGHT;
  *x2 = *x1 + 100 * cos(angle);
  *y2 = *y1 + 100 * sin(angle);
}

/* Rectangle i: whole pixels, 4 to 40 on a side, colour index i % 8. */
static void job_rect(JobRandom *r, int *x, int *y, int *w, int *h) {
  *x = (int)(job_next(r) * (JOB_WIDTH - 40));
  *y = (int)(job_next(r) * (JOB_HEIGHT - 40));
  *w = 4 + (int)(job_next(r) * 37);
  *h = 4 + (int)(job_next(r) * 37);
}

static const unsigned char job_colours[8][3] = {
    {230, 25, 75}, {60, 180, 75}, {255, 225, 25}, {0, 130, 200},
    {245, 130, 48}, {145, 30, 180}, {70, 240, 240}, {128, 128, 128}};

static const unsigned char job_line_colour[3] = {30, 70, 200};

/* Label i at a whole-pixel point, e.g. "p1234". */
static void job_label(JobRandom *r, int i, int *x, int *y, char *text, size_t size) {
  *x = (int)(job_next(r) * (JOB_WIDTH - 60));
  *y = 16 + (int)(job_next(r) * (JOB_HEIGHT - 20));
  snprintf(text, size, "p%d", i);
}

#endif
