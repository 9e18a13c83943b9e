/* Built with the C compiler and nothing but libLumo.a: proves the library
 * needs no C++ runtime. */
#include <stdio.h>
#include <string.h>

#include "lumo.h"
#include "lumo_ref.h"

int main(void) {
  char buf[20];
  int result = 0;
  int item = 2;
  int n = LmLibraryInfo(1, buf, sizeof buf);
  printf("%d %s\n", n, buf);
  memset(buf, 'z', sizeof buf);
  lmlibraryinfo(&result, &item, buf, (int)sizeof buf);
  printf("%d [%.20s]\n", result, buf);
  return 0;
}
