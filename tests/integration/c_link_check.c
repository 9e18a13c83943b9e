/* Built with the C compiler and nothing but libLumo.a: proves the library
 * needs no C++ runtime and no maths library, for the calls below and every
 * part of the library they pull in (drawing, arrays, text, input, colours,
 * the plotting layer). */
#include <stdio.h>
#include <string.h>

#include "lumo.h"
#include "lumo_ref.h"

typedef void (*any_call)(void);

/* Taken by address only: the objects that define them must link. */
static any_call const linked[] = {
    (any_call)LmLine,      (any_call)LmLineTo,     (any_call)LmMoveTo,     (any_call)LmPolyline,
    (any_call)LmPolygon,   (any_call)LmBezier,     (any_call)LmEllipse,    (any_call)LmText,
    (any_call)LmMarker,    (any_call)LmSetPen,     (any_call)LmSetBrush,   (any_call)LmOpenEx,
    (any_call)LmQuit,      (any_call)LmClose,      (any_call)LmGetPixel,   (any_call)LmSetWorld,
    (any_call)LmGetKey,    (any_call)LmLoadColours, (any_call)LmSeries,    (any_call)LmMessage,
    (any_call)LmAsk,       (any_call)LmAxes,       (any_call)LmLabels,     (any_call)LmPlotLine,
    (any_call)LmPlotPoints, (any_call)LmErrorBars, (any_call)LmHistogram,  (any_call)LmLegend,
    (any_call)LmShowLegend, (any_call)LmImage,     (any_call)LmColourBar,  (any_call)LmContour,
};

int main(void) {
  char buf[20];
  int result = 0;
  int item = 2;
  int n = LmLibraryInfo(1, buf, sizeof buf);
  printf("%d %s\n", n, buf);
  memset(buf, 'z', sizeof buf);
  lmlibraryinfo(&result, &item, buf, (int)sizeof buf);
  printf("%d [%.20s]\n", result, buf);
  return linked[sizeof linked / sizeof linked[0] - 1] ? 0 : 1;
}
