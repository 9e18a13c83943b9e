// By-reference twins of the drawing operations: every argument by address,
// the result stored through the first one and returned.  Character
// arguments are blank-padded with their length after all others; they are
// copied into the current window's data area first.  Twins of the same shape
// are made by one macro.
#include "include/lumo.h"
#include "include/lumo_ref.h"
#include "lib/link/fortran.h"
#include "lib/link/link.h"

using lumo::g_link;

namespace {

const char* padded_text(const char* text, int length) {
  return lumo::put_window_text_n(g_link.current_window, text, length);
}

}  // namespace

// Shapes: F = float by value, I = int by value, P = pointer passed through.
#define TWIN_0(twin, fn) \
  int twin(int* r) { return *r = fn(); } LUMO_FORTRAN_NAME(twin)
#define TWIN_I(twin, fn) \
  int twin(int* r, int* a) { return *r = fn(*a); } LUMO_FORTRAN_NAME(twin)
#define TWIN_II(twin, fn) \
  int twin(int* r, int* a, int* b) { return *r = fn(*a, *b); } LUMO_FORTRAN_NAME(twin)
#define TWIN_III(twin, fn) \
  int twin(int* r, int* a, int* b, int* c) { return *r = fn(*a, *b, *c); } LUMO_FORTRAN_NAME(twin)
#define TWIN_IIII(twin, fn)                                                  \
  int twin(int* r, int* a, int* b, int* c, int* d) { return *r = fn(*a, *b, *c, *d); } \
  LUMO_FORTRAN_NAME(twin)
#define TWIN_IIIII(twin, fn)                                                 \
  int twin(int* r, int* a, int* b, int* c, int* d, int* e) {                 \
    return *r = fn(*a, *b, *c, *d, *e);                                      \
  }                                                                          \
  LUMO_FORTRAN_NAME(twin)
#define TWIN_IIIIII(twin, fn)                                                \
  int twin(int* r, int* a, int* b, int* c, int* d, int* e, int* f) {         \
    return *r = fn(*a, *b, *c, *d, *e, *f);                                  \
  }                                                                          \
  LUMO_FORTRAN_NAME(twin)
#define TWIN_I8(twin, fn)                                                          \
  int twin(int* r, int* w, int* a, int* b, int* c, int* d, int* e, int* f, int* g, \
           int* h) {                                                               \
    return *r = fn(*w, *a, *b, *c, *d, *e, *f, *g, *h);                            \
  }                                                                                \
  LUMO_FORTRAN_NAME(twin)
#define TWIN_FF(twin, fn) \
  int twin(int* r, float* a, float* b) { return *r = fn(*a, *b); } LUMO_FORTRAN_NAME(twin)
#define TWIN_FFFF(twin, fn)                                                          \
  int twin(int* r, float* a, float* b, float* c, float* d) { return *r = fn(*a, *b, *c, *d); } \
  LUMO_FORTRAN_NAME(twin)
#define TWIN_FFFFI(twin, fn)                                                 \
  int twin(int* r, float* a, float* b, float* c, float* d, int* k) {         \
    return *r = fn(*a, *b, *c, *d, *k);                                      \
  }                                                                          \
  LUMO_FORTRAN_NAME(twin)
#define TWIN_F6(twin, fn)                                                          \
  int twin(int* r, float* a, float* b, float* c, float* d, float* e, float* f) {   \
    return *r = fn(*a, *b, *c, *d, *e, *f);                                        \
  }                                                                                \
  LUMO_FORTRAN_NAME(twin)
#define TWIN_PPPP(twin, fn, T)                                               \
  int twin(int* r, T* a, T* b, T* c, T* d) { return *r = fn(a, b, c, d); }   \
  LUMO_FORTRAN_NAME(twin)
#define TWIN_PPP(twin, fn, T) \
  int twin(int* r, T* a, T* b, T* c) { return *r = fn(a, b, c); } LUMO_FORTRAN_NAME(twin)
#define TWIN_FFPP(twin, fn)                                                  \
  int twin(int* r, float* a, float* b, int* c, int* d) { return *r = fn(*a, *b, c, d); } \
  LUMO_FORTRAN_NAME(twin)
#define TWIN_IPP(twin, fn)                                                   \
  int twin(int* r, int* w, int* a, int* b) { return *r = fn(*w, a, b); }     \
  LUMO_FORTRAN_NAME(twin)
#define TWIN_IPPPP(twin, fn, T)                                              \
  int twin(int* r, int* w, T* a, T* b, T* c, T* d) { return *r = fn(*w, a, b, c, d); } \
  LUMO_FORTRAN_NAME(twin)
#define TWIN_FONT(twin, fn)                                                              \
  int twin(int* r, float* h, float* a, int* align, int* colour, int* param, char* face, \
           int length) {                                                                 \
    const char* f = padded_text(face, length);                                           \
    return *r = fn(*h, *a, *align, *colour, *param, f);                                  \
  }                                                                                      \
  LUMO_FORTRAN_NAME(twin)
#define TWIN_DEVFONT(twin, fn)                                                           \
  int twin(int* r, int* w, int* h, int* a, int* align, int* colour, int* param,          \
           char* face, int length) {                                                     \
    const char* f = padded_text(face, length);                                           \
    return *r = fn(*w, *h, *a, *align, *colour, *param, f);                              \
  }                                                                                      \
  LUMO_FORTRAN_NAME(twin)

extern "C" {

// Coordinates, position and lines.
TWIN_FFFF(lmsetworld, LmSetWorld)
TWIN_PPPP(lmgetworld, LmGetWorld, float)
TWIN_FFFF(lmsetviewport, LmSetViewport)
TWIN_FFFF(lmsetviewporttorect, LmSetViewportToRect)
TWIN_PPPP(lmgetviewport, LmGetViewport, float)
TWIN_FFPP(lmworldtodevice, LmWorldToDevice)
TWIN_FFPP(lmworldtodevicesize, LmWorldToDeviceSize)
TWIN_FF(lmmoveto, LmMoveTo)
TWIN_FF(lmlineto, LmLineTo)
TWIN_FFFF(lmline, LmLine)
TWIN_III(lmdevmoveto, LmDevMoveTo)
TWIN_III(lmdevlineto, LmDevLineTo)
TWIN_IIIII(lmdevline, LmDevLine)
TWIN_IPP(lmdevgetposition, LmDevGetPosition)

// Without a current position nothing is written, not even the result.
int lmgetposition(int* r, float* x, float* y) {
  const int result = LmGetPosition(x, y);
  if (result != 0) *r = result;
  return result;
}
LUMO_FORTRAN_NAME(lmgetposition)

// Pens, brushes and markers.
TWIN_IIII(lmsetpen, LmSetPen)
TWIN_IIIII(lmdevsetpen, LmDevSetPen)
TWIN_PPPP(lmgetpen, LmGetPen, int)
TWIN_III(lmsetbrush, LmSetBrush)
TWIN_IIII(lmdevsetbrush, LmDevSetBrush)
TWIN_PPP(lmgetbrush, LmGetBrush, int)
TWIN_IIIIII(lmdevsetmarker, LmDevSetMarker)

int lmsetmarker(int* r, int* type, float* size, int* colour1, int* colour2, int* param) {
  return *r = LmSetMarker(*type, *size, *colour1, *colour2, *param);
}
LUMO_FORTRAN_NAME(lmsetmarker)

int lmgetmarker(int* r, int* type, float* size, int* colour1, int* colour2, int* param) {
  return *r = LmGetMarker(type, size, colour1, colour2, param);
}
LUMO_FORTRAN_NAME(lmgetmarker)

int lmdevgetmarker(int* r, int* w, int* type, int* size, int* colour1, int* colour2, int* param) {
  return *r = LmDevGetMarker(*w, type, size, colour1, colour2, param);
}
LUMO_FORTRAN_NAME(lmdevgetmarker)

// Figures.
TWIN_FFFF(lmrect, LmRect)
TWIN_FFFFI(lmrectex, LmRectEx)
TWIN_F6(lmroundrect, LmRoundRect)
TWIN_FFFF(lmellipse, LmEllipse)
TWIN_F6(lmarc, LmArc)
TWIN_F6(lmchord, LmChord)
TWIN_F6(lmpie, LmPie)
TWIN_FFFFI(lmrectmode, LmRectMode)
TWIN_FF(lmmarker, LmMarker)
TWIN_FF(lmpointop, LmPointOp)
TWIN_IIIII(lmdevrect, LmDevRect)
TWIN_IIIIII(lmdevrectex, LmDevRectEx)
TWIN_IIIIII(lmdevrectmode, LmDevRectMode)
TWIN_IIIII(lmdevellipse, LmDevEllipse)
TWIN_I8(lmdevarc, LmDevArc)
TWIN_I8(lmdevchord, LmDevChord)
TWIN_I8(lmdevpie, LmDevPie)
TWIN_III(lmdevmarker, LmDevMarker)
TWIN_III(lmdevpointop, LmDevPointOp)

int lmdevroundrect(int* r, int* w, int* x1, int* y1, int* x2, int* y2, int* cw, int* ch) {
  return *r = LmDevRoundRect(*w, *x1, *y1, *x2, *y2, *cw, *ch);
}
LUMO_FORTRAN_NAME(lmdevroundrect)

// Text and symbols: the text goes into the data area before anything else.
TWIN_FONT(lmsetfont, LmSetFont)
TWIN_FONT(lmsetsymbolfont, LmSetSymbolFont)
TWIN_DEVFONT(lmdevsetfont, LmDevSetFont)
TWIN_DEVFONT(lmdevsetsymbolfont, LmDevSetSymbolFont)

int lmtext(int* r, float* x, float* y, char* text, int length) {
  const char* t = padded_text(text, length);
  return *r = LmText(*x, *y, t);
}
LUMO_FORTRAN_NAME(lmtext)

int lmdevtext(int* r, int* w, int* x, int* y, char* text, int length) {
  const char* t = padded_text(text, length);
  return *r = LmDevText(*w, *x, *y, t);
}
LUMO_FORTRAN_NAME(lmdevtext)

int lmsymbol(int* r, float* x, float* y, int* code) { return *r = LmSymbol(*x, *y, *code); }
LUMO_FORTRAN_NAME(lmsymbol)
TWIN_IIII(lmdevsymbol, LmDevSymbol)

int lmtextextent(int* r, float* e1, float* e2, float* e3, float* e4, char* text, int length) {
  const char* t = padded_text(text, length);
  return *r = LmTextExtent(e1, e2, e3, e4, t);
}
LUMO_FORTRAN_NAME(lmtextextent)

int lmdevtextextent(int* r, int* w, int* e1, int* e2, int* e3, int* e4, char* text, int length) {
  const char* t = padded_text(text, length);
  return *r = LmDevTextExtent(*w, e1, e2, e3, e4, t);
}
LUMO_FORTRAN_NAME(lmdevtextextent)

int lmgetextent(int* r, float* e1, float* e2, int* code) { return *r = LmGetExtent(e1, e2, *code); }
LUMO_FORTRAN_NAME(lmgetextent)

int lmdevgetextent(int* r, int* w, int* e1, int* e2, int* code) {
  return *r = LmDevGetExtent(*w, e1, e2, *code);
}
LUMO_FORTRAN_NAME(lmdevgetextent)

int lmmessage(int* r, char* text, int length) { return *r = LmMessage(padded_text(text, length)); }
LUMO_FORTRAN_NAME(lmmessage)

int lmdevmessage(int* r, int* w, char* text, int length) {
  const char* t = padded_text(text, length);
  return *r = LmDevMessage(*w, t);
}
LUMO_FORTRAN_NAME(lmdevmessage)

// A function: the answer (1, -1 or 0) is its value.
int lmask(char* text, int length) { return LmAsk(padded_text(text, length)); }
LUMO_FORTRAN_NAME(lmask)

int lmdevask(int* r, int* w, char* text, int length) {
  const char* t = padded_text(text, length);
  return *r = LmDevAsk(*w, t);
}
LUMO_FORTRAN_NAME(lmdevask)

// Point arrays.
int lmpolygon(int* r, float* xy, int* n, int* rule) { return *r = LmPolygon(xy, *n, *rule); }
LUMO_FORTRAN_NAME(lmpolygon)
int lmpolyline(int* r, float* xy, int* n) { return *r = LmPolyline(xy, *n); }
LUMO_FORTRAN_NAME(lmpolyline)
int lmbezier(int* r, float* xy, int* n) { return *r = LmBezier(xy, *n); }
LUMO_FORTRAN_NAME(lmbezier)
int lmdevpolygon(int* r, int* w, int* xy, int* n, int* rule) {
  return *r = LmDevPolygon(*w, xy, *n, *rule);
}
LUMO_FORTRAN_NAME(lmdevpolygon)
int lmdevpolyline(int* r, int* w, int* xy, int* n) { return *r = LmDevPolyline(*w, xy, *n); }
LUMO_FORTRAN_NAME(lmdevpolyline)
int lmdevbezier(int* r, int* w, int* xy, int* n) { return *r = LmDevBezier(*w, xy, *n); }
LUMO_FORTRAN_NAME(lmdevbezier)

int lmseries(int* r, int* kind, int* c, float* b1, float* b2, float* d, float* e, float* scale,
             float* offset, float* values) {
  return *r = LmSeries(*kind, *c, *b1, *b2, *d, *e, *scale, *offset, values);
}
LUMO_FORTRAN_NAME(lmseries)

int lmdevseries(int* r, int* w, int* kind, int* c, int* p1, int* p2, int* p3, int* p4,
                int* values) {
  return *r = LmDevSeries(*w, *kind, *c, *p1, *p2, *p3, *p4, values);
}
LUMO_FORTRAN_NAME(lmdevseries)

// Windows, transformation and simple requests.
TWIN_0(lmfirstwindow, LmFirstWindow)
TWIN_I(lmnextwindow, LmNextWindow)

// The new current window goes into both arguments.
int lmselectwindow(int* r, int* n) { return *r = *n = LmSelectWindow(*n); }
LUMO_FORTRAN_NAME(lmselectwindow)

int lmsettransform(int* r, float* t) { return *r = LmSetTransform(t); }
LUMO_FORTRAN_NAME(lmsettransform)
int lmgettransform(int* r, float* t) { return *r = LmGetTransform(t); }
LUMO_FORTRAN_NAME(lmgettransform)

int lmdevsettransform(int* r, int* w, int* dx, int* dy, float* m11, float* m12, float* m21,
                      float* m22) {
  return *r = LmDevSetTransform(*w, *dx, *dy, *m11, *m12, *m21, *m22);
}
LUMO_FORTRAN_NAME(lmdevsettransform)

int lmdevgettransform(int* r, int* w, int* dx, int* dy, float* m11, float* m12, float* m21,
                      float* m22) {
  return *r = LmDevGetTransform(*w, dx, dy, m11, m12, m21, m22);
}
LUMO_FORTRAN_NAME(lmdevgettransform)

TWIN_0(lmwindowop, LmWindowOp)
TWIN_I(lmdevwindowop, LmDevWindowOp)
TWIN_I(lmrequest24, LmRequest24)
TWIN_I(lmrequest25, LmRequest25)
TWIN_IPPPP(lmdevquery4, LmDevQuery4, int)
TWIN_I(lmaction18, LmAction18)
TWIN_II(lmdevaction18, LmDevAction18)
TWIN_II(lmsetwindowmode, LmSetWindowMode)
TWIN_I(lmsetservermode, LmSetServerMode)
TWIN_I(lmrequest16, LmRequest16)
TWIN_II(lmdevrequest16, LmDevRequest16)

int lmgetmetric14(int* r, int* a, int* b) { return *r = LmGetMetric14(a, b); }
LUMO_FORTRAN_NAME(lmgetmetric14)

}  // extern "C"
