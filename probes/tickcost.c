/* tickcost: the performance counter's frequency and the cost of reading it.
 * Reading k (1..6) is the 3k-th counter read after reading 0. */
#include <stdio.h>

#include "perf_counter.h"

int main(void) {
  LARGE_INTEGER frequency;
  LARGE_INTEGER reading[7];
  int k;
  int call;

  QueryPerformanceFrequency(&frequency);
  printf("H %d\n", (int)HIGH_PART(frequency));
  printf("L %d\n", (int)LOW_PART(frequency));
  QueryPerformanceCounter(&reading[0]);
  for (k = 1; k <= 6; k++) {
    for (call = 0; call < 3; call++) QueryPerformanceCounter(&reading[k]);
  }
  for (k = 1; k <= 6; k++) {
    printf("usec = %f\n",
           (double)(reading[k].QuadPart - reading[0].QuadPart) * 1000000.0 /
               (double)frequency.QuadPart);
  }
  return 0;
}
