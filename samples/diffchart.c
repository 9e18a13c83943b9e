/* diffchart: reads numbered pairs of values, reports where their difference
 * is largest and smallest, draws the differences as a line chart and writes
 * a result file.
 *
 *   diffchart DATA RESULT
 *
 * DATA holds records "n a b" numbered 1, 2, 3, ...; the number of the last
 * record read is the number of records N (1 to 10000). */
#include <stdio.h>

#include "lumo.h"

#define MAX_RECORDS 10000

static int count;
static float xs[MAX_RECORDS];
static float ys[MAX_RECORDS];
static float diffs[MAX_RECORDS];
static float chart_unit;

static void report(void) {
  float max = diffs[0];
  float min = diffs[0];
  int max_position = 1;
  int min_position = 1;
  int i;
  for (i = 0; i < count; i++) {
    if (diffs[i] > max) {
      max = diffs[i];
      max_position = i + 1;
    } else if (diffs[i] < min) {
      min = diffs[i];
      min_position = i + 1;
    }
  }
  printf("max  number%d : %f\nmin  number%d : %f\n", max_position, max, min_position, min);
  printf("max - min : %f\n", max - min);
}

static void read_data(FILE *fp) {
  int i;
  /* Exactly MAX_RECORDS attempts: past the end of the data nothing is stored. */
  for (i = 0; i < MAX_RECORDS; i++) {
    if (fscanf(fp, "%d %f %f\n", &count, &xs[i], &ys[i]) == EOF) break;
  }
}

static void draw_chart(void) {
  float u = chart_unit;
  float xmax = xs[count - 1] + 2 * u;
  char text[10];
  int k;
  int i;

  LmOpen(0);
  LmSetWorld(0, 0, xmax, 3.2f);
  LmSetPen(13, -1, -1, 4);
  LmLine(u, 0.2f, u, 3.0f);
  /* Grid lines at 0.3 .. 2.9, labels for the heights 0.2 .. 2.8 below them. */
  for (k = 1; k * 0.1 + 0.2 <= 3.0; k++) {
    LmLine(u, (float)(0.2 + 0.1 * k), xmax - u, (float)(0.2 + 0.1 * k));
    snprintf(text, sizeof text, "%0.3f", ((k - 1) * 0.1) / 100);
    LmText(0, (float)(0.2 + 0.1 * (k - 1)), text);
  }
  LmLine(u, 0.2f, xmax - u, 0.2f);
  for (i = 0; i <= 5; i++) {
    LmLine(u + 2 * u * i, 0.2f, u + 2 * u * i, 0.22f);
    snprintf(text, sizeof text, "%0.3f", 2 * u * i);
    LmText(u + 1.9f * u * i, 0.1f, text);
  }
  LmSetPen(0, -1, -1, 4);
  /* Each difference becomes its plotted height, drawn as it is computed. */
  diffs[0] = 100 * diffs[0] + 0.7 + count * 0.00001;
  for (i = 1; i < count; i++) {
    diffs[i] = 100 * diffs[i] + (float)(0.7 + (count - i) * 0.00001);
    LmLine(xs[i - 1] + u, diffs[i - 1], xs[i] + u, diffs[i]);
  }
  LmQuit();
}

int main(int argc, char *argv[]) {
  FILE *fp;
  int i;

  if (argc != 3) {
    puts("arg error");
    return 0;
  }
  fp = fopen(argv[1], "r");
  if (fp == NULL) {
    puts("this file doesn't open");
    return 0;
  }
  read_data(fp);
  fclose(fp);
  /* The arrays hold 10000 records; anything else has no chart. */
  if (count < 1 || count > MAX_RECORDS) {
    fprintf(stderr, "diffchart: the last record is numbered %d; records must be numbered 1 to %d\n",
            count, MAX_RECORDS);
    return 2;
  }
  for (i = 0; i < count; i++) diffs[i] = ys[i] - xs[i];
  report();

  chart_unit = xs[count - 1] / 10;
  draw_chart();

  fp = fopen(argv[2], "w");
  if (fp == NULL) {
    puts("write file doesn't open");
    return 0;
  }
  for (i = 0; i < count; i++) fprintf(fp, "%f %f %f\n", xs[i], diffs[i], ys[i]);
  fclose(fp);
  report();
  return 0;
}
