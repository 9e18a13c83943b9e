/* picker: draws a damped wave and prints the world coordinates of every
 * point clicked on the chart, marking each one.  Enter, q or Escape typed in
 * the window (or closing it) ends; the points are then printed again as a
 * table.
 *
 *   picker            click with any button; the wheel zooms the y axis
 *
 * Without a display the server takes its input from LUMOVIEW_EVENTS, a file
 * of lines such as "click 1 320 240" and "key 13" (docs/events.md). */
#include <math.h>
#include <stdio.h>

#include "lumo.h"

#define MAX_POINTS 100

static float y_range = 1.2f;

static void draw_chart(void) {
  int i;
  LmSetWorld(-0.5f, -y_range, 10.5f, y_range);
  LmRectMode(-0.5f, -y_range, 10.5f, y_range, 4); /* clear to the background */
  LmSetPen(LmRgb(160, 160, 160), 0, 1, 13);
  LmLine(0.0f, 0.0f, 10.0f, 0.0f);
  LmLine(0.0f, -y_range, 0.0f, y_range);
  LmSetPen(LmRgb(30, 70, 200), 0, 2, 4);
  LmMoveTo(0.0f, 1.0f);
  for (i = 1; i <= 400; ++i) {
    const float x = i / 40.0f;
    LmLineTo(x, (float)(exp(-0.25 * x) * cos(2.0 * x)));
  }
  LmSetFont(0.08f * y_range, 0.0f, 0, LmRgb(0, 0, 0), 0, NULL);
  LmText(0.2f, 0.85f * y_range, "Click points; Enter, q or Escape ends");
}

int main(void) {
  float px[MAX_POINTS], py[MAX_POINTS];
  int n = 0, i;

  if (LmOpenEx(1, 640, 480, -1, -1, -1, "picker: click points") <= 0) {
    fprintf(stderr, "picker: no window\n");
    return 1;
  }
  draw_chart();
  LmSetMarker(3, 0.04f, LmRgb(200, 30, 30), LmRgb(255, 255, 255), 0);
  printf("Click points on the chart; type Enter, q or Escape in the window to end.\n");
  fflush(stdout); /* shown at once also when the output is a pipe */
  for (;;) {
    int kind = 0, code = 0;
    float x = 0, y = 0;
    if (!LmWaitEvent(&kind, &code, &x, &y)) break; /* closed, or no input left */
    if (kind == 1 && n < MAX_POINTS) {
      px[n] = x;
      py[n] = y;
      ++n;
      printf("point %d: x = %.3f  y = %.3f  (button %d)\n", n, x, y, code);
      fflush(stdout);
      LmMarker(x, y);
    } else if (kind == 2 && (code == 13 || code == 'q' || code == 27)) {
      break;
    } else if (kind == 3) {
      y_range = code > 0 ? y_range / 1.25f : y_range * 1.25f;
      draw_chart();
      for (i = 0; i < n; ++i) LmMarker(px[i], py[i]);
    }
  }
  printf("%d point%s\n", n, n == 1 ? "" : "s");
  for (i = 0; i < n; ++i) printf("%8.3f %8.3f\n", px[i], py[i]);
  return 0;
}
