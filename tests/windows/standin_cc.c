/* A stand-in for gcc in the launcher's tests.  Like gcc for the launcher:
 * for a bad source it writes diagnostics and exits 1; for a good one it
 * writes the program OUT.exe (a copy of quillo_hello.exe, found beside this
 * program) and exits 0.  A source is bad when it holds "#error"; one holding
 * "NOISY" makes 70,000 bytes of diagnostics.  When QUILLO_CC_LOG names a
 * file, every call appends its working directory and arguments there. */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static void log_call(int argc, char **argv) {
  const char *path = getenv("QUILLO_CC_LOG");
  FILE *log;
  char dir[MAX_PATH];
  int i;
  if (!path || !(log = fopen(path, "a"))) return;
  GetCurrentDirectoryA(sizeof dir, dir);
  fprintf(log, "cwd=%s\n", dir);
  for (i = 1; i < argc; ++i) fprintf(log, "arg%d=%s\n", i, argv[i]);
  fclose(log);
}

int main(int argc, char **argv) {
  const char *out = NULL, *source = NULL;
  char text[4096], program[MAX_PATH + 8], hello[MAX_PATH];
  size_t n;
  int i, line = 0, errors = 0;
  FILE *f;
  log_call(argc, argv);
  for (i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "-o") == 0 && i + 1 < argc) {
      out = argv[++i];
    } else if (argv[i][0] != '-' && !source) {
      source = argv[i];
    }
  }
  if (!source || !*source) {
    fprintf(stderr, "standin-cc: fatal error: no input files\ncompilation terminated.\n");
    return 1;
  }
  if (!(f = fopen(source, "r"))) {
    fprintf(stderr, "standin-cc: error: %s: No such file or directory\n", source);
    fprintf(stderr, "standin-cc: fatal error: no input files\ncompilation terminated.\n");
    return 1;
  }
  while (fgets(text, sizeof text, f)) {
    ++line;
    if (strstr(text, "NOISY")) {
      for (i = 0; i < 1000; ++i) {
        printf("%s:%d:1: warning: noise %04d ........................................\n",
               "noisy.c", line, i);
      }
      ++errors;
    }
    if (strstr(text, "#error")) {
      printf("%s:%d:2: error: #error %s", source, line, strstr(text, "#error") + 7);
      ++errors;
    }
  }
  fclose(f);
  if (errors) {
    printf("standin-cc: %d error(s)\n", errors);
    return 1;
  }
  if (!out) return 1;
  GetModuleFileNameA(NULL, hello, sizeof hello);
  n = strlen(hello);
  while (n > 0 && hello[n - 1] != '\\') --n;
  strcpy(hello + n, "quillo_hello.exe");
  snprintf(program, sizeof program, "%s.exe", out);
  if (!CopyFileA(hello, program, FALSE)) {
    fprintf(stderr, "standin-cc: cannot write %s\n", program);
    return 1;
  }
  return 0;
}
