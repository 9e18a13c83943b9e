/* Drawing in a temporary colour: pen first, then brush; restored in the same
 * order.  The result is that of the last restoring call (0 when the pen or
 * brush cannot be read, or the pen cannot be restored). */
#include "lumo_convenience.h"

#include "lumo.h"

typedef struct {
  int colour, style, width, mode;
} SavedPen;

typedef struct {
  int colour, style, hatch;
} SavedBrush;

static int save(SavedPen *pen, SavedBrush *brush) {
  if (LmGetPen(&pen->colour, &pen->style, &pen->width, &pen->mode) == 0) return 0;
  if (brush && LmGetBrush(&brush->colour, &brush->style, &brush->hatch) == 0) return 0;
  return 1;
}

static void use(int colour, int brush_style) {
  LmSetPen(colour, -1, -1, 4);
  if (brush_style >= 0) LmSetBrush(colour, brush_style, -1);
}

static int restore(const SavedPen *pen, const SavedBrush *brush) {
  int r = LmSetPen(pen->colour, pen->style, pen->width, pen->mode);
  if (r == 0 || !brush) return r;
  return LmSetBrush(brush->colour, brush->style, brush->hatch);
}

static float distance(float a, float b) { return a > b ? a - b : b - a; }

int ColorLine(float x1, float y1, float x2, float y2, int colour) {
  SavedPen pen;
  if (!save(&pen, 0)) return 0;
  use(colour, -1);
  LmLine(x1, y1, x2, y2);
  return restore(&pen, 0);
}

int ColorRectS0(float x1, float y1, float x2, float y2, int colour) {
  SavedPen pen;
  SavedBrush brush;
  if (!save(&pen, &brush)) return 0;
  use(colour, 0);
  LmRect(x1, y1, x2, y2);
  return restore(&pen, &brush);
}

int ColorEllipseS1(float x1, float y1, float x2, float y2, int colour) {
  SavedPen pen;
  SavedBrush brush;
  if (!save(&pen, &brush)) return 0;
  use(colour, 1);
  LmEllipse(x1, y1, x2, y2);
  return restore(&pen, &brush);
}

int ColorFullArcS0(float x1, float y1, float x2, float y2, int colour) {
  SavedPen pen;
  SavedBrush brush;
  if (!save(&pen, &brush)) return 0;
  use(colour, 0);
  LmArc(x1, y1, x2, y2, 0.0f, 1.0f);
  return restore(&pen, &brush);
}

int ColorArcS1(float x1, float y1, float x2, float y2, float start, float extent, int colour) {
  SavedPen pen;
  SavedBrush brush;
  if (!save(&pen, &brush)) return 0;
  use(colour, 1);
  LmArc(x1, y1, x2, y2, start, extent);
  return restore(&pen, &brush);
}

int ColorPieS1(float x1, float y1, float x2, float y2, float start, float extent, int colour) {
  SavedPen pen;
  SavedBrush brush;
  if (!save(&pen, &brush)) return 0;
  use(colour, 1);
  LmPie(x1, y1, x2, y2, start, extent);
  return restore(&pen, &brush);
}

/* The corners are a fraction of the rectangle's own size. */
static int round_rect(float x1, float y1, float x2, float y2, float ratio, int colour, int style) {
  SavedPen pen;
  SavedBrush brush;
  float cw = ratio * distance(x2, x1);
  float ch = ratio * distance(y2, y1);
  if (!save(&pen, &brush)) return 0;
  use(colour, style);
  LmRoundRect(x1, y1, x2, y2, cw, ch);
  return restore(&pen, &brush);
}

int ColorRoundRectS0(float x1, float y1, float x2, float y2, float ratio, int colour) {
  return round_rect(x1, y1, x2, y2, ratio, colour, 0);
}

int ColorRoundRectS1(float x1, float y1, float x2, float y2, float ratio, int colour) {
  return round_rect(x1, y1, x2, y2, ratio, colour, 1);
}
