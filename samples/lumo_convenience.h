/* Drawing in a colour of one's own without disturbing the window's pen and
 * brush: each function saves them, draws one figure, and restores them. */
#ifndef LUMO_CONVENIENCE_H
#define LUMO_CONVENIENCE_H

#ifdef __cplusplus
extern "C" {
#endif

int ColorLine(float x1, float y1, float x2, float y2, int colour);
int ColorRectS0(float x1, float y1, float x2, float y2, int colour);
int ColorEllipseS1(float x1, float y1, float x2, float y2, int colour);
int ColorFullArcS0(float x1, float y1, float x2, float y2, int colour);
int ColorArcS1(float x1, float y1, float x2, float y2, float start, float extent, int colour);
int ColorPieS1(float x1, float y1, float x2, float y2, float start, float extent, int colour);
int ColorRoundRectS0(float x1, float y1, float x2, float y2, float ratio, int colour);
int ColorRoundRectS1(float x1, float y1, float x2, float y2, float ratio, int colour);

#ifdef __cplusplus
}
#endif

#endif
