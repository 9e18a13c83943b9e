/* The job drawn with bare cairo into an image surface: the floor. */
#include <cairo.h>

#include "scene.h"

int main(int argc, char **argv) {
  JobRandom r = {12345};
  cairo_surface_t *s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, JOB_WIDTH, JOB_HEIGHT);
  cairo_t *cr = cairo_create(s);
  double x1, y1, x2, y2;
  int i, x, y, w, h;
  char text[32];
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  cairo_set_line_width(cr, 1);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_set_source_rgb(cr, job_line_colour[0] / 255.0, job_line_colour[1] / 255.0,
                       job_line_colour[2] / 255.0);
  for (i = 0; i < JOB_LINES; ++i) {
    job_line(&r, &x1, &y1, &x2, &y2);
    cairo_move_to(cr, x1, y1);
    cairo_line_to(cr, x2, y2);
    cairo_stroke(cr);
  }
  for (i = 0; i < JOB_RECTS; ++i) {
    const unsigned char *c = job_colours[i % 8];
    job_rect(&r, &x, &y, &w, &h);
    cairo_set_source_rgb(cr, c[0] / 255.0, c[1] / 255.0, c[2] / 255.0);
    cairo_rectangle(cr, x, y, w, h);
    cairo_fill(cr);
  }
  cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, JOB_FONT_PIXELS);
  cairo_set_source_rgb(cr, 0, 0, 0);
  for (i = 0; i < JOB_LABELS; ++i) {
    job_label(&r, i, &x, &y, text, sizeof text);
    cairo_move_to(cr, x, y);
    cairo_show_text(cr, text);
  }
  cairo_destroy(cr);
  if (cairo_surface_write_to_png(s, argc > 1 ? argv[1] : "job-cairo.png") != CAIRO_STATUS_SUCCESS) {
    return 1;
  }
  cairo_surface_destroy(s);
  return 0;
}
