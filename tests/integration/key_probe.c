/* Reads console keys through the library on a terminal the test drives.
 *
 *   lumo_key_probe          keys without a link
 *   lumo_key_probe linked   keys while linked: typed while drawing, then
 *                           Enter, Backspace, an arrow, F1 and Escape
 *   lumo_key_probe exit     links and exits without ending the link
 *   lumo_key_probe wait     links and waits to be ended by a signal
 *   lumo_key_probe echo     keys with echo up to q or the end, a bar after
 *                           each, then their codes */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <termios.h>
#include <unistd.h>

#include "lumo.h"

static void terminal_state(const char *label) {
  struct termios t;
  tcgetattr(0, &t);
  printf("%s canonical=%d echo=%d\n", label, (t.c_lflag & ICANON) != 0, (t.c_lflag & ECHO) != 0);
  fflush(stdout);
}

static int linked(void) {
  int i = 0, keys[9], k;
  LmOpen(0);
  terminal_state("linked");
  printf("drawing\n");
  fflush(stdout);
  while (!LmKeyHit()) {
    LmLine((float)(i % 300), 0, (float)((i + 1) % 300), 100);
    ++i;
  }
  printf("hit key=%d\n", LmGetKey(0));
  printf("more\n");
  fflush(stdout);
  for (k = 0; k < 9; ++k) keys[k] = LmGetKey(0);
  printf("keys=%d,%d,%d,%d,%d,%d,%d,%d,%d\n", keys[0], keys[1], keys[2], keys[3], keys[4], keys[5],
         keys[6], keys[7], keys[8]);
  LmQuitEx(0);
  terminal_state("after");
  return 0;
}

static int echoed(void) {
  char codes[200] = "";
  size_t used = 0;
  int k;
  do {
    k = LmGetKey(1);
    printf("|");
    if (used < sizeof codes - 12) used += (size_t)sprintf(codes + used, "%d,", k);
  } while (k != 'q' && k >= 0);
  printf("\ncodes=%s\n", codes);
  return 0;
}

int main(int argc, char **argv) {
  struct termios t;
  int quiet, loud;
  if (argc > 1 && strcmp(argv[1], "echo") == 0) return echoed();
  if (argc > 1 && strcmp(argv[1], "linked") == 0) return linked();
  if (argc > 1 && strcmp(argv[1], "exit") == 0) {
    LmOpen(0);
    terminal_state("linked");
    exit(3);
  }
  if (argc > 1 && strcmp(argv[1], "wait") == 0) {
    LmOpen(0);
    terminal_state("linked");
    for (;;) pause();
  }
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
