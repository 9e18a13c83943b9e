/* Lumo: by-reference twins for Fortran and other callers that pass every
 * argument by address.  Each by-value operation LmName of lumo.h has the twin
 * lmname: the first parameter receives the result, which is also returned;
 * the other parameters point to the by-value arguments, in their order.
 * Character arguments are buffers whose lengths follow, by value, after all
 * other parameters (one per character argument, in order).  A text a twin
 * reads is blank-padded, not terminated: its trailing blanks are removed.
 * A text a twin writes:
 *   lmaskstring (answer), lmchoosefile (name) and lmlibraryinfo (buf) write
 *     it blank-padded to the length, not terminated, when they give a text;
 *   lmjoin (desc) writes "server:window title" terminated by a NUL, as LmJoin
 *     does: at most length bytes with the NUL, only when length > 10, the
 *     bytes after the NUL left as they were (in Fortran take
 *     DESC(1:INDEX(DESC, CHAR(0)) - 1)).
 *
 * Exceptions: lmrgb, lmpalettergb, lmpaletteindex, lmaspect, lmmaxfloat and
 * lmgetkey return their value directly; lmask(text, length) returns the
 * answer; lmselectwindow and lmclose also write the new current window into
 * their argument; lmgetposition writes nothing when there is no position.
 *
 * Every twin also has Fortran's name with a trailing underscore (lmline_),
 * so a Fortran 77 program links with nothing but -lLumo; the module lumo
 * (lumo.f90) declares those names with their arguments' names, intents and
 * assumed-length texts for newer Fortran.  Hidden lengths are
 * read as int: the size_t lengths of newer compilers arrive the same way on
 * i686 and x86_64. */
#ifndef LUMO_REF_H
#define LUMO_REF_H

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Start-up and windows -------------------------------------------------- */
int lminit(int *result);
int lminitex(int *result, int *flags, int *x, int *y, int *width, int *height, int *option_a, int *option_m, int *option_z, int *dpi);
int lmopen(int *result, int *n);
int lmopenex(int *result, int *n, int *width, int *height, int *colour1, int *colour2, int *mode, char *title, int length);
int lmjoin(int *result, int *win, int *server, int *ask, char *desc, int length);
int lmclose(int *result, int *n);
int lmquit(int *result);
int lmquitex(int *result, int *flag);
int lmabort(int *result);

/* ---- Metrics, switches, queries and library information -------------------- */
int lmmetric(int *result, int *what, int *value1, int *value2);
float lmaspect(int *what);
int lmserverswitch(int *result, int *number, int *value);
int lmquerynumber(int *result, int *question);
float lmmaxfloat(void);
int lmlibraryinfo(int *result, int *item, char *buf, int length);

/* ---- Drawing --------------------------------------------------------------- */
int lmsetworld(int *result, float *x1, float *y1, float *x2, float *y2);
int lmgetworld(int *result, float *x1, float *y1, float *x2, float *y2);
int lmsetviewport(int *result, float *vx1, float *vy1, float *vx2, float *vy2);
int lmsetviewporttorect(int *result, float *x1, float *y1, float *x2, float *y2);
int lmgetviewport(int *result, float *vx1, float *vy1, float *vx2, float *vy2);
int lmworldtodevice(int *result, float *x, float *y, int *ix, int *iy);
int lmworldtodevicesize(int *result, float *w, float *h, int *iw, int *ih);
int lmmoveto(int *result, float *x, float *y);
int lmlineto(int *result, float *x, float *y);
int lmline(int *result, float *x1, float *y1, float *x2, float *y2);
int lmdevmoveto(int *result, int *w, int *x, int *y);
int lmdevlineto(int *result, int *w, int *x, int *y);
int lmdevline(int *result, int *w, int *x1, int *y1, int *x2, int *y2);
int lmdevgetposition(int *result, int *w, int *x, int *y);
int lmgetposition(int *result, float *x, float *y);
int lmsetpen(int *result, int *colour, int *style, int *width, int *mode);
int lmdevsetpen(int *result, int *w, int *colour, int *style, int *width, int *mode);
int lmgetpen(int *result, int *colour, int *style, int *width, int *mode);
int lmsetbrush(int *result, int *colour, int *style, int *hatch);
int lmdevsetbrush(int *result, int *w, int *colour, int *style, int *hatch);
int lmgetbrush(int *result, int *colour, int *style, int *hatch);
int lmdevsetmarker(int *result, int *w, int *type, int *size, int *colour1, int *colour2, int *param);
int lmsetmarker(int *result, int *type, float *size, int *colour1, int *colour2, int *param);
int lmgetmarker(int *result, int *type, float *size, int *colour1, int *colour2, int *param);
int lmdevgetmarker(int *result, int *w, int *type, int *size, int *colour1, int *colour2, int *param);
int lmrect(int *result, float *x1, float *y1, float *x2, float *y2);
int lmrectex(int *result, float *x1, float *y1, float *x2, float *y2, int *entry);
int lmroundrect(int *result, float *x1, float *y1, float *x2, float *y2, float *cw, float *ch);
int lmellipse(int *result, float *x1, float *y1, float *x2, float *y2);
int lmarc(int *result, float *x1, float *y1, float *x2, float *y2, float *start, float *extent);
int lmchord(int *result, float *x1, float *y1, float *x2, float *y2, float *start, float *extent);
int lmpie(int *result, float *x1, float *y1, float *x2, float *y2, float *start, float *extent);
int lmrectmode(int *result, float *x1, float *y1, float *x2, float *y2, int *mode);
int lmmarker(int *result, float *x, float *y);
int lmpointop(int *result, float *x, float *y);
int lmdevrect(int *result, int *w, int *x1, int *y1, int *x2, int *y2);
int lmdevrectex(int *result, int *w, int *x1, int *y1, int *x2, int *y2, int *entry);
int lmdevrectmode(int *result, int *w, int *x1, int *y1, int *x2, int *y2, int *mode);
int lmdevellipse(int *result, int *w, int *x1, int *y1, int *x2, int *y2);
int lmdevarc(int *result, int *w, int *x1, int *y1, int *x2, int *y2, int *sx, int *sy, int *ex, int *ey);
int lmdevchord(int *result, int *w, int *x1, int *y1, int *x2, int *y2, int *sx, int *sy, int *ex, int *ey);
int lmdevpie(int *result, int *w, int *x1, int *y1, int *x2, int *y2, int *sx, int *sy, int *ex, int *ey);
int lmdevmarker(int *result, int *w, int *x, int *y);
int lmdevpointop(int *result, int *w, int *x, int *y);
int lmdevroundrect(int *result, int *w, int *x1, int *y1, int *x2, int *y2, int *cw, int *ch);
int lmsetfont(int *result, float *height, float *angle, int *alignment, int *colour, int *weight, char *face, int length);
int lmsetsymbolfont(int *result, float *height, float *angle, int *alignment, int *colour, int *weight, char *face, int length);
int lmdevsetfont(int *result, int *w, int *height, int *angle, int *alignment, int *colour, int *weight, char *face, int length);
int lmdevsetsymbolfont(int *result, int *w, int *height, int *angle, int *alignment, int *colour, int *weight, char *face, int length);
int lmtext(int *result, float *x, float *y, char *text, int length);
int lmdevtext(int *result, int *w, int *x, int *y, char *text, int length);
int lmsymbol(int *result, float *x, float *y, int *code);
int lmdevsymbol(int *result, int *w, int *x, int *y, int *code);
int lmtextextent(int *result, float *width, float *height, float *ascent, float *descent, char *text, int length);
int lmdevtextextent(int *result, int *w, int *width, int *height, int *ascent, int *descent, char *text, int length);
int lmgetextent(int *result, float *width, float *height, int *code);
int lmdevgetextent(int *result, int *w, int *width, int *height, int *code);
int lmmessage(int *result, char *text, int length);
int lmdevmessage(int *result, int *w, char *text, int length);
int lmask(char *text, int length);
int lmdevask(int *result, int *w, char *text, int length);
int lmpolygon(int *result, float *xy, int *n, int *rule);
int lmpolyline(int *result, float *xy, int *n);
int lmbezier(int *result, float *xy, int *n);
int lmdevpolygon(int *result, int *w, int *xy, int *n, int *rule);
int lmdevpolyline(int *result, int *w, int *xy, int *n);
int lmdevbezier(int *result, int *w, int *xy, int *n);
int lmseries(int *result, int *kind, int *count, float *low, float *high, float *from, float *to, float *scale, float *offset, float *values);
int lmdevseries(int *result, int *w, int *kind, int *count, int *low, int *high, int *from, int *to, int *values);
int lmfirstwindow(int *result);
int lmnextwindow(int *result, int *n);
int lmselectwindow(int *result, int *n);
int lmsettransform(int *result, float *t);
int lmgettransform(int *result, float *t);
int lmdevsettransform(int *result, int *w, int *dx, int *dy, float *m11, float *m12, float *m21, float *m22);
int lmdevgettransform(int *result, int *w, int *dx, int *dy, float *m11, float *m12, float *m21, float *m22);
int lmwindowop(int *result);
int lmdevwindowop(int *result, int *w);
int lmrequest24(int *result, int *value);
int lmrequest25(int *result, int *value);
int lmdevquery4(int *result, int *w, int *x, int *y, int *width, int *height);
int lmaction18(int *result, int *value);
int lmdevaction18(int *result, int *w, int *value);
int lmsetwindowmode(int *result, int *w, int *mode);
int lmsetservermode(int *result, int *mode);
int lmrequest16(int *result, int *value);
int lmdevrequest16(int *result, int *w, int *value);
int lmgetmetric14(int *result, int *value1, int *value2);

/* ---- Console keys and control requests ------------------------------------- */
int lmgetkey(int *echo);
int lmcontrol4(int *result);
int lmcontrol5(int *result, int *width, int *height);
int lmcontrol6(int *result, int *window, int *shown);
int lmcontrol23(int *result, int *x, int *y);
int lmcontrol26(int *result, int *value);
int lmcontrol29(int *result, int *colour);
int lmcontrol34(int *result, int *value);
int lmkeyhit(int *result);
int lmcontrol4window(int *result, int *w);
int lmcontrol5window(int *result, int *w, int *width, int *height);
int lmcontrol26window(int *result, int *w, int *value);
int lmcontrol34window(int *result, int *w, int *value);
int lmcontrol32(int *result, int *w, int *x, int *width, int *height, int *value);
int lmcontrol33(int *result, int *w, int *x, int *width, int *height, int *value);
int lmcontrol1(int *result, int *w, int *x, int *width, int *height, int *mode);

/* ---- Colours, pixels and colour-table files -------------------------------- */
int lmrgb(int *red, int *green, int *blue);
int lmpalettergb(int *colour);
int lmpaletteindex(int *index);
int lmlastpaletteentry(int *result);
int lmsetpaletteentry(int *result, int *colour, int *entry);
int lmgetpaletteentry(int *result, int *entry, int *red, int *green, int *blue);
int lmsetpixel(int *result, float *x, float *y, int *colour);
int lmgetpixel(int *result, float *x, float *y);
int lmsyscolour(int *result, int *n);
int lmsavecolours(int *result, char *name, int length);
int lmloadcolours(int *result, char *name, int length);

/* ---- Prompts, dialogs, drawing files and window texts ---------------------- */
int lmaskstring(int *result, char *prompt, char *answer, int prompt_length, int answer_length);
int lmchoosefile(int *result, char *name, int length);
int lmdrawingfile(int *result, int *value, char *name, int length);
int lmwindowtext(int *result, char *text, int length);
int lmwindowtextex(int *result, int *value1, int *value2, int *value3, int *value4, char *text, int length);
/* ---- Pointer and keyboard input of the graphics windows ------------------- */
int lmwaitevent(int *result, int *kind, int *code, float *x, float *y);
int lmpollevent(int *result, int *kind, int *code, float *x, float *y);
int lmgetclick(int *result, float *x, float *y);
int lmdevwaitevent(int *result, int *w, int *kind, int *code, int *x, int *y);
int lmdevpollevent(int *result, int *w, int *kind, int *code, int *x, int *y);
int lmdevdroppedevents(int *result, int *w);
/* ---- Plotting (lumo.f90 has module procedures for these) ------------------ */
/* lmcontour: a negative nlevels asks for -nlevels evenly spaced levels and
   leaves levels unread. */
int lmaxes(int *result, float *x1, float *x2, float *y1, float *y2, int *options);
int lmlabels(int *result, char *xlabel, char *ylabel, char *title, int xlabel_length, int ylabel_length, int title_length);
int lmplotline(int *result, int *n, float *x, float *y);
int lmplotpoints(int *result, int *n, float *x, float *y, int *marker);
int lmerrorbars(int *result, int *n, float *x, float *low, float *high);
int lmhistogram(int *result, int *n, float *values, int *bins, float *lo, float *hi);
int lmlegend(int *result, char *name, int length);
int lmshowlegend(int *result, int *corner);
int lmimage(int *result, int *nx, int *ny, float *values, float *vmin, float *vmax, int *map);
int lmcolourbar(int *result, float *vmin, float *vmax, int *map, char *label, int length);
int lmcontour(int *result, int *nx, int *ny, float *values, int *nlevels, float *levels);
#ifdef __cplusplus
}
#endif

#endif /* LUMO_REF_H */
