/* The job drawn with giza's PNG device (a peer library, for comparison). */
#include <giza.h>
#include <stdio.h>
#include <string.h>

#include "scene.h"

int main(int argc, char **argv) {
  JobRandom r = {12345};
  double x1, y1, x2, y2;
  int i, x, y, w, h;
  char text[32], made[64];
  const char *target = argc > 1 ? argv[1] : "job-giza.png";
  if (giza_open_device_size("/png", "job-giza-out", JOB_WIDTH, JOB_HEIGHT, GIZA_UNITS_PIXELS) <= 0) {
    return 1;
  }
  giza_set_viewport(0, 1, 0, 1);
  giza_set_window(0, JOB_WIDTH, JOB_HEIGHT, 0);
  giza_set_colour_representation(20, job_line_colour[0] / 255.0, job_line_colour[1] / 255.0,
                                 job_line_colour[2] / 255.0);
  for (i = 0; i < 8; ++i) {
    giza_set_colour_representation(21 + i, job_colours[i][0] / 255.0, job_colours[i][1] / 255.0,
                                   job_colours[i][2] / 255.0);
  }
  giza_set_colour_index(20);
  for (i = 0; i < JOB_LINES; ++i) {
    job_line(&r, &x1, &y1, &x2, &y2);
    giza_move(x1, y1);
    giza_draw(x2, y2);
  }
  giza_set_fill(GIZA_FILL_SOLID);
  for (i = 0; i < JOB_RECTS; ++i) {
    job_rect(&r, &x, &y, &w, &h);
    giza_set_colour_index(21 + i % 8);
    giza_rectangle(x, x + w, y, y + h);
  }
  giza_set_colour_index(1);
  for (i = 0; i < JOB_LABELS; ++i) {
    job_label(&r, i, &x, &y, text, sizeof text);
    giza_text(x, y, text);
  }
  giza_close_device();
  snprintf(made, sizeof made, "job-giza-out.png");
  if (rename(made, target) != 0) {
    snprintf(made, sizeof made, "job-giza-out_0000.png");
    if (rename(made, target) != 0) return 1;
  }
  return 0;
}
