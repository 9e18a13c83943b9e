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

/* ---- Library information ------------------------------------------------ */

/* Copies identification text `item` (0..5) into buf; returns its length,
   -length when buf (size bytes) is too small, 0 for an unknown item. */
int LmLibraryInfo(int item, char *buf, int size);

#ifdef __cplusplus
}
#endif

#endif /* LUMO_H */
