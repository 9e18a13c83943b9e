// By-reference twins of the plotting calls (with their Fortran names).
// Blank-padded texts are copied into buffers of their own: a call that
// takes three of them draws with all three.
#include "include/lumo.h"
#include "include/lumo_ref.h"
#include "lib/link/fortran.h"
#include "lib/link/link.h"
#include "lib/plot/plot.h"

using lumo::copy_padded;
using lumo::plot::kLabelSize;

extern "C" {

int lmaxes(int* r, float* x1, float* x2, float* y1, float* y2, int* options) {
  return *r = LmAxes(*x1, *x2, *y1, *y2, *options);
}
LUMO_FORTRAN_NAME(lmaxes)

int lmlabels(int* r, char* xlabel, char* ylabel, char* title, int xlabel_length, int ylabel_length,
             int title_length) {
  char x[kLabelSize], y[kLabelSize], t[kLabelSize];
  copy_padded(x, sizeof x, xlabel, xlabel_length);
  copy_padded(y, sizeof y, ylabel, ylabel_length);
  copy_padded(t, sizeof t, title, title_length);
  return *r = LmLabels(x, y, t);
}
LUMO_FORTRAN_NAME(lmlabels)

int lmplotline(int* r, int* n, float* x, float* y) { return *r = LmPlotLine(*n, x, y); }
LUMO_FORTRAN_NAME(lmplotline)

int lmplotpoints(int* r, int* n, float* x, float* y, int* marker) {
  return *r = LmPlotPoints(*n, x, y, *marker);
}
LUMO_FORTRAN_NAME(lmplotpoints)

int lmerrorbars(int* r, int* n, float* x, float* low, float* high) {
  return *r = LmErrorBars(*n, x, low, high);
}
LUMO_FORTRAN_NAME(lmerrorbars)

int lmhistogram(int* r, int* n, float* values, int* bins, float* lo, float* hi) {
  return *r = LmHistogram(*n, values, *bins, *lo, *hi);
}
LUMO_FORTRAN_NAME(lmhistogram)

int lmlegend(int* r, char* name, int length) {
  char text[lumo::plot::kNameSize];
  copy_padded(text, sizeof text, name, length);
  return *r = LmLegend(text);
}
LUMO_FORTRAN_NAME(lmlegend)

int lmshowlegend(int* r, int* corner) { return *r = LmShowLegend(*corner); }
LUMO_FORTRAN_NAME(lmshowlegend)

int lmimage(int* r, int* nx, int* ny, float* values, float* vmin, float* vmax, int* map) {
  return *r = LmImage(*nx, *ny, values, *vmin, *vmax, *map);
}
LUMO_FORTRAN_NAME(lmimage)

int lmcolourbar(int* r, float* vmin, float* vmax, int* map, char* label, int length) {
  char text[kLabelSize];
  copy_padded(text, sizeof text, label, length);
  return *r = LmColourBar(*vmin, *vmax, *map, text);
}
LUMO_FORTRAN_NAME(lmcolourbar)

// A negative count asks for that many evenly spaced levels (levels unread).
int lmcontour(int* r, int* nx, int* ny, float* values, int* nlevels, float* levels) {
  const int n = *nlevels;
  return *r = LmContour(*nx, *ny, values, n < 0 ? -n : n, n < 0 ? nullptr : levels);
}
LUMO_FORTRAN_NAME(lmcontour)

}  // extern "C"
