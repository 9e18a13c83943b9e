/* Reads console keys through the library on a terminal the test drives. */
#include <stdio.h>
#include <termios.h>
#include <unistd.h>

#include "lumo.h"

int main(void) {
  struct termios t;
  int quiet, loud;
  printf("hit=%d\n", LmKeyHit());
  printf("ready\n");
  fflush(stdout);
  quiet = LmGetKey(0);
  loud = LmGetKey(1);
  tcgetattr(0, &t);
  printf("\nkeys=%c%c canonical=%d echo=%d\n", quiet, loud, (t.c_lflag & ICANON) != 0,
         (t.c_lflag & ECHO) != 0);
  printf("waiting\n");
  fflush(stdout);
  while (!LmKeyHit()) usleep(1000);
  printf("hit then key=%c\n", LmGetKey(0));
  return 0;
}
