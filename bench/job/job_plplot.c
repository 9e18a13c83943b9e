/* The job drawn with PLplot's pngcairo device (a peer library, for
 * comparison). */
#include <plplot/plplot.h>

#include "scene.h"

int main(int argc, char **argv) {
  JobRandom r = {12345};
  double x1, y1, x2, y2;
  int i, x, y, w, h;
  char text[32];
  PLFLT xs[4], ys[4];
  plsdev("pngcairo");
  plsfnam(argc > 1 ? argv[1] : "job-plplot.png");
  plspage(0, 0, JOB_WIDTH, JOB_HEIGHT, 0, 0);
  plscolbg(255, 255, 255);
  plinit();
  pladv(0);
  plvpor(0, 1, 0, 1);
  plwind(0, JOB_WIDTH, JOB_HEIGHT, 0);
  plscol0(1, job_line_colour[0], job_line_colour[1], job_line_colour[2]);
  for (i = 0; i < 8; ++i) plscol0(2 + i, job_colours[i][0], job_colours[i][1], job_colours[i][2]);
  plscol0(10, 0, 0, 0);
  plcol0(1);
  for (i = 0; i < JOB_LINES; ++i) {
    job_line(&r, &x1, &y1, &x2, &y2);
    pljoin(x1, y1, x2, y2);
  }
  for (i = 0; i < JOB_RECTS; ++i) {
    job_rect(&r, &x, &y, &w, &h);
    plcol0(2 + i % 8);
    xs[0] = x, xs[1] = x + w, xs[2] = x + w, xs[3] = x;
    ys[0] = y, ys[1] = y, ys[2] = y + h, ys[3] = y + h;
    plfill(4, xs, ys);
  }
  plcol0(10);
  for (i = 0; i < JOB_LABELS; ++i) {
    job_label(&r, i, &x, &y, text, sizeof text);
    plptex(x, y, 1, 0, 0, text);
  }
  plend();
  return 0;
}
