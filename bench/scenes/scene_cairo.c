/* A scene drawn with bare cairo into an image surface: the floor.
 *
 *   scene_cairo SCENE FILE.png [centres]
 *
 * With "centres" the figures are drawn half a pixel right and down: the
 * kit's coordinate x names the middle of pixel x (as GDI's do), cairo's
 * names the pixel's left edge, so this is the kit's picture of the same
 * numbers drawn by cairo (text is placed at pixel corners by both). */
#include <cairo.h>
#include <string.h>

#include "scenes.h"

static void colour(cairo_t *cr, const unsigned char *c) {
  cairo_set_source_rgb(cr, c[0] / 255.0, c[1] / 255.0, c[2] / 255.0);
}

int main(int argc, char **argv) {
  const Scene scene = scene_named(argc > 1 ? argv[1] : NULL);
  SceneRandom r = {12345};
  cairo_surface_t *s;
  cairo_t *cr;
  double x1, y1, x2, y2, xs[6], ys[6];
  int i, k, x, y;
  char text[32];
  if (scene.kind == SCENE_NONE || argc < 3) return 2;
  if (argc > 3 && strcmp(argv[3], "centres") != 0) return 2;
  s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, SCENE_WIDTH, SCENE_HEIGHT);
  cr = cairo_create(s);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  colour(cr, scene_ink);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  cairo_set_line_width(cr, 1);
  if (argc > 3 && scene.kind != SCENE_TEXT) cairo_translate(cr, 0.5, 0.5);
  switch (scene.kind) {
    case SCENE_LINES:
      for (i = 0; i < scene.count; ++i) {
        scene_line(&r, &x1, &y1, &x2, &y2);
        cairo_move_to(cr, x1, y1);
        cairo_line_to(cr, x2, y2);
        cairo_stroke(cr);
      }
      break;
    case SCENE_SCATTER:
      for (i = 0; i < scene.count; ++i) {
        scene_point(&r, &x1, &y1);
        cairo_rectangle(cr, x1 - 0.5, y1 - 0.5, 1, 1);
        cairo_fill(cr);
      }
      break;
    case SCENE_TEXT:
      cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
      cairo_set_font_size(cr, SCENE_FONT_PIXELS);
      cairo_set_source_rgb(cr, 0, 0, 0);
      for (i = 0; i < scene.count; ++i) {
        scene_label(i, &x, &y, text, sizeof text);
        cairo_move_to(cr, x, y);
        cairo_show_text(cr, text);
      }
      break;
    case SCENE_POLYGONS:
      for (i = 0; i < scene.count; ++i) {
        scene_hexagon(&r, xs, ys);
        colour(cr, scene_colours[i % 8]);
        cairo_move_to(cr, xs[0], ys[0]);
        for (k = 1; k < 6; ++k) cairo_line_to(cr, xs[k], ys[k]);
        cairo_close_path(cr);
        cairo_fill(cr);
      }
      break;
    case SCENE_WIDE:
      cairo_set_line_width(cr, scene.count);
      for (i = 0; i < SCENE_CURVE_POINTS; ++i) {
        scene_curve_point(i, &x1, &y1);
        if (i == 0) cairo_move_to(cr, x1, y1);
        else cairo_line_to(cr, x1, y1);
      }
      cairo_stroke(cr);
      break;
    default: break;
  }
  cairo_destroy(cr);
  if (cairo_surface_write_to_png(s, argv[2]) != CAIRO_STATUS_SUCCESS) return 1;
  cairo_surface_destroy(s);
  return 0;
}
