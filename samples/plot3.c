/* plot3: draws a send/receive timing chart of 310 records "send level
 * receive", from record 200 on.
 *
 *   plot3 DATA
 *
 * A last receive time whose count of hundredths of a second no int holds
 * (huge, infinite or not a number) is named on stderr and the program ends
 * with status 2 before drawing. */
#include <limits.h>
#include <stdio.h>

#include "lumo.h"

#define RECORDS 310

static float sendTimes[RECORDS];
static float levels[RECORDS];
static float receiveTimes[RECORDS];
static int startRecord;
static float chart_unit;
static int time_steps;
static double time_step;

static void read_data(FILE *fp) {
  int i;
  for (i = 0; i < RECORDS; i++) {
    if (fscanf(fp, "%f %f %f\n", &sendTimes[i], &levels[i], &receiveTimes[i]) == EOF) break;
  }
}

/* Times become relative to the starting record; receive times are moved by
 * the first send interval. */
static void shift_times(void) {
  const int k = startRecord;
  const float t0 = sendTimes[k];
  const float r0 = receiveTimes[k];
  int i;
  for (i = k; i < RECORDS; i++) sendTimes[i] = sendTimes[i] - t0;
  receiveTimes[k] = receiveTimes[k] - r0 + sendTimes[k];
  for (i = k + 1; i < RECORDS; i++) {
    receiveTimes[i] = receiveTimes[i] - r0 + (sendTimes[k + 1] - sendTimes[k]);
  }
}

static void draw_axes(void) {
  float u = chart_unit;
  float xmax = sendTimes[RECORDS - 1] + 2 * u;
  char text[10];
  double step;
  int n;
  int i;

  LmOpen(0);
  LmSetWorld(0, -0.2f, xmax, 0.88f);
  LmSetPen(13, -1, -1, 4);
  LmLine(u, 0.1f, u, 0.8f);
  for (i = 0; i <= 6; i++) {
    double v = 0.1 * i;
    LmLine(u, (float)(v + 0.1), xmax - u, (float)(v + 0.1));
    snprintf(text, sizeof text, "%0.3f", v / 100);
    LmText(0.3f * u, (float)(v + 0.08), text);
  }
  LmText(0, 0.75f, "(sec)");
  LmLine(u, 0.1f, xmax - u, 0.1f);
  LmText(xmax - u, 0.09f, "send");
  LmLine(u, 0.09f, xmax - u, 0.09f);
  LmLine(u, -0.1f, xmax - u, -0.1f);
  LmText(xmax - u, -0.11f, "receive");

  n = time_steps;
  step = time_step;
  printf("%d\n", n);
  for (i = 0; i <= n; i++) {
    float w = (float)(i * step);
    LmLine(w + u, -0.1f, w + u, -0.13f);
    snprintf(text, sizeof text, "%0.2f", w);
    LmText((w + u) - 0.25f * u, -0.15f, text);
  }
  LmText(xmax - u, -0.15f, "(sec)");
}

/* The time axis counts hundredths of a second up to the last receive time,
 * in fifths of that count when there are more than nine.  The product is not
 * rounded to single precision before truncation.  Returns 0 when no int holds
 * the count (a huge, infinite or undefined time), which must not wrap. */
static int count_time_steps(void) {
  double hundredths = 100.0 * (double)receiveTimes[RECORDS - 1];
  if (!(hundredths > INT_MIN - 1.0 && hundredths < INT_MAX + 1.0)) return 0;
  time_steps = (int)hundredths;
  time_step = 0.01;
  if (time_steps > 9) {
    time_steps = time_steps / 5;
    time_step = 0.05;
  }
  return 1;
}

static void draw_chart(void) {
  float u = chart_unit;
  int i;
  for (i = startRecord + 1; i < RECORDS; i++) {
    LmSetPen(16, -1, -1, 4);
    LmLine(sendTimes[i] + u, 0.1f, sendTimes[i] + u, levels[i]);
  }
  for (i = startRecord + 1; i < RECORDS - 1; i++) {
    LmSetPen(6, -1, -1, 4);
    LmLine(sendTimes[i] + u, 0.09f, receiveTimes[i] + u, -0.1f);
  }
  LmQuit();
}

int main(int argc, char *argv[]) {
  FILE *fp;
  if (argc != 2) {
    puts("arg error");
    return 0;
  }
  startRecord = 200;
  fp = fopen(argv[1], "r");
  if (fp == NULL) {
    puts("read file open error ");
    return 0;
  }
  read_data(fp);
  fclose(fp);
  shift_times();
  chart_unit = sendTimes[RECORDS - 1] / 10;
  if (!count_time_steps()) {
    fprintf(stderr, "plot3: the last receive time, %g s after the shift, is out of range: "
            "the time axis cannot count it in steps of 0.01 s\n", receiveTimes[RECORDS - 1]);
    return 2;
  }
  draw_axes();
  draw_chart();
  return 0;
}
