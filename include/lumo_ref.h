/* Lumo: by-reference twins for Fortran and other callers that pass every
 * argument by address.  The first parameter receives the result, which is
 * also returned.  Character arguments are blank-padded buffers whose lengths
 * follow, by value, after all other parameters. */
#ifndef LUMO_REF_H
#define LUMO_REF_H

#ifdef __cplusplus
extern "C" {
#endif

int lmlibraryinfo(int *result, int *item, char *buf, int length);

#ifdef __cplusplus
}
#endif

#endif /* LUMO_REF_H */
