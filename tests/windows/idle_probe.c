/* Starts lumoview.exe as the library does, waits until it is idle
   (WaitForInputIdle) and says whether its server block was there by then:
     idle_probe LUMOVIEW.EXE ROUNDS   prints "ready when idle: N of ROUNDS" */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char **argv) {
  int round, rounds = argc > 2 ? atoi(argv[2]) : 3, ready = 0;
  if (argc < 2) return 2;
  for (round = 0; round < rounds; ++round) {
    STARTUPINFOA si;
    PROCESS_INFORMATION pi;
    HANDLE block;
    char line[600];
    ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    snprintf(line, sizeof line, "\"%s\"", argv[1]);
    if (!CreateProcessA(argv[1], line, NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi)) return 1;
    WaitForInputIdle(pi.hProcess, 60000);
    block = OpenFileMappingA(FILE_MAP_READ, FALSE, "LumoView1");
    if (block) {
      ++ready;
      CloseHandle(block);
    }
    TerminateProcess(pi.hProcess, 0);
    WaitForSingleObject(pi.hProcess, 5000);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
  }
  printf("ready when idle: %d of %d\n", ready, rounds);
  return 0;
}
