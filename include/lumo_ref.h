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
 * so a Fortran 77 program links with nothing but -lLumo.  Hidden lengths are
 * read as int: the size_t lengths of newer compilers arrive the same way on
 * i686 and x86_64. */
#ifndef LUMO_REF_H
#define LUMO_REF_H

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Start-up and windows -------------------------------------------------- */
int lminit(int *result);
int lminitex(int *result, int *flags, int *x, int *y, int *width, int *height, int *a, int *m, int *z, int *dpi);
int lmopen(int *result, int *n);
int lmopenex(int *result, int *n, int *width, int *height, int *colour1, int *colour2, int *mode, char *title, int length);
int lmjoin(int *result, int *win, int *server, int *ask, char *desc, int length);
int lmclose(int *result, int *n);
int lmquit(int *result);
int lmquitex(int *result, int *flag);
int lmabort(int *result);

/* ---- Metrics, switches, queries and library information -------------------- */
int lmmetric(int *result, int *what, int *a, int *b);
float lmaspect(int *what);
int lmserverswitch(int *result, int *number, int *value);
int lmquerynumber(int *result, int *x);
float lmmaxfloat(void);
int lmlibraryinfo(int *result, int *item, char *buf, int length);

/* ---- Drawing --------------------------------------------------------------- */
int lmsetworld(int *r, float *a, float *b, float *c, float *d);
int lmgetworld(int *r, float *a, float *b, float *c, float *d);
int lmsetviewport(int *r, float *a, float *b, float *c, float *d);
int lmsetviewporttorect(int *r, float *a, float *b, float *c, float *d);
int lmgetviewport(int *r, float *a, float *b, float *c, float *d);
int lmworldtodevice(int *r, float *a, float *b, int *c, int *d);
int lmworldtodevicesize(int *r, float *a, float *b, int *c, int *d);
int lmmoveto(int *r, float *a, float *b);
int lmlineto(int *r, float *a, float *b);
int lmline(int *r, float *a, float *b, float *c, float *d);
int lmdevmoveto(int *r, int *a, int *b, int *c);
int lmdevlineto(int *r, int *a, int *b, int *c);
int lmdevline(int *r, int *a, int *b, int *c, int *d, int *e);
int lmdevgetposition(int *r, int *w, int *a, int *b);
int lmgetposition(int *r, float *x, float *y);
int lmsetpen(int *r, int *a, int *b, int *c, int *d);
int lmdevsetpen(int *r, int *a, int *b, int *c, int *d, int *e);
int lmgetpen(int *r, int *a, int *b, int *c, int *d);
int lmsetbrush(int *r, int *a, int *b, int *c);
int lmdevsetbrush(int *r, int *a, int *b, int *c, int *d);
int lmgetbrush(int *r, int *a, int *b, int *c);
int lmdevsetmarker(int *r, int *a, int *b, int *c, int *d, int *e, int *f);
int lmsetmarker(int *r, int *type, float *size, int *colour1, int *colour2, int *param);
int lmgetmarker(int *r, int *type, float *size, int *colour1, int *colour2, int *param);
int lmdevgetmarker(int *r, int *w, int *type, int *size, int *colour1, int *colour2, int *param);
int lmrect(int *r, float *a, float *b, float *c, float *d);
int lmrectex(int *r, float *a, float *b, float *c, float *d, int *k);
int lmroundrect(int *r, float *a, float *b, float *c, float *d, float *e, float *f);
int lmellipse(int *r, float *a, float *b, float *c, float *d);
int lmarc(int *r, float *a, float *b, float *c, float *d, float *e, float *f);
int lmchord(int *r, float *a, float *b, float *c, float *d, float *e, float *f);
int lmpie(int *r, float *a, float *b, float *c, float *d, float *e, float *f);
int lmrectmode(int *r, float *a, float *b, float *c, float *d, int *k);
int lmmarker(int *r, float *a, float *b);
int lmpointop(int *r, float *a, float *b);
int lmdevrect(int *r, int *a, int *b, int *c, int *d, int *e);
int lmdevrectex(int *r, int *a, int *b, int *c, int *d, int *e, int *f);
int lmdevrectmode(int *r, int *a, int *b, int *c, int *d, int *e, int *f);
int lmdevellipse(int *r, int *a, int *b, int *c, int *d, int *e);
int lmdevarc(int *r, int *w, int *a, int *b, int *c, int *d, int *e, int *f, int *g, int *h);
int lmdevchord(int *r, int *w, int *a, int *b, int *c, int *d, int *e, int *f, int *g, int *h);
int lmdevpie(int *r, int *w, int *a, int *b, int *c, int *d, int *e, int *f, int *g, int *h);
int lmdevmarker(int *r, int *a, int *b, int *c);
int lmdevpointop(int *r, int *a, int *b, int *c);
int lmdevroundrect(int *r, int *w, int *x1, int *y1, int *x2, int *y2, int *cw, int *ch);
int lmsetfont(int *r, float *h, float *a, int *align, int *colour, int *param, char *face, int length);
int lmsetsymbolfont(int *r, float *h, float *a, int *align, int *colour, int *param, char *face, int length);
int lmdevsetfont(int *r, int *w, int *h, int *a, int *align, int *colour, int *param, char *face, int length);
int lmdevsetsymbolfont(int *r, int *w, int *h, int *a, int *align, int *colour, int *param, char *face, int length);
int lmtext(int *r, float *x, float *y, char *text, int length);
int lmdevtext(int *r, int *w, int *x, int *y, char *text, int length);
int lmsymbol(int *r, float *x, float *y, int *code);
int lmdevsymbol(int *r, int *a, int *b, int *c, int *d);
int lmtextextent(int *r, float *e1, float *e2, float *e3, float *e4, char *text, int length);
int lmdevtextextent(int *r, int *w, int *e1, int *e2, int *e3, int *e4, char *text, int length);
int lmgetextent(int *r, float *e1, float *e2, int *code);
int lmdevgetextent(int *r, int *w, int *e1, int *e2, int *code);
int lmmessage(int *r, char *text, int length);
int lmdevmessage(int *r, int *w, char *text, int length);
int lmask(char *text, int length);
int lmdevask(int *r, int *w, char *text, int length);
int lmpolygon(int *r, float *xy, int *n, int *rule);
int lmpolyline(int *r, float *xy, int *n);
int lmbezier(int *r, float *xy, int *n);
int lmdevpolygon(int *r, int *w, int *xy, int *n, int *rule);
int lmdevpolyline(int *r, int *w, int *xy, int *n);
int lmdevbezier(int *r, int *w, int *xy, int *n);
int lmseries(int *r, int *kind, int *c, float *b1, float *b2, float *d, float *e, float *scale, float *offset, float *values);
int lmdevseries(int *r, int *w, int *kind, int *c, int *p1, int *p2, int *p3, int *p4, int *values);
int lmfirstwindow(int *r);
int lmnextwindow(int *r, int *a);
int lmselectwindow(int *r, int *n);
int lmsettransform(int *r, float *t);
int lmgettransform(int *r, float *t);
int lmdevsettransform(int *r, int *w, int *dx, int *dy, float *m11, float *m12, float *m21, float *m22);
int lmdevgettransform(int *r, int *w, int *dx, int *dy, float *m11, float *m12, float *m21, float *m22);
int lmwindowop(int *r);
int lmdevwindowop(int *r, int *a);
int lmrequest24(int *r, int *a);
int lmrequest25(int *r, int *a);
int lmdevquery4(int *r, int *w, int *a, int *b, int *c, int *d);
int lmaction18(int *r, int *a);
int lmdevaction18(int *r, int *a, int *b);
int lmsetwindowmode(int *r, int *a, int *b);
int lmsetservermode(int *r, int *a);
int lmrequest16(int *r, int *a);
int lmdevrequest16(int *r, int *a, int *b);
int lmgetmetric14(int *r, int *a, int *b);

/* ---- Console keys and control requests ------------------------------------- */
int lmgetkey(int *echo);
int lmcontrol4(int *result);
int lmcontrol5(int *result, int *a, int *b);
int lmcontrol6(int *result, int *window, int *value);
int lmcontrol23(int *result, int *a, int *b);
int lmcontrol26(int *result, int *value);
int lmcontrol29(int *result, int *value);
int lmcontrol34(int *result, int *value);
int lmkeyhit(int *result);
int lmcontrol4window(int *result, int *w);
int lmcontrol5window(int *result, int *w, int *a, int *b);
int lmcontrol26window(int *result, int *w, int *v);
int lmcontrol34window(int *result, int *w, int *v);
int lmcontrol32(int *result, int *w, int *out1, int *io2, int *io3, int *value);
int lmcontrol33(int *result, int *w, int *out1, int *io2, int *io3, int *value);
int lmcontrol1(int *result, int *w, int *out1, int *out2, int *out3, int *mode);

/* ---- Colours, pixels and colour-table files -------------------------------- */
int lmrgb(int *r, int *g, int *b);
int lmpalettergb(int *colour);
int lmpaletteindex(int *index);
int lmlastpaletteentry(int *p);
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
int lmwindowtextex(int *result, int *a, int *b, int *c, int *d, char *text, int length);
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
