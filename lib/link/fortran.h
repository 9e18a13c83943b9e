// Fortran compilers call external procedures by their lower-case name with a
// trailing underscore.  LUMO_FORTRAN_NAME(lmline) makes "lmline_" a second
// name of lmline (defined in the same file), so that a Fortran 77 program
// links with nothing but -lLumo.
#ifndef LUMO_LINK_FORTRAN_H
#define LUMO_LINK_FORTRAN_H

#define LUMO_STRINGIFY2(x) #x
#define LUMO_STRINGIFY(x) LUMO_STRINGIFY2(x)
#define LUMO_SYMBOL(name) LUMO_STRINGIFY(__USER_LABEL_PREFIX__) #name

#define LUMO_FORTRAN_NAME(name)                              \
  asm(".globl " LUMO_SYMBOL(name) "_\n\t.set " LUMO_SYMBOL(name) "_, " LUMO_SYMBOL(name));

#endif
