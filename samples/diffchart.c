/* diffchart: reads numbered pairs of values, reports where their difference
 * is largest and smallest, draws the differences as a line chart and writes
 * a result file.
 *
 *   diffchart DATA RESULT
 *
 * DATA holds records "n a b" numbered 1, 2, 3, ...; the number of the last
 * record read is the number of records N (1 to 10000); any other last
 * number, one too large for an int included, is named on stderr and the
 * program ends with status 2 before drawing. */
#include <ctype.h>
#include <limits.h>
#include <stdio.h>
#include <string.h>

#include "lumo.h"

#define MAX_RECORDS 10000

static int count;
static float xs[MAX_RECORDS];
static float ys[MAX_RECORDS];
static float diffs[MAX_RECORDS];
static float chart_unit;
/* The last record number as written, when no int holds it. */
static char count_text[32];
static int count_out_of_range;

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

/* Reads a record number as "%d" does (blanks, a sign, digits), but a number
 * that no int holds is noted in count_out_of_range and count_text instead of
 * being wrapped into one.  Returns 1 when a number was read, 0 at text that
 * is not one, EOF at the end of the data. */
static int read_record_number(FILE *fp) {
  unsigned int limit = INT_MAX;
  unsigned int value = 0;
  int too_large = 0;
  char text[sizeof count_text];
  size_t length = 0;
  int digits = 0;
  int c;
  do c = getc(fp);
  while (c != EOF && isspace(c));
  if (c == EOF) return EOF;
  if (c == '-' || c == '+') {
    if (c == '-') limit = (unsigned int)INT_MAX + 1u;
    text[length++] = (char)c;
    c = getc(fp);
  }
  for (; c != EOF && isdigit(c); c = getc(fp), digits++) {
    unsigned int d = (unsigned int)(c - '0');
    if (value > (limit - d) / 10) too_large = 1;
    if (!too_large) value = value * 10 + d;
    if (length + 4 < sizeof text) {
      text[length++] = (char)c;
    } else if (length + 4 == sizeof text) {
      memcpy(text + length, "...", 3);
      length += 3;
    }
  }
  if (c != EOF) ungetc(c, fp);
  if (digits == 0) return 0;
  text[length] = '\0';
  memcpy(count_text, text, length + 1);
  count_out_of_range = too_large;
  if (!too_large) count = limit > INT_MAX && value > 0 ? -(int)(value - 1) - 1 : (int)value;
  return 1;
}

static void read_data(FILE *fp) {
  int i;
  /* Exactly MAX_RECORDS attempts: past the end of the data nothing is
   * stored, and at text that does not match every later attempt stops at it. */
  for (i = 0; i < MAX_RECORDS; i++) {
    int got = read_record_number(fp);
    if (got == EOF) break;
    if (got == 1 && fscanf(fp, " %f %f\n", &xs[i], &ys[i]) == EOF) break;
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
  if (count_out_of_range) {
    fprintf(stderr, "diffchart: the last record is numbered %s; records must be numbered 1 to %d\n",
            count_text, MAX_RECORDS);
    return 2;
  }
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
