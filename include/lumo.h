/* Lumo: numbered graphics windows for C and Fortran console programs.
 *
 * By-value interface.  Every operation also has a by-reference twin in
 * lumo_ref.h.  Results: a window number or another positive value means done,
 * 0 means refused or failed, a negative length means a text did not fit. */
#ifndef LUMO_H
#define LUMO_H

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Start-up and shutdown ---------------------------------------------- */

/* Links to a waiting server or starts one; returns the server number, 0 when
   a link already exists.  The first LmOpen does this by itself. */
int LmInit(void);
/* LmInit with display options; -1 leaves an option at its default.
   flags bits 0..5: /t /b /r /i /l /o on (bits 16..21 set: leave unchanged);
   x, y position; width, height size; a 1..4; m 0..14; z 1..4; dpi 1..1200. */
int LmInitEx(int flags, int x, int y, int width, int height, int a, int m, int z, int dpi);

/* ---- Windows -------------------------------------------------------------- */

/* Opens window n (0: the server picks) and makes it current; returns the
   server's answer for the new window, 0 on failure. */
int LmOpen(int n);
/* LmOpen with size, colour-table entries 1 and 2, mode and title. */
int LmOpenEx(int n, int width, int height, int colour1, int colour2, int mode,
             const char *title);
/* Joins window win (0: the current one) of server `server` (0: any); ask 0
   only finds it and writes "server:window title" into desc (280 bytes). */
int LmJoin(int win, int server, int ask, char *desc);
/* Closes window n (0: the current one; outside 1..63: all); returns the new
   current window. */
int LmClose(int n);
/* Ends the link; in a console started through a quoted command line waits
   for a key after printing "> ". */
int LmQuit(void);
/* LmQuit; flag 0 never waits. */
int LmQuitEx(int flag);
/* Ends the link without telling the server. */
int LmAbort(void);

/* ---- Metrics, switches and queries ---------------------------------------- */

/* Reads (what 1..14) or sets (what -14..-1) a pair of window numbers. */
int LmMetric(int what, int *a, int *b);
/* Ratio of metric `what` (1..7), or |sx / sy| of the world mapping. */
float LmAspect(int what);
/* Sets switch 1..6 to 0 or 1, or reads it (value -1). */
int LmServerSwitch(int number, int value);
/* Asks the server a numbered question. */
int LmQueryNumber(int x);
/* The largest finite float. */
float LmMaxFloat(void);

/* ---- Coordinates, current position and lines ----------------------------- */
/* World coordinates are floats (x right, y up) inside the window's world
   rectangle; device coordinates are int pixels (x right, y down).  World
   values convert to pixels by adding one half and truncating toward zero; a
   value that is not a number converts to 0, one beyond the int range to its
   limit.  World-level operations act on the current window; LmDev...
   operations take the window number first and pixels. */

/* Sets the world rectangle; an empty one selects pixel mode, one empty along
   a single axis is completed to equal scales. */
int LmSetWorld(float x1, float y1, float x2, float y2);
int LmGetWorld(float *x1, float *y1, float *x2, float *y2);
/* Sets the viewport in unit lengths; an empty one means the whole area. */
int LmSetViewport(float vx1, float vy1, float vx2, float vy2);
/* Makes the viewport the area a world rectangle covers now. */
int LmSetViewportToRect(float x1, float y1, float x2, float y2);
int LmGetViewport(float *vx1, float *vy1, float *vx2, float *vy2);
int LmWorldToDevice(float x, float y, int *ix, int *iy);
int LmWorldToDeviceSize(float w, float h, int *iw, int *ih);
/* 0 when there is no current position. */
int LmGetPosition(float *x, float *y);
int LmMoveTo(float x, float y);
int LmLineTo(float x, float y);
int LmLine(float x1, float y1, float x2, float y2);
int LmDevMoveTo(int w, int x, int y);
int LmDevLineTo(int w, int x, int y);
int LmDevLine(int w, int x1, int y1, int x2, int y2);
int LmDevGetPosition(int w, int *x, int *y);

/* ---- Pens, brushes and markers ------------------------------------------- */
/* -1 (or any value out of range) keeps a value.  LmSetPen(-1,-1,-1,-1)
   forgets the current position instead. */

int LmSetPen(int colour, int style, int width, int mode);
int LmDevSetPen(int w, int colour, int style, int width, int mode);
int LmGetPen(int *colour, int *style, int *width, int *mode);
int LmSetBrush(int colour, int style, int hatch);
int LmDevSetBrush(int w, int colour, int style, int hatch);
int LmGetBrush(int *colour, int *style, int *hatch);
/* size: a world length (type 0: pixels as given). */
int LmSetMarker(int type, float size, int colour1, int colour2, int param);
int LmDevSetMarker(int w, int type, int size, int colour1, int colour2, int param);
int LmGetMarker(int *type, float *size, int *colour1, int *colour2, int *param);
int LmDevGetMarker(int w, int *type, int *size, int *colour1, int *colour2, int *param);

/* ---- Rectangles, ellipses, arcs and point figures ------------------------ */
/* Arc angles are in turns (1.0 = a full circle) from the positive x axis. */

int LmRect(float x1, float y1, float x2, float y2);
int LmRectEx(float x1, float y1, float x2, float y2, int k);
int LmRoundRect(float x1, float y1, float x2, float y2, float cw, float ch);
int LmEllipse(float x1, float y1, float x2, float y2);
int LmArc(float x1, float y1, float x2, float y2, float start, float extent);
int LmChord(float x1, float y1, float x2, float y2, float start, float extent);
int LmPie(float x1, float y1, float x2, float y2, float start, float extent);
/* mode 0..4 (others: 0). */
int LmRectMode(float x1, float y1, float x2, float y2, int mode);
int LmMarker(float x, float y);
int LmPointOp(float x, float y);
int LmDevRect(int w, int x1, int y1, int x2, int y2);
int LmDevRectEx(int w, int x1, int y1, int x2, int y2, int k);
int LmDevRoundRect(int w, int x1, int y1, int x2, int y2, int cw, int ch);
int LmDevEllipse(int w, int x1, int y1, int x2, int y2);
int LmDevArc(int w, int x1, int y1, int x2, int y2, int sx, int sy, int ex, int ey);
int LmDevChord(int w, int x1, int y1, int x2, int y2, int sx, int sy, int ex, int ey);
int LmDevPie(int w, int x1, int y1, int x2, int y2, int sx, int sy, int ex, int ey);
int LmDevRectMode(int w, int x1, int y1, int x2, int y2, int mode);
int LmDevMarker(int w, int x, int y);
int LmDevPointOp(int w, int x, int y);

/* ---- Text, symbols and message boxes ------------------------------------- */
/* Font heights: world lengths (device level: pixels, 0 = default); angles in
   turns (device level: tenths of a degree). */

int LmSetFont(float height, float angle, int alignment, int colour, int parameter,
              const char *face);
int LmDevSetFont(int w, int height, int angle, int alignment, int colour, int parameter,
                 const char *face);
int LmSetSymbolFont(float height, float angle, int alignment, int colour, int parameter,
                    const char *face);
int LmDevSetSymbolFont(int w, int height, int angle, int alignment, int colour, int parameter,
                       const char *face);
int LmText(float x, float y, const char *text);
int LmDevText(int w, int x, int y, const char *text);
/* code < 0: the last symbol again. */
int LmSymbol(float x, float y, int code);
int LmDevSymbol(int w, int x, int y, int code);
/* Width, height, ascent and descent of text in the text font; the world
   form converts the width along x and the other three along y. */
int LmTextExtent(float *e1, float *e2, float *e3, float *e4, const char *text);
int LmDevTextExtent(int w, int *e1, int *e2, int *e3, int *e4, const char *text);
int LmGetExtent(float *e1, float *e2, int code);
int LmDevGetExtent(int w, int *e1, int *e2, int code);
/* Shows text in a message box of the server. */
int LmMessage(const char *text);
int LmDevMessage(int w, const char *text);
/* Asks a yes/no question: 1 yes, -1 no, 0 otherwise. */
int LmAsk(const char *text);
int LmDevAsk(int w, const char *text);

/* ---- Polygons, polylines, Bezier curves and value series ----------------- */
/* Points are x, y pairs; any number of them travels in 2048-byte chunks. */

/* rule 0: alternate, 1: winding (others keep the window's rule). */
int LmPolygon(const float *xy, int n, int rule);
int LmPolyline(const float *xy, int n);
/* n = 3k + 1 points, at least 4. */
int LmBezier(const float *xy, int n);
int LmSeries(int kind, int c, float b1, float b2, float d, float e, float scale, float offset,
             const float *values);
int LmDevPolygon(int w, const int *xy, int n, int rule);
int LmDevPolyline(int w, const int *xy, int n);
int LmDevBezier(int w, const int *xy, int n);
int LmDevSeries(int w, int kind, int c, int p1, int p2, int p3, int p4, const int *values);

/* ---- Current window, transformation and simple requests ------------------ */

int LmFirstWindow(void);
/* The next open window after n, 0 when none. */
int LmNextWindow(int n);
/* Makes window n current when it is open; returns the current window. */
int LmSelectWindow(int n);
/* t: x translation, m11, m12, y translation, m21, m22 (world); null: identity. */
int LmSetTransform(const float *t);
int LmDevSetTransform(int w, int dx, int dy, float m11, float m12, float m21, float m22);
int LmGetTransform(float *t);
int LmDevGetTransform(int w, int *dx, int *dy, float *m11, float *m12, float *m21, float *m22);
int LmWindowOp(void);
int LmDevWindowOp(int w);
int LmRequest24(int v);
int LmRequest25(int v);
int LmDevQuery4(int w, int *r1, int *r2, int *r3, int *r4);
int LmGetMetric14(int *a, int *b);
int LmAction18(int v);
int LmDevAction18(int w, int v);
int LmSetWindowMode(int w, int mode);
int LmSetServerMode(int m);
int LmRequest16(int a);
int LmDevRequest16(int w, int a);

/* ---- Console keys and window control requests ----------------------------- */

/* Non-zero when a key is waiting on the console. */
int LmKeyHit(void);
/* Waits for a key and returns its code (echoed when echo is non-zero); -1
   when the input has ended. */
int LmGetKey(int echo);
int LmControl4(void);
int LmControl4Window(int w);
int LmControl5(int a, int b);
int LmControl5Window(int w, int a, int b);
/* window 0: the current one; < 0: every open window until one refuses. */
int LmControl6(int window, int v);
int LmControl23(int a, int b);
int LmControl26(int v);
int LmControl26Window(int w, int v);
int LmControl29(int v);
int LmControl34(int v);
int LmControl34Window(int w, int v);
int LmControl32(int w, int *out1, int *io2, int *io3, int value);
int LmControl33(int w, int *out1, int *io2, int *io3, int value);
/* mode 1, 2, 3 are sent as 128, 64, 32. */
int LmControl1(int w, int *out1, int *out2, int *out3, int mode);

/* ---- Colours, pixels and colour-table files ------------------------------ */
/* Colours are Windows colour references: 0x02bbggrr (palette-relative),
   0x010000ii (palette index); -999 marks an invalid colour. */

int LmRgb(int r, int g, int b);
int LmPaletteRgb(int colour);
int LmPaletteIndex(int index);
/* 35: entries 20..35 are the sixteen user entries. */
int LmLastPaletteEntry(void);
int LmSetPaletteEntry(int colour, int entry);
int LmGetPaletteEntry(int entry, int *red, int *green, int *blue);
int LmSetPixel(float x, float y, int colour);
/* The pixel's colour, -1 when refused. */
int LmGetPixel(float x, float y);
/* System colour 0..20 (0x00bbggrr), -999 for other numbers. */
int LmSysColour(int n);
/* Saves entries 20..35 to a "*.clr" file chosen in the server's dialog
   (starting from name); 16 when written, 0 otherwise. */
int LmSaveColours(const char *name);
/* Loads them from name (or, when it does not open, from a file chosen in the
   dialog); returns the number of entries set: 16 for a complete file.  The
   values are taken in order, one for each entry from 20 on; white space
   between them, blank lines included, is skipped, so a blank line sets no
   entry and the values after it move up one entry.  Reading stops at the end
   of the file or at text that is not a value; the entries after that keep
   their colours. */
int LmLoadColours(const char *name);

/* ---- Prompts, file dialogs, drawing files and window texts ---------------- */

/* The answer's length; 0 when refused or when it needs size bytes or more. */
int LmAskString(const char *prompt, char *answer, int size);
/* The chosen path's length, -length when it does not fit, 0 when refused. */
int LmChooseFile(char *name, int size);
int LmDrawingFile(int value, const char *name);
int LmWindowText(const char *text);
int LmWindowTextEx(int a, int b, int c, int d, const char *text);

/* ---- Pointer and keyboard input of the graphics windows ----------------- */

/* Events of a window, queued by the server in order (at most 256; the oldest
   go first when a program does not ask for them):
     kind 1  a button press: code 1 left, 2 middle, 3 right
     kind 2  a key typed while the window has the focus: code as LmGetKey
             returns a key (a character's code; 256 + the second code of a
             two-part key, e.g. 328 for Up, 315 for F1)
     kind 3  a wheel step: code +1 (away from the user) or -1
   x, y: the pointer's position, in world coordinates (LmWaitEvent,
   LmPollEvent, LmGetClick) or drawing-area pixels (the Dev forms).
   The calls return the window's number; 0 when there is no such window or
   it was closed, or no event can come (no display and no scripted input),
   and then store nothing. */
int LmWaitEvent(int *kind, int *code, float *x, float *y);
/* The same without waiting: stores kind 0 and returns 0 when none waits
   (also when none can come). */
int LmPollEvent(int *kind, int *code, float *x, float *y);
/* Waits for a button press in the current window (other events are passed
   over) and returns the button, 0 when the wait ended. */
int LmGetClick(float *x, float *y);
int LmDevWaitEvent(int w, int *kind, int *code, int *x, int *y);
int LmDevPollEvent(int w, int *kind, int *code, int *x, int *y);
/* How many of window w's events were dropped because its queue was full;
   -1 when there is no such window. */
int LmDevDroppedEvents(int w);

/* ---- Library information ------------------------------------------------ */

/* Copies identification text `item` (0..5) into buf; returns its length,
   -length when buf (size bytes) is too small, 0 for an unknown item. */
int LmLibraryInfo(int item, char *buf, int size);

/* ---- Plotting ------------------------------------------------------------ */
/* Charts from data in a few calls, drawn with the calls above (smooth mode),
   so that they show in the window, the web view and every figure file.
   LmAxes makes a plot area inside the current window, sets the world so that
   data values land in it (on a log axis the world holds log10 of the value)
   and draws the frame, ticks and numbers.  A series call in a window without
   axes first makes axes fitted to its data.  Series take the current pen,
   brush and marker settings.  Results: the number of points (values, cells,
   segments) drawn, or the window number; 0 for bad input (n < 1, bins < 1,
   vmin >= vmax, an unknown map) or without a window.  A value that cannot be
   shown (not a number; not positive on a log axis) is left out and the
   number left out is said on standard error. */

/* Options of LmAxes (bits). */
#define LM_AXES_LOGX 1        /* x axis at powers of ten */
#define LM_AXES_LOGY 2        /* y axis at powers of ten */
#define LM_AXES_GRID 4        /* light lines at the major ticks */
#define LM_AXES_COLOUR_BAR 8  /* room at the right for LmColourBar */
/* Corners of LmShowLegend. */
#define LM_TOP_LEFT 1
#define LM_TOP_RIGHT 2
#define LM_BOTTOM_LEFT 3
#define LM_BOTTOM_RIGHT 4
/* Colour maps of LmImage and LmColourBar. */
#define LM_MAP_GREY 1     /* black to white */
#define LM_MAP_VIRIDIS 2  /* dark blue, green, yellow */
#define LM_MAP_COOLWARM 3 /* blue, light grey, red: for values around a middle */
#define LM_MAP_HEAT 4     /* black, purple, orange, light yellow */

/* Axes from x1 to x2 and y1 to y2 (data values; on a log axis both > 0). */
int LmAxes(float x1, float x2, float y1, float y2, int options);
/* Labels of the x and y axes and the title; a null or empty text is none.
   Given before the axes exist, they are drawn with them. */
int LmLabels(const char *xlabel, const char *ylabel, const char *title);
/* A line through n points (x[i], y[i]) in the current pen. */
int LmPlotLine(int n, const float *x, const float *y);
/* n markers of kind `marker` (0..6) with the current marker size and colours
   (a size below 3 pixels is taken as 7). */
int LmPlotPoints(int n, const float *x, const float *y, int marker);
/* n vertical bars from low[i] to high[i] at x[i], with short caps. */
int LmErrorBars(int n, const float *x, const float *low, const float *high);
/* Counts n values into `bins` equal bins from lo to hi and draws the bars
   (current brush inside, current pen around); values outside are left out.
   Returns the number of values counted. */
int LmHistogram(int n, const float *values, int bins, float lo, float hi);
/* Names the series drawn last (its look is kept with the name; at most 16);
   returns the number of names. */
int LmLegend(const char *name);
/* Draws the legend box in a corner of the plot area. */
int LmShowLegend(int corner);
/* A field of nx by ny values (row-major: values[j * nx + i], row 0 at the
   bottom) filling the axes (without axes: 0..nx by 0..ny), coloured from
   vmin to vmax by map. */
int LmImage(int nx, int ny, const float *values, float vmin, float vmax, int map);
/* A colour bar from vmin to vmax beside axes made with LM_AXES_COLOUR_BAR. */
int LmColourBar(float vmin, float vmax, int map, const char *label);
/* Contour lines of a field laid out as for LmImage (cell centres), in the
   current pen: at levels[0..nlevels-1], or with levels null at nlevels
   values evenly inside the field's range.  Returns the segments drawn. */
int LmContour(int nx, int ny, const float *values, int nlevels, const float *levels);

#ifdef __cplusplus
}
#endif

#endif /* LUMO_H */
