/* Lumo: numbered graphics windows for C and Fortran console programs.
 *
 * By-value interface.  Every operation also has a by-reference twin in
 * lumo_ref.h.  Results: a window number or another positive value means done,
 * 0 means refused or failed, a negative length means a text did not fit. */
#ifndef LUMO_H
#define LUMO_H

/* ---- Named constants ------------------------------------------------------ */
/* Plain integer constants (the Fortran module has them as parameters of the
   same names).  -1 keeps a value in every attribute setter. */

#define LM_KEEP (-1)

/* Colours: ready colour values for every colour argument.  LM_BLACK and
   LM_WHITE are fixed red-green-blue values; the others name an entry of the
   window's colour table (as LmPaletteIndex makes them), so they follow the
   table when a program changes it.  LM_RGB(r, g, b) is LmRgb as a constant,
   LM_ENTRY(i) names table entry i. */
#define LM_RGB(r, g, b) (0x02000000 | ((r) & 255) | (((g) & 255) << 8) | (((b) & 255) << 16))
#define LM_ENTRY(i) (0x01000000 | ((i) & 255))
#define LM_BLACK        0x02000000
#define LM_WHITE        0x02FFFFFF
#define LM_BACKGROUND   0x01000001  /* entry 1: colour1 of LmOpenEx, white by default */
#define LM_FOREGROUND   0x01000002  /* entry 2: colour2 of LmOpenEx, black by default */
#define LM_RED          0x01000003
#define LM_GREEN        0x01000004
#define LM_BLUE         0x01000005
#define LM_ORANGE       0x01000006
#define LM_PURPLE       0x01000007
#define LM_TEAL         0x01000008
#define LM_LIGHT_GREY   0x01000009
#define LM_GREY         0x0100000A
#define LM_BRIGHT_RED   0x0100000B
#define LM_BRIGHT_GREEN 0x0100000C
#define LM_SLATE        0x0100000D  /* axes and grids */
#define LM_BRIGHT_BLUE  0x0100000E
#define LM_MAGENTA      0x0100000F
#define LM_STEEL_BLUE   0x01000010
#define LM_CYAN         0x01000011
#define LM_YELLOW       0x01000012
#define LM_BROWN        0x01000013
/* Entries 20..35: the user entries, a qualitative palette for series
   (LM_ENTRY(LM_FIRST_USER_ENTRY + k)); colour-table files hold them. */
#define LM_FIRST_USER_ENTRY 20
#define LM_LAST_USER_ENTRY  35
#define LM_INVALID_COLOUR   (-999)  /* LmPaletteRgb, LmSysColour: no such colour */

/* Pen styles (LmSetPen).  A pen wider than one pixel is solid. */
#define LM_PEN_SOLID         0
#define LM_PEN_DASH          1  /* 18 on, 6 off */
#define LM_PEN_DOT           2  /* 3 on, 3 off */
#define LM_PEN_DASH_DOT      3
#define LM_PEN_DASH_DOT_DOT  4
#define LM_PEN_INVISIBLE     5
#define LM_PEN_INSIDE_FRAME  6  /* solid; a wide one stays inside a figure's box */
#define LM_PEN_LONG_DASH     7
#define LM_PEN_FINE_DOTS     8  /* every other pixel */
#define LM_PEN_DASH_DASH_DOT 9

/* Drawing modes (the mode of LmSetPen, also for fills). */
#define LM_MODE_CRISP  13  /* exact pixels (0 is crisp too) */
#define LM_MODE_BLACK  1
#define LM_MODE_SMOOTH 4   /* anti-aliased */
#define LM_MODE_INVERT 6
#define LM_MODE_XOR    7   /* exclusive or with the colour: twice restores */
#define LM_MODE_WHITE  16

/* Brush styles and hatches (LmSetBrush). */
#define LM_BRUSH_SOLID   0
#define LM_BRUSH_HOLLOW  1
#define LM_BRUSH_HATCHED 2
#define LM_BRUSH_HALF    3  /* half the brush colour over half of what is there */
#define LM_HATCH_HORIZONTAL     0
#define LM_HATCH_VERTICAL       1
#define LM_HATCH_DIAGONAL_DOWN  2  /* down to the right */
#define LM_HATCH_DIAGONAL_UP    3  /* up to the right */
#define LM_HATCH_CROSS          4
#define LM_HATCH_DIAGONAL_CROSS 5

/* Marker kinds (LmSetMarker): outline in colour 1, inside in colour 2; the
   size is the width.  The filled square takes its size in pixels. */
#define LM_MARKER_FILLED_SQUARE 0
#define LM_MARKER_PLUS          1
#define LM_MARKER_CROSS         2
#define LM_MARKER_CIRCLE        3
#define LM_MARKER_SQUARE        4
#define LM_MARKER_TRIANGLE      5
#define LM_MARKER_DIAMOND       6

/* Text alignment (LmSetFont): one horizontal plus one vertical constant,
   e.g. LM_ALIGN_CENTRE + LM_ALIGN_TOP. */
#define LM_ALIGN_LEFT     0
#define LM_ALIGN_CENTRE   1
#define LM_ALIGN_RIGHT    2
#define LM_ALIGN_BASELINE 0
#define LM_ALIGN_MIDDLE   3
#define LM_ALIGN_TOP      6
/* Font weights (the parameter of LmSetFont): 700 or more is bold. */
#define LM_WEIGHT_NORMAL 400
#define LM_WEIGHT_BOLD   700

/* Figure modes of LmRectMode, polygon fill rules of LmPolygon. */
#define LM_RECT_OUTLINE 0
#define LM_RECT_INSIDE  1
#define LM_RECT_BOTH    2
#define LM_RECT_INVERT  3
#define LM_RECT_CLEAR   4  /* to the background */
#define LM_FILL_ALTERNATE 0
#define LM_FILL_WINDING   1

/* Events of the graphics windows (LmWaitEvent, LmPollEvent). */
#define LM_EVENT_NONE   0
#define LM_EVENT_BUTTON 1
#define LM_EVENT_KEY    2
#define LM_EVENT_WHEEL  3
#define LM_BUTTON_LEFT   1
#define LM_BUTTON_MIDDLE 2
#define LM_BUTTON_RIGHT  3
#define LM_WHEEL_AWAY    1   /* away from the user */
#define LM_WHEEL_TOWARD  (-1)
/* Key codes: a key event's code and LmGetKey's.  LmGetKey reads a key of
   two parts as 0 or 224 and then the code less 256; an event has the sum. */
#define LM_KEY_BACKSPACE 8
#define LM_KEY_TAB       9
#define LM_KEY_ENTER     13
#define LM_KEY_ESCAPE    27
#define LM_KEY_F1        315  /* F2..F10: 316..324 */
#define LM_KEY_HOME      327
#define LM_KEY_UP        328
#define LM_KEY_PAGE_UP   329
#define LM_KEY_LEFT      331
#define LM_KEY_RIGHT     333
#define LM_KEY_END       335
#define LM_KEY_DOWN      336
#define LM_KEY_PAGE_DOWN 337
#define LM_KEY_INSERT    338
#define LM_KEY_DELETE    339
#define LM_KEY_F11       389
#define LM_KEY_F12       390

/* Window metrics (LmMetric: the number reads, its negative sets). */
#define LM_METRIC_AREA     1  /* drawing-area size */
#define LM_METRIC_SCREEN   2  /* screen size (also before any window) */
#define LM_METRIC_SIZE     3  /* window size; -3 resizes */
#define LM_METRIC_POSITION 4  /* window position; -4 moves */
#define LM_METRIC_UNIT     5  /* unit length in pixels; 1 in pixel mode, else 0 */
#define LM_METRIC_DPI      10

/* Server switches (LmServerSwitch) and the flags of LmInitEx. */
#define LM_SWITCH_ON_TOP         1
#define LM_SWITCH_BORDERS        2
#define LM_SWITCH_RESIZABLE      3
#define LM_SWITCH_ASK_JOIN       4  /* ask before a program joins */
#define LM_SWITCH_LEAVE_PICTURES 5  /* windows stay when a link ends */
#define LM_SWITCH_CLOSE_WINDOWS  6  /* a program's windows close when its link ends */
#define LM_SWITCH_READ           (-1)
#define LM_INIT_ON_TOP         0x01
#define LM_INIT_BORDERS        0x02
#define LM_INIT_RESIZABLE      0x04
#define LM_INIT_ASK_JOIN       0x08
#define LM_INIT_LEAVE_PICTURES 0x10
#define LM_INIT_CLOSE_WINDOWS  0x20
/* A switch's flag times 65536 leaves that switch as it is; this all six. */
#define LM_INIT_KEEP_SWITCHES  0x3F0000

/* Questions of LmQueryNumber. */
#define LM_QUERY_WINDOWS  1  /* windows shown */
#define LM_QUERY_CURRENT  2  /* the current window */
#define LM_QUERY_SERVER   3  /* the server's number */
#define LM_QUERY_PROGRAMS 4  /* programs linked */

/* System colours (LmSysColour), as 0x00bbggrr. */
#define LM_SYSCOLOUR_SCROLL_BAR            0
#define LM_SYSCOLOUR_DESKTOP               1
#define LM_SYSCOLOUR_ACTIVE_CAPTION        2
#define LM_SYSCOLOUR_INACTIVE_CAPTION      3
#define LM_SYSCOLOUR_MENU                  4
#define LM_SYSCOLOUR_WINDOW                5
#define LM_SYSCOLOUR_WINDOW_FRAME          6
#define LM_SYSCOLOUR_MENU_TEXT             7
#define LM_SYSCOLOUR_WINDOW_TEXT           8
#define LM_SYSCOLOUR_CAPTION_TEXT          9
#define LM_SYSCOLOUR_ACTIVE_BORDER         10
#define LM_SYSCOLOUR_INACTIVE_BORDER       11
#define LM_SYSCOLOUR_APP_WORKSPACE         12
#define LM_SYSCOLOUR_HIGHLIGHT             13
#define LM_SYSCOLOUR_HIGHLIGHT_TEXT        14
#define LM_SYSCOLOUR_BUTTON_FACE           15
#define LM_SYSCOLOUR_BUTTON_SHADOW         16
#define LM_SYSCOLOUR_GREY_TEXT             17
#define LM_SYSCOLOUR_BUTTON_TEXT           18
#define LM_SYSCOLOUR_INACTIVE_CAPTION_TEXT 19
#define LM_SYSCOLOUR_BUTTON_HIGHLIGHT      20

/* Windows and texts: window numbers run 1..LM_LAST_WINDOW; LM_ALL_WINDOWS
   closes (LmClose) or shows and hides (LmControl6) every one.  A text
   travels with at most LM_MAX_TEXT characters; LmJoin's description needs
   LM_JOIN_DESCRIPTION_SIZE bytes; LM_JOIN_FIND only looks (ask 0). */
#define LM_LAST_WINDOW 63
#define LM_ALL_WINDOWS (-1)
#define LM_MAX_TEXT 2047
#define LM_JOIN_DESCRIPTION_SIZE 280
#define LM_JOIN_FIND 0
#define LM_JOIN      1  /* joins, asking the user when LM_SWITCH_ASK_JOIN is on */
#define LM_NO_POSITION (-1)    /* LmDevMoveTo to it (x and y) forgets the position */
#define LM_LAST_SYMBOL (-1)    /* LmSymbol: the last symbol again */
#define LM_INPUT_ENDED (-1)    /* LmGetKey: the console's input has ended */
/* Other numbers: LmDrawingFile's value, the answers of LmAsk, LmLibraryInfo's
   items. */
#define LM_FILE_SAVE 0  /* PNG, or SVG, PDF, EPS by the name's ending */
#define LM_FILE_LOAD 1  /* a PNG */
#define LM_YES 1
#define LM_NO  (-1)
#define LM_INFO_VERSION      1
#define LM_INFO_VERSION_TEXT 2
#define LM_INFO_DATE         3
#define LM_INFO_DESCRIPTION  4

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Start-up and shutdown ---------------------------------------------- */

/* Links to a waiting server or starts one; returns the server number, 0 when
   a link already exists.  The first LmOpen does this by itself. */
int LmInit(void);
/* LmInit with display options; -1 leaves an option at its default.
   flags bits 0..5: /t /b /r /i /l /o on (bits 16..21 set: leave unchanged);
   x, y position; width, height size; option_a 1..4, option_m 0..14 and
   option_z 1..4 (accepted, change nothing); dpi 1..1200. */
int LmInitEx(int flags, int x, int y, int width, int height, int option_a, int option_m,
             int option_z, int dpi);

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

/* Reads (what 1..14, LM_METRIC_...) or sets (what -14..-1) a pair of window
   numbers. */
int LmMetric(int what, int *value1, int *value2);
/* Ratio of metric `what` (1..7), or |sx / sy| of the world mapping. */
float LmAspect(int what);
/* Sets switch 1..6 to 0 or 1, or reads it (value -1). */
int LmServerSwitch(int number, int value);
/* Asks the server a numbered question. */
int LmQueryNumber(int question);
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
/* The world rectangle in force. */
int LmGetWorld(float *x1, float *y1, float *x2, float *y2);
/* Sets the viewport in unit lengths; an empty one means the whole area. */
int LmSetViewport(float vx1, float vy1, float vx2, float vy2);
/* Makes the viewport the area a world rectangle covers now. */
int LmSetViewportToRect(float x1, float y1, float x2, float y2);
/* The viewport in force, in unit lengths. */
int LmGetViewport(float *vx1, float *vy1, float *vx2, float *vy2);
/* The pixel a world point lands on. */
int LmWorldToDevice(float x, float y, int *ix, int *iy);
/* A world width and height in pixels. */
int LmWorldToDeviceSize(float w, float h, int *iw, int *ih);
/* 0 when there is no current position. */
int LmGetPosition(float *x, float *y);
/* Sets the current position. */
int LmMoveTo(float x, float y);
/* A line from the current position, which moves to its end. */
int LmLineTo(float x, float y);
/* A line from (x1, y1) to (x2, y2); the position moves to its end. */
int LmLine(float x1, float y1, float x2, float y2);
int LmDevMoveTo(int w, int x, int y);
int LmDevLineTo(int w, int x, int y);
int LmDevLine(int w, int x1, int y1, int x2, int y2);
/* The current position of window w in pixels; 0 when there is none. */
int LmDevGetPosition(int w, int *x, int *y);

/* ---- Pens, brushes and markers ------------------------------------------- */
/* -1 (or any value out of range) keeps a value.  LmSetPen(-1,-1,-1,-1)
   forgets the current position instead. */

/* The pen of lines and outlines: colour, style LM_PEN_..., width in pixels,
   mode LM_MODE_... */
int LmSetPen(int colour, int style, int width, int mode);
int LmDevSetPen(int w, int colour, int style, int width, int mode);
/* The pen in force. */
int LmGetPen(int *colour, int *style, int *width, int *mode);
/* The brush of insides: colour, style LM_BRUSH_..., hatch LM_HATCH_... */
int LmSetBrush(int colour, int style, int hatch);
int LmDevSetBrush(int w, int colour, int style, int hatch);
/* The brush in force. */
int LmGetBrush(int *colour, int *style, int *hatch);
/* The marker of LmMarker: type LM_MARKER_..., size a world length (type 0:
   pixels as given), outline colour1, inside colour2, param 0 or more. */
int LmSetMarker(int type, float size, int colour1, int colour2, int param);
int LmDevSetMarker(int w, int type, int size, int colour1, int colour2, int param);
/* The marker in force (size as a world length; the Dev form: pixels). */
int LmGetMarker(int *type, float *size, int *colour1, int *colour2, int *param);
int LmDevGetMarker(int w, int *type, int *size, int *colour1, int *colour2, int *param);

/* ---- Rectangles, ellipses, arcs and point figures ------------------------ */
/* Arc angles are in turns (1.0 = a full circle) from the positive x axis. */

/* A rectangle between two corners: outline in the pen, inside in the brush. */
int LmRect(float x1, float y1, float x2, float y2);
/* A rectangle filled with colour-table entry `entry`. */
int LmRectEx(float x1, float y1, float x2, float y2, int entry);
/* A rectangle with rounded corners of width cw and height ch. */
int LmRoundRect(float x1, float y1, float x2, float y2, float cw, float ch);
/* The ellipse inside a rectangle. */
int LmEllipse(float x1, float y1, float x2, float y2);
/* Part of the ellipse's outline, counter-clockwise from start. */
int LmArc(float x1, float y1, float x2, float y2, float start, float extent);
/* An arc closed by the line between its ends. */
int LmChord(float x1, float y1, float x2, float y2, float start, float extent);
/* An arc closed through the centre. */
int LmPie(float x1, float y1, float x2, float y2, float start, float extent);
/* A rectangle drawn by mode LM_RECT_... (others: outline). */
int LmRectMode(float x1, float y1, float x2, float y2, int mode);
/* A marker (LmSetMarker) centred on (x, y). */
int LmMarker(float x, float y);
/* One pixel in the pen colour. */
int LmPointOp(float x, float y);
int LmDevRect(int w, int x1, int y1, int x2, int y2);
int LmDevRectEx(int w, int x1, int y1, int x2, int y2, int entry);
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

/* The text font: height, angle, alignment LM_ALIGN_... (h + 3 v), colour,
   weight (LM_WEIGHT_...), face name. */
int LmSetFont(float height, float angle, int alignment, int colour, int weight,
              const char *face);
int LmDevSetFont(int w, int height, int angle, int alignment, int colour, int weight,
                 const char *face);
/* The font of LmSymbol, set as LmSetFont sets the text font. */
int LmSetSymbolFont(float height, float angle, int alignment, int colour, int weight,
                    const char *face);
int LmDevSetSymbolFont(int w, int height, int angle, int alignment, int colour, int weight,
                       const char *face);
/* Draws text at (x, y), placed by the font's alignment. */
int LmText(float x, float y, const char *text);
int LmDevText(int w, int x, int y, const char *text);
/* code < 0: the last symbol again. */
int LmSymbol(float x, float y, int code);
int LmDevSymbol(int w, int x, int y, int code);
/* Width, height, ascent and descent of text in the text font; the world
   form converts the width along x and the other three along y. */
int LmTextExtent(float *width, float *height, float *ascent, float *descent, const char *text);
int LmDevTextExtent(int w, int *width, int *height, int *ascent, int *descent, const char *text);
/* Width and height of symbol `code` in the symbol font. */
int LmGetExtent(float *width, float *height, int code);
int LmDevGetExtent(int w, int *width, int *height, int code);
/* Shows text in a message box of the server. */
int LmMessage(const char *text);
int LmDevMessage(int w, const char *text);
/* Asks a yes/no question: 1 yes, -1 no, 0 otherwise. */
int LmAsk(const char *text);
int LmDevAsk(int w, const char *text);

/* ---- Polygons, polylines, Bezier curves and value series ----------------- */
/* Points are x, y pairs; any number of them travels in 2048-byte chunks. */

/* rule LM_FILL_ALTERNATE or LM_FILL_WINDING (others keep the window's rule). */
int LmPolygon(const float *xy, int n, int rule);
/* Lines joining n points. */
int LmPolyline(const float *xy, int n);
/* n = 3k + 1 points, at least 4. */
int LmBezier(const float *xy, int n);
/* Joins |count| values, each scale * value + offset: positions along x for
   count > 0, along y for count < 0; values outside low..high break the line.
   The other coordinate steps evenly from `from` to `to`: kind 0 converts
   `from` as a length and `to` as a position, kind -1 or 1 and above take
   both as pixels. */
int LmSeries(int kind, int count, float low, float high, float from, float to, float scale,
             float offset, const float *values);
int LmDevPolygon(int w, const int *xy, int n, int rule);
int LmDevPolyline(int w, const int *xy, int n);
int LmDevBezier(int w, const int *xy, int n);
int LmDevSeries(int w, int kind, int count, int low, int high, int from, int to, const int *values);

/* ---- Current window, transformation and simple requests ------------------ */

/* The lowest open window, 0 when none. */
int LmFirstWindow(void);
/* The next open window after n, 0 when none. */
int LmNextWindow(int n);
/* Makes window n current when it is open; returns the current window. */
int LmSelectWindow(int n);
/* t: x translation, m11, m12, y translation, m21, m22 (world); null: identity. */
int LmSetTransform(const float *t);
/* Pixels: (x, y) goes to (m11 x + m21 y + dx, m12 x + m22 y + dy). */
int LmDevSetTransform(int w, int dx, int dy, float m11, float m12, float m21, float m22);
/* The transformation in force, as LmSetTransform takes it. */
int LmGetTransform(float *t);
int LmDevGetTransform(int w, int *dx, int *dy, float *m11, float *m12, float *m21, float *m22);
/* Window request A/2: accepted, changes nothing. */
int LmWindowOp(void);
int LmDevWindowOp(int w);
/* Request B/24: answers the current window's number. */
int LmRequest24(int value);
/* Request B/25: accepted, changes nothing. */
int LmRequest25(int value);
/* x, y, width and height of window w on the screen. */
int LmDevQuery4(int w, int *x, int *y, int *width, int *height);
/* Metric request E/14: lumoview accepts it and answers zeros. */
int LmGetMetric14(int *value1, int *value2);
/* Request A/18 (-1: B/27 and B/28): accepted, changes nothing. */
int LmAction18(int value);
int LmDevAction18(int w, int value);
/* Window mode 0..10 of window w: accepted, changes nothing. */
int LmSetWindowMode(int w, int mode);
/* Server mode 0..14: accepted, changes nothing. */
int LmSetServerMode(int mode);
/* Request B/16 with 1..8 (window 0: the server's form): accepted, changes
   nothing. */
int LmRequest16(int value);
int LmDevRequest16(int w, int value);

/* ---- Console keys and window control requests ----------------------------- */

/* Non-zero when a key is waiting on the console. */
int LmKeyHit(void);
/* Waits for a key and returns its code (echoed when echo is non-zero); -1
   when the input has ended. */
int LmGetKey(int echo);
/* Clears the window to its background. */
int LmControl4(void);
int LmControl4Window(int w);
/* Resizes the drawing area to width x height pixels. */
int LmControl5(int width, int height);
int LmControl5Window(int w, int width, int height);
/* Shows (1) or hides (0) a window; window 0: the current one; < 0:
   every open window until one refuses. */
int LmControl6(int window, int shown);
/* Moves the window to screen position (x, y). */
int LmControl23(int x, int y);
/* Request B/26: accepted, changes nothing. */
int LmControl26(int value);
int LmControl26Window(int w, int value);
/* Sets the background colour and clears the window to it. */
int LmControl29(int colour);
/* Request B/34: accepted, changes nothing. */
int LmControl34(int value);
int LmControl34Window(int w, int value);
/* x, width and height of window w on the screen. */
int LmControl32(int w, int *x, int *width, int *height, int value);
int LmControl33(int w, int *x, int *width, int *height, int value);
/* x, width and height of window w; mode 1, 2, 3 are sent as 128, 64, 32. */
int LmControl1(int w, int *x, int *width, int *height, int mode);

/* ---- Colours, pixels and colour-table files ------------------------------ */
/* Colours are Windows colour references: 0x02bbggrr (palette-relative),
   0x010000ii (palette index); -999 marks an invalid colour. */

/* The colour of red, green and blue 0..255 (0x02bbggrr); LM_INVALID_COLOUR
   when one is out of range. */
int LmRgb(int red, int green, int blue);
/* An 0x00bbggrr value in the palette-relative form 0x02bbggrr. */
int LmPaletteRgb(int colour);
/* The colour naming colour-table entry index (0x010000ii). */
int LmPaletteIndex(int index);
/* 35: entries 20..35 are the sixteen user entries. */
int LmLastPaletteEntry(void);
/* Sets colour-table entry 0..255 of the current window to a colour. */
int LmSetPaletteEntry(int colour, int entry);
/* The red, green and blue of colour-table entry 0..255. */
int LmGetPaletteEntry(int entry, int *red, int *green, int *blue);
/* Sets one pixel to a colour. */
int LmSetPixel(float x, float y, int colour);
/* The pixel's colour, -1 when refused. */
int LmGetPixel(float x, float y);
/* System colour 0..20 (0x00bbggrr), -999 for other numbers. */
int LmSysColour(int n);
/* Saves entries 20..35 to a "*.clr" file chosen in the server's dialog
   (starting from name); 16 when written, 0 otherwise. */
int LmSaveColours(const char *name);
/* Loads entries 20..35 from name (or, when it does not open, from a file
   chosen in the dialog); returns the number of entries set: 16 for a
   complete file.  The values are taken in order, one for each entry from 20
   on; white space between them, blank lines included, is skipped, so a blank
   line sets no entry and the values after it move up one entry.  Reading
   stops at the end of the file or at text that is not a value; the entries
   after that keep their colours. */
int LmLoadColours(const char *name);

/* ---- Prompts, file dialogs, drawing files and window texts ---------------- */

/* The answer's length; 0 when refused or when it needs size bytes or more. */
int LmAskString(const char *prompt, char *answer, int size);
/* The chosen path's length, -length when it does not fit, 0 when refused. */
int LmChooseFile(char *name, int size);
/* LM_FILE_SAVE writes the window to name (SVG, PDF, EPS by the ending, else
   PNG), LM_FILE_LOAD draws a PNG file; 1 when done. */
int LmDrawingFile(int value, const char *name);
/* Sets the current window's title. */
int LmWindowText(const char *text);
/* LmWindowText with four further numbers (the server takes none of them). */
int LmWindowTextEx(int value1, int value2, int value3, int value4, const char *text);

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
   brush and marker settings; lines, markers, error bars and contour lines
   keep the data's positions between pixels (frames, ticks, grids and bars
   stay on whole pixels).  Results: the number of points (values, cells,
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
/* n markers of kind `marker` (LM_MARKER_..., 0..6) with the current marker size and colours
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
