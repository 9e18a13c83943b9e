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

#ifdef __cplusplus
}
#endif

#endif /* LUMO_REF_H */
