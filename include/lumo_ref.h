/* Lumo: by-reference twins for Fortran and other callers that pass every
 * argument by address.  The first parameter receives the result, which is
 * also returned.  Character arguments are blank-padded buffers whose lengths
 * follow, by value, after all other parameters. */
#ifndef LUMO_REF_H
#define LUMO_REF_H

#ifdef __cplusplus
extern "C" {
#endif

int lminit(int *result);
int lminitex(int *result, int *flags, int *x, int *y, int *width, int *height, int *a,
             int *m, int *z, int *dpi);

int lmopen(int *result, int *n);
int lmopenex(int *result, int *n, int *width, int *height, int *colour1, int *colour2,
             int *mode, char *title, int title_length);
int lmjoin(int *result, int *win, int *server, int *ask, char *desc, int desc_length);
int lmclose(int *result, int *n);
int lmquit(int *result);
int lmquitex(int *result, int *flag);
int lmabort(int *result);

int lmmetric(int *result, int *what, int *a, int *b);
float lmaspect(int *what);
int lmserverswitch(int *result, int *number, int *value);
int lmquerynumber(int *result, int *x);
float lmmaxfloat(void);

int lmlibraryinfo(int *result, int *item, char *buf, int length);

int lmgetkey(int *echo);
int lmcontrol4(int *result);
int lmcontrol5(int *result, int *a, int *b);
int lmcontrol6(int *result, int *window, int *v);
int lmcontrol23(int *result, int *a, int *b);
int lmcontrol26(int *result, int *v);
int lmcontrol29(int *result, int *v);
int lmcontrol34(int *result, int *v);

int lmrgb(int *r, int *g, int *b);
int lmpalettergb(int *colour);
int lmpaletteindex(int *index);
int lmlastpaletteentry(int *p);
int lmsetpaletteentry(int *result, int *colour, int *entry);
int lmgetpaletteentry(int *result, int *entry, int *red, int *green, int *blue);
int lmsetpixel(int *result, float *x, float *y, int *colour);
int lmgetpixel(int *result, float *x, float *y);
int lmsyscolour(int *result, int *n);
int lmsavecolours(int *result, char *name, int name_length);
int lmloadcolours(int *result, char *name, int name_length);

int lmaskstring(int *result, char *prompt, char *answer, int prompt_length, int answer_length);
int lmchoosefile(int *result, char *name, int name_length);
int lmdrawingfile(int *result, int *value, char *name, int name_length);
int lmwindowtext(int *result, char *text, int text_length);
int lmwindowtextex(int *result, int *a, int *b, int *c, int *d, char *text, int text_length);

#ifdef __cplusplus
}
#endif

#endif /* LUMO_REF_H */
