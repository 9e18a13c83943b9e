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

/* ---- Library information ------------------------------------------------ */

/* Copies identification text `item` (0..5) into buf; returns its length,
   -length when buf (size bytes) is too small, 0 for an unknown item. */
int LmLibraryInfo(int item, char *buf, int size);

#ifdef __cplusplus
}
#endif

#endif /* LUMO_H */
