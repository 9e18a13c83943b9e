/* A scene drawn with PLplot's pngcairo device (a peer library, for
 * comparison).  Its text and point sizes are its own. */
#include <plplot/plplot.h>

#include "scenes.h"

int main(int argc, char **argv) {
  const Scene scene = scene_named(argc > 1 ? argv[1] : NULL);
  SceneRandom r = {12345};
  static PLFLT px[100000], py[100000];
  double x1, y1, x2, y2;
  int i, x, y;
  char text[32];
  PLFLT xs[6], ys[6];
  if (scene.kind == SCENE_NONE || argc < 3) return 2;
  plsdev("pngcairo");
  plsfnam(argv[2]);
  plspage(0, 0, SCENE_WIDTH, SCENE_HEIGHT, 0, 0);
  plscolbg(255, 255, 255);
  plinit();
  pladv(0);
  plvpor(0, 1, 0, 1);
  plwind(0, SCENE_WIDTH, SCENE_HEIGHT, 0);
  plscol0(1, scene_ink[0], scene_ink[1], scene_ink[2]);
  for (i = 0; i < 8; ++i) plscol0(2 + i, scene_colours[i][0], scene_colours[i][1], scene_colours[i][2]);
  plscol0(10, 0, 0, 0);
  plcol0(1);
  switch (scene.kind) {
    case SCENE_LINES:
      for (i = 0; i < scene.count; ++i) {
        scene_line(&r, &x1, &y1, &x2, &y2);
        pljoin(x1, y1, x2, y2);
      }
      break;
    case SCENE_SCATTER:
      for (i = 0; i < scene.count; ++i) scene_point(&r, &px[i], &py[i]);
      plpoin(scene.count, px, py, 1);
      break;
    case SCENE_TEXT:
      plcol0(10);
      for (i = 0; i < scene.count; ++i) {
        scene_label(i, &x, &y, text, sizeof text);
        plptex(x, y, 1, 0, 0, text);
      }
      break;
    case SCENE_POLYGONS:
      for (i = 0; i < scene.count; ++i) {
        scene_hexagon(&r, xs, ys);
        plcol0(2 + i % 8);
        plfill(6, xs, ys);
      }
      break;
    case SCENE_WIDE:
      plwidth(scene.count);
      for (i = 0; i < SCENE_CURVE_POINTS; ++i) scene_curve_point(i, &px[i], &py[i]);
      plline(SCENE_CURVE_POINTS, px, py);
      break;
    default: break;
  }
  plend();
  return 0;
}
