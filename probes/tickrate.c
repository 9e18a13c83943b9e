/* tickrate: the performance counter's frequency, 31 times in a row. */
#include <stdio.h>

#include "perf_counter.h"

int main(void) {
  LARGE_INTEGER frequency;
  int i;
  QueryPerformanceFrequency(&frequency);
  printf(" %d\n", (int)LOW_PART(frequency));
  for (i = 1; i <= 30; i++) {
    QueryPerformanceFrequency(&frequency);
    printf(" %d \n", (int)LOW_PART(frequency));
  }
  return 0;
}
