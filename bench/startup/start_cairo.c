/* The same with bare cairo-xlib: a 640 x 480 window mapped, a line drawn,
 * then a line on stdin ends it (bench/startup_bench.cpp). */
#include <X11/Xlib.h>
#include <cairo-xlib.h>
#include <stdio.h>

#include "first_call.h"

int main(void) {
  char line[16];
  Display *d;
  Window w;
  cairo_surface_t *s;
  cairo_t *cr;
  note_first_call();
  d = XOpenDisplay(NULL);
  if (!d) return 1;
  w = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 640, 480, 0, 0, WhitePixel(d, DefaultScreen(d)));
  XStoreName(d, w, "cairo");
  XMapWindow(d, w);
  s = cairo_xlib_surface_create(d, w, DefaultVisual(d, DefaultScreen(d)), 640, 480);
  cr = cairo_create(s);
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_move_to(cr, 64, 48);
  cairo_line_to(cr, 576, 432);
  cairo_stroke(cr);
  cairo_surface_flush(s);
  XFlush(d);
  if (!fgets(line, sizeof line, stdin)) return 2;
  cairo_destroy(cr);
  cairo_surface_destroy(s);
  XCloseDisplay(d);
  return 0;
}
