/* The job drawn through the kit: a window of the job's size in pixel mode,
 * the lines with the default smooth pen, the rectangles with an invisible
 * pen and a solid brush, the labels in the default font.  The server writes
 * the PNG when the program ends (LUMOVIEW_PNG_DIR). */
#include "include/lumo.h"
#include "scene.h"

int main(void) {
  JobRandom r = {12345};
  double x1, y1, x2, y2;
  int i, x, y, w, h, win;
  char text[32];
  win = LmOpenEx(0, JOB_WIDTH, JOB_HEIGHT, -1, -1, -1, "job");
  if (!win) return 1;
  LmSetWorld(0, 0, 0, 0);
  LmSetPen(LmRgb(job_line_colour[0], job_line_colour[1], job_line_colour[2]), 0, 1, -1);
  for (i = 0; i < JOB_LINES; ++i) {
    job_line(&r, &x1, &y1, &x2, &y2);
    LmLine((float)x1, (float)y1, (float)x2, (float)y2);
  }
  LmSetPen(-1, 5, -1, -1);
  for (i = 0; i < JOB_RECTS; ++i) {
    const unsigned char *c = job_colours[i % 8];
    job_rect(&r, &x, &y, &w, &h);
    LmSetBrush(LmRgb(c[0], c[1], c[2]), 0, -1);
    LmDevRect(win, x, y, x + w, y + h);
  }
  LmDevSetFont(win, JOB_FONT_PIXELS, 0, 0, LmRgb(0, 0, 0), 0, 0);
  for (i = 0; i < JOB_LABELS; ++i) {
    job_label(&r, i, &x, &y, text, sizeof text);
    LmDevText(win, x, y, text);
  }
  LmQuitEx(0);
  return 0;
}
