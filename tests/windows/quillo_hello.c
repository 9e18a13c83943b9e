/* The program the launcher's stand-in compiler "builds": it notes in the file
 * named by QUILLO_MARKER that it ran, the name of the program that started it
 * and its own path, then ends. */
#include <windows.h>
#include <tlhelp32.h>
#include <stdio.h>
#include <stdlib.h>

static void parent_name(char *out, size_t size) {
  DWORD self = GetCurrentProcessId(), parent = 0;
  PROCESSENTRY32 entry;
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  out[0] = '\0';
  if (snap == INVALID_HANDLE_VALUE) return;
  entry.dwSize = sizeof entry;
  if (Process32First(snap, &entry)) {
    do {
      if (entry.th32ProcessID == self) parent = entry.th32ParentProcessID;
    } while (Process32Next(snap, &entry));
  }
  if (Process32First(snap, &entry)) {
    do {
      if (entry.th32ProcessID == parent) snprintf(out, size, "%s", entry.szExeFile);
    } while (Process32Next(snap, &entry));
  }
  CloseHandle(snap);
}

int main(void) {
  const char *marker = getenv("QUILLO_MARKER");
  char parent[MAX_PATH], self[MAX_PATH];
  FILE *f;
  parent_name(parent, sizeof parent);
  GetModuleFileNameA(NULL, self, sizeof self);
  printf("hello from the launcher's test program\n");
  if (marker && (f = fopen(marker, "w"))) {
    fprintf(f, "ran\nparent=%s\nself=%s\n", parent, self);
    fclose(f);
  }
  return 0;
}
