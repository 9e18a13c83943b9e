/* A scene drawn with giza's PNG device (a peer library, for comparison).
 * Its text and point sizes are its own; the rows compare what it draws. */
#include <giza.h>
#include <stdio.h>

#include "scenes.h"

int main(int argc, char **argv) {
  const Scene scene = scene_named(argc > 1 ? argv[1] : NULL);
  SceneRandom r = {12345};
  static double px[100000], py[100000];
  double x1, y1, x2, y2, xs[6], ys[6];
  int i, x, y;
  char text[32];
  if (scene.kind == SCENE_NONE || argc < 3) return 2;
  if (giza_open_device_size("/png", "scene-giza-out", SCENE_WIDTH, SCENE_HEIGHT, GIZA_UNITS_PIXELS) <= 0) {
    return 1;
  }
  giza_set_viewport(0, 1, 0, 1);
  giza_set_window(0, SCENE_WIDTH, SCENE_HEIGHT, 0);
  giza_set_colour_representation(20, scene_ink[0] / 255.0, scene_ink[1] / 255.0, scene_ink[2] / 255.0);
  for (i = 0; i < 8; ++i) {
    giza_set_colour_representation(21 + i, scene_colours[i][0] / 255.0, scene_colours[i][1] / 255.0,
                                   scene_colours[i][2] / 255.0);
  }
  giza_set_colour_index(20);
  switch (scene.kind) {
    case SCENE_LINES:
      for (i = 0; i < scene.count; ++i) {
        scene_line(&r, &x1, &y1, &x2, &y2);
        giza_move(x1, y1);
        giza_draw(x2, y2);
      }
      break;
    case SCENE_SCATTER:
      for (i = 0; i < scene.count; ++i) scene_point(&r, &px[i], &py[i]);
      giza_points(scene.count, px, py, -1);
      break;
    case SCENE_TEXT:
      giza_set_colour_index(1);
      for (i = 0; i < scene.count; ++i) {
        scene_label(i, &x, &y, text, sizeof text);
        giza_text(x, y, text);
      }
      break;
    case SCENE_POLYGONS:
      giza_set_fill(GIZA_FILL_SOLID);
      for (i = 0; i < scene.count; ++i) {
        scene_hexagon(&r, xs, ys);
        giza_set_colour_index(21 + i % 8);
        giza_polygon(6, xs, ys);
      }
      break;
    case SCENE_WIDE:
      /* giza's line width is in its own units, not pixels. */
      (void)scene_curve_point;
      giza_close_device();
      return 2;
    default: break;
  }
  giza_close_device();
  if (rename("scene-giza-out.png", argv[2]) != 0 && rename("scene-giza-out_0000.png", argv[2]) != 0) return 1;
  return 0;
}
