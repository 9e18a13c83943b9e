/* A scene drawn through the kit, at the user's own coordinates: a window of
 * the scene's size in pixel mode (world coordinates are pixels, given as
 * floats), the smooth pen.  The server writes the PNG when the program ends
 * (LUMOVIEW_PNG_DIR). */
#include "include/lumo.h"
#include "scenes.h"

static int rgb(const unsigned char *c) { return LmRgb(c[0], c[1], c[2]); }

int main(int argc, char **argv) {
  const Scene scene = scene_named(argc > 1 ? argv[1] : NULL);
  SceneRandom r = {12345};
  static float xy[2 * SCENE_CURVE_POINTS];
  double x1, y1, x2, y2, xs[6], ys[6];
  int i, k, x, y, win;
  char text[32];
  if (scene.kind == SCENE_NONE) return 2;
  win = LmOpenEx(0, SCENE_WIDTH, SCENE_HEIGHT, -1, -1, -1, "scene");
  if (!win) return 1;
  LmSetWorld(0, 0, 0, 0);
  LmSetPen(rgb(scene_ink), 0, 1, 4);
  switch (scene.kind) {
    case SCENE_LINES:
      for (i = 0; i < scene.count; ++i) {
        scene_line(&r, &x1, &y1, &x2, &y2);
        LmLine((float)x1, (float)y1, (float)x2, (float)y2);
      }
      break;
    case SCENE_SCATTER:
      for (i = 0; i < scene.count; ++i) {
        scene_point(&r, &x1, &y1);
        LmSetPixel((float)x1, (float)y1, rgb(scene_ink));
      }
      break;
    case SCENE_TEXT:
      LmDevSetFont(win, SCENE_FONT_PIXELS, 0, 0, LmRgb(0, 0, 0), 0, 0);
      for (i = 0; i < scene.count; ++i) {
        scene_label(i, &x, &y, text, sizeof text);
        LmDevText(win, x, y, text);
      }
      break;
    case SCENE_POLYGONS:
      LmSetPen(-1, 5, -1, -1);
      for (i = 0; i < scene.count; ++i) {
        float p[12];
        scene_hexagon(&r, xs, ys);
        for (k = 0; k < 6; ++k) p[2 * k] = (float)xs[k], p[2 * k + 1] = (float)ys[k];
        LmSetBrush(rgb(scene_colours[i % 8]), 0, -1);
        LmPolygon(p, 6, 0);
      }
      break;
    case SCENE_WIDE:
      LmSetPen(rgb(scene_ink), 0, scene.count, 4);
      for (i = 0; i < SCENE_CURVE_POINTS; ++i) {
        scene_curve_point(i, &x1, &y1);
        xy[2 * i] = (float)x1, xy[2 * i + 1] = (float)y1;
      }
      LmPolyline(xy, SCENE_CURVE_POINTS);
      break;
    default: break;
  }
  LmQuitEx(0);
  return 0;
}
