/* Checks the named constants of lumo.h against what the server takes.
 *
 * The numbers come from the server's own contract (docs/server-protocol.md,
 * docs/events.md): each list there ("Pen styles: 0 solid, 1 dash, ...") is
 * read into name-number pairs and every constant must carry the number its
 * name has there.  A headless server then takes the constants: each colour
 * draws its table entry, the fill rules, the exclusive-or mode, the metric,
 * query, switch and start-up flag numbers, the dialog answers and the
 * drawing file behave as their names say.
 *
 * Usage: constants_check DOCS_DIR FIGURE.SVG.  Prints "FAIL ..." lines and exits 1 on a
 * mismatch, else prints the number of checks. */
#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "lumo.h"

static char protocol[65536], events[32768];
static int checks, failures;

/* A number starts at p: a digit, or a sign and a digit. */
static int number_at(const char *p) {
  return isdigit((unsigned char)p[0]) ||
         ((p[0] == '-' || p[0] == '+') && isdigit((unsigned char)p[1]));
}

static void check(int ok, const char *what, long got, long want) {
  ++checks;
  if (!ok) {
    ++failures;
    printf("FAIL %s: %ld, expected %ld\n", what, got, want);
  }
}

static void read_file(const char *dir, const char *name, char *buf, size_t size) {
  char path[1024];
  FILE *f;
  size_t n;
  sprintf(path, "%.900s/%s", dir, name);
  f = fopen(path, "r");
  if (!f) {
    printf("FAIL cannot read %s\n", path);
    exit(1);
  }
  n = fread(buf, 1, size - 1, f);
  buf[n] = 0;
  fclose(f);
}

/* Lower-case words of text[0..n), parentheses and what is not a letter or
   digit dropped, words joined by one blank. */
static void normalise(const char *text, size_t n, char *out) {
  size_t i;
  int depth = 0, blank = 0;
  char *o = out;
  for (i = 0; i < n; ++i) {
    const unsigned char c = (unsigned char)text[i];
    if (c == '(') ++depth;
    if (c == ')') { --depth; continue; }
    if (depth > 0) continue;
    if (isalnum(c) || c == '+' || c == '-' || c == '.') {
      if (blank && o != out) *o++ = ' ';
      blank = 0;
      *o++ = (char)tolower(c);
    } else {
      blank = 1;
    }
  }
  *o = 0;
}

/* The numbers the list after `anchor` gives `name`: items are separated by
   ", " and end at a full stop, ';', '|' or the parenthesis the anchor opened;
   an item is "N name", "N and M name", "N..M name", "N: name" or "name N".
   Returns how many numbers were found (at most 4). */
static int lookup(const char *doc, const char *anchor, const char *name, long *numbers) {
  const char *p = strstr(doc, anchor), *item;
  int depth = 0, found = 0;
  if (!p) return 0;
  p += strlen(anchor);
  item = p;
  for (;; ++p) {
    const int end = *p == 0 || (depth == 0 && *p == ')') ||
                    (depth == 0 && (*p == ';' || *p == '|' ||
                                    (*p == '.' && (p[1] == 0 || isspace((unsigned char)p[1])))));
    const int sep = depth == 0 && *p == ',' && isspace((unsigned char)p[1]);
    if (*p == '(') ++depth;
    if (*p == ')') --depth;
    if (end || sep) {
      char words[256], label[256];
      long n[4];
      int count = 0;
      char *w, *rest;
      normalise(item, (size_t)(p - item), words);
      /* Leading numbers ("0 and 13", "4..7", "1:"), else a trailing one. */
      w = words;
      label[0] = 0;
      while (count < 4 && number_at(w)) {
        n[count++] = strtol(w, &rest, 10);
        w = rest;
        if (strncmp(w, "..", 2) == 0 && count < 4) n[count++] = strtol(w + 2, &w, 10);
        while (*w == ' ') ++w;
        if (strncmp(w, "and ", 4) == 0) w += 4;
      }
      if (count > 0) {
        strcpy(label, w);
      } else if ((w = strrchr(words, ' ')) != NULL && number_at(w + 1)) {
        n[count++] = strtol(w + 1, NULL, 10);
        memcpy(label, words, (size_t)(w - words));
        label[w - words] = 0;
      }
      if (count > 0 && strcmp(label, name) == 0) {
        int i;
        for (i = 0; i < count && found < 4; ++i) numbers[found++] = n[i];
      }
      if (end) return found;
      item = p + 2;
      p = item - 1;
    }
  }
}

struct Named {
  const char *anchor; /* where the list starts */
  const char *name;   /* the name the list gives */
  long value;         /* the constant */
};

/* Constant, the list it belongs to and its name there. */
static const struct Named kProtocol[] = {
    {"Pen styles: ", "solid", LM_PEN_SOLID},
    {"Pen styles: ", "dash", LM_PEN_DASH},
    {"Pen styles: ", "dot", LM_PEN_DOT},
    {"Pen styles: ", "dash-dot", LM_PEN_DASH_DOT},
    {"Pen styles: ", "dash-dot-dot", LM_PEN_DASH_DOT_DOT},
    {"Pen styles: ", "invisible", LM_PEN_INVISIBLE},
    {"Pen styles: ", "inside frame", LM_PEN_INSIDE_FRAME},
    {"Pen styles: ", "long dash", LM_PEN_LONG_DASH},
    {"Pen styles: ", "fine dots", LM_PEN_FINE_DOTS},
    {"Pen styles: ", "dash-dash-dot", LM_PEN_DASH_DASH_DOT},
    {"Pen modes (also for fills): ", "smooth", LM_MODE_SMOOTH},
    {"Pen modes (also for fills): ", "crisp", LM_MODE_CRISP},
    {"Pen modes (also for fills): ", "black", LM_MODE_BLACK},
    {"Pen modes (also for fills): ", "invert", LM_MODE_INVERT},
    {"Pen modes (also for fills): ", "exclusive or with the colour", LM_MODE_XOR},
    {"Pen modes (also for fills): ", "white", LM_MODE_WHITE},
    {"Brush styles: ", "solid", LM_BRUSH_SOLID},
    {"Brush styles: ", "hollow", LM_BRUSH_HOLLOW},
    {"Brush styles: ", "hatched", LM_BRUSH_HATCHED},
    {"Brush styles: ", "half", LM_BRUSH_HALF},
    {"is set where): ", "horizontal", LM_HATCH_HORIZONTAL},
    {"is set where): ", "vertical", LM_HATCH_VERTICAL},
    {"is set where): ", "diagonal down to the right", LM_HATCH_DIAGONAL_DOWN},
    {"is set where): ", "diagonal up to the right", LM_HATCH_DIAGONAL_UP},
    {"is set where): ", "cross", LM_HATCH_CROSS},
    {"is set where): ", "diagonal cross", LM_HATCH_DIAGONAL_CROSS},
    {"Markers: ", "filled square in colour 1", LM_MARKER_FILLED_SQUARE},
    {"Markers: ", "plus", LM_MARKER_PLUS},
    {"Markers: ", "cross", LM_MARKER_CROSS},
    {"Markers: ", "circle", LM_MARKER_CIRCLE},
    {"Markers: ", "square", LM_MARKER_SQUARE},
    {"Markers: ", "triangle", LM_MARKER_TRIANGLE},
    {"Markers: ", "diamond", LM_MARKER_DIAMOND},
    {"\"A\" 8 modes: ", "outline", LM_RECT_OUTLINE},
    {"\"A\" 8 modes: ", "inside", LM_RECT_INSIDE},
    {"\"A\" 8 modes: ", "both", LM_RECT_BOTH},
    {"\"A\" 8 modes: ", "invert", LM_RECT_INVERT},
    {"\"A\" 8 modes: ", "clear to the background", LM_RECT_CLEAR},
    {"\"E\" n, window | ", "drawing area", LM_METRIC_AREA},
    {"\"E\" n, window | ", "screen", LM_METRIC_SCREEN},
    {"\"E\" n, window | ", "window size", LM_METRIC_SIZE},
    {"\"E\" n, window | ", "position", LM_METRIC_POSITION},
    {"\"E\" n, window | ", "unit and pixel mode", LM_METRIC_UNIT},
    {"\"E\" n, window | ", "dpi", LM_METRIC_DPI},
    {"\"P\" x | ", "windows shown", LM_QUERY_WINDOWS},
    {"\"P\" x | ", "current window", LM_QUERY_CURRENT},
    {"\"P\" x | ", "server number", LM_QUERY_SERVER},
    {"\"P\" x | ", "programs linked", LM_QUERY_PROGRAMS},
    {"Switches: ", "t windows on top", LM_SWITCH_ON_TOP},
    {"Switches: ", "b window borders", LM_SWITCH_BORDERS},
    {"Switches: ", "r resizable", LM_SWITCH_RESIZABLE},
    {"Switches: ", "i ask before a program joins", LM_SWITCH_ASK_JOIN},
    {"Switches: ", "l leave pictures when a link ends", LM_SWITCH_LEAVE_PICTURES},
    {"Switches: ", "o close a program s windows when its link ends", LM_SWITCH_CLOSE_WINDOWS},
};

static const struct Named kEvents[] = {
    {"| 1 | a button pressed over the drawing area | ", "left", LM_BUTTON_LEFT},
    {"| 1 | a button pressed over the drawing area | ", "middle", LM_BUTTON_MIDDLE},
    {"| 1 | a button pressed over the drawing area | ", "right", LM_BUTTON_RIGHT},
    {"| 3 | a wheel step | ", "away from the user", LM_WHEEL_AWAY},
    {"| 3 | a wheel step | ", "toward", LM_WHEEL_TOWARD},
    {"a character's code (", "enter", LM_KEY_ENTER},
    {"a character's code (", "escape", LM_KEY_ESCAPE},
    {"a character's code (", "backspace", LM_KEY_BACKSPACE},
    {"a character's code (", "tab", LM_KEY_TAB},
    {"256 + the second part (", "up", LM_KEY_UP},
    {"256 + the second part (", "down", LM_KEY_DOWN},
    {"256 + the second part (", "left", LM_KEY_LEFT},
    {"256 + the second part (", "right", LM_KEY_RIGHT},
    {"256 + the second part (", "home", LM_KEY_HOME},
    {"256 + the second part (", "end", LM_KEY_END},
    {"256 + the second part (", "page up", LM_KEY_PAGE_UP},
    {"256 + the second part (", "page down", LM_KEY_PAGE_DOWN},
    {"256 + the second part (", "insert", LM_KEY_INSERT},
    {"256 + the second part (", "delete", LM_KEY_DELETE},
    {"256 + the second part (", "f1..f10", LM_KEY_F1},
    {"256 + the second part (", "f11", LM_KEY_F11},
    {"256 + the second part (", "f12", LM_KEY_F12},
};

/* Event kinds: the first cell of their row in the table of events. */
static const struct Named kKinds[] = {
    {"", "a button pressed over the drawing area", LM_EVENT_BUTTON},
    {"", "a key typed while the window has the focus", LM_EVENT_KEY},
    {"", "a wheel step", LM_EVENT_WHEEL},
};

/* The colour constants and their names in the colour table. */
static const struct Named kColours[] = {
    {"", "black", LM_BLACK},         {"", "background", LM_BACKGROUND},
    {"", "foreground", LM_FOREGROUND}, {"", "red", LM_RED},
    {"", "green", LM_GREEN},         {"", "blue", LM_BLUE},
    {"", "orange", LM_ORANGE},       {"", "purple", LM_PURPLE},
    {"", "teal", LM_TEAL},           {"", "light grey", LM_LIGHT_GREY},
    {"", "grey", LM_GREY},           {"", "bright red", LM_BRIGHT_RED},
    {"", "bright green", LM_BRIGHT_GREEN}, {"", "slate", LM_SLATE},
    {"", "bright blue", LM_BRIGHT_BLUE}, {"", "magenta", LM_MAGENTA},
    {"", "steel blue", LM_STEEL_BLUE}, {"", "cyan", LM_CYAN},
    {"", "yellow", LM_YELLOW},       {"", "brown", LM_BROWN},
};

static void check_list(const char *doc, const struct Named *table, size_t n) {
  size_t i;
  for (i = 0; i < n; ++i) {
    long numbers[4];
    int k, found, ok = 0;
    found = lookup(doc, table[i].anchor, table[i].name, numbers);
    for (k = 0; k < found; ++k) ok |= numbers[k] == table[i].value;
    check(found > 0 && ok, table[i].name, table[i].value, found > 0 ? numbers[0] : -1);
  }
}

/* The pixel a colour constant draws is the one its table entry holds (black:
   the fixed black; the entry numbers from the table's list). */
static void check_colours(void) {
  size_t i;
  for (i = 0; i < sizeof kColours / sizeof kColours[0]; ++i) {
    long entry[4];
    int r = -1, g = -1, b = -1;
    const float x = 2.0f + (float)i;
    if (lookup(protocol, "Each window has 256 entries: ", kColours[i].name, entry) != 1) {
      check(0, kColours[i].name, -1, 0);
      continue;
    }
    LmSetPixel(x, 2.0f, kColours[i].value);
    LmGetPaletteEntry((int)entry[0], &r, &g, &b);
    check(LmGetPixel(x, 2.0f) == LmRgb(r, g, b), kColours[i].name, LmGetPixel(x, 2.0f),
          LmRgb(r, g, b));
  }
  LmSetPixel(30.0f, 2.0f, LM_WHITE);
  check(LmGetPixel(30.0f, 2.0f) == LmRgb(255, 255, 255), "white", LmGetPixel(30.0f, 2.0f), 0);
  LmSetPixel(31.0f, 2.0f, LM_ENTRY(LM_FIRST_USER_ENTRY));
  LmSetPixel(32.0f, 2.0f, LmPaletteIndex(20));
  check(LmGetPixel(31.0f, 2.0f) == LmGetPixel(32.0f, 2.0f), "LM_ENTRY", LmGetPixel(31.0f, 2.0f),
        LmGetPixel(32.0f, 2.0f));
  check(LM_RGB(12, 34, 56) == LmRgb(12, 34, 56), "LM_RGB", LM_RGB(12, 34, 56), LmRgb(12, 34, 56));
  check(LmLastPaletteEntry() == LM_LAST_USER_ENTRY, "last entry", LM_LAST_USER_ENTRY,
        LmLastPaletteEntry());
}

/* System colours: the window white on black text, the buttons grey with a
   white highlight and a darker shadow, nothing past the highlight. */
static void check_system_colours(void) {
  const int face = LmSysColour(LM_SYSCOLOUR_BUTTON_FACE);
  const int shadow = LmSysColour(LM_SYSCOLOUR_BUTTON_SHADOW);
  check(LmSysColour(LM_SYSCOLOUR_WINDOW) == 0xFFFFFF, "window colour",
        LmSysColour(LM_SYSCOLOUR_WINDOW), 0xFFFFFF);
  check(LmSysColour(LM_SYSCOLOUR_WINDOW_TEXT) == 0, "window text colour",
        LmSysColour(LM_SYSCOLOUR_WINDOW_TEXT), 0);
  check(LmSysColour(LM_SYSCOLOUR_BUTTON_HIGHLIGHT) == 0xFFFFFF, "button highlight",
        LmSysColour(LM_SYSCOLOUR_BUTTON_HIGHLIGHT), 0xFFFFFF);
  check(face % 256 == face / 65536 && (shadow & 255) < (face & 255), "button face and shadow",
        face, shadow);
  check(LmSysColour(LM_SYSCOLOUR_BUTTON_HIGHLIGHT + 1) == LM_INVALID_COLOUR, "last system colour",
        LmSysColour(LM_SYSCOLOUR_BUTTON_HIGHLIGHT + 1), LM_INVALID_COLOUR);
}

/* A five-pointed star: its centre is inside by the winding rule only. */
static void check_fill_rules(void) {
  static const float star[10] = {50, 10, 74, 82, 12, 36, 88, 36, 26, 82};
  float moved[10];
  int i;
  LmSetPen(LM_BLACK, LM_PEN_SOLID, 1, LM_MODE_CRISP);
  LmSetBrush(LM_BLACK, LM_BRUSH_SOLID, LM_KEEP);
  LmPolygon(star, 5, LM_FILL_WINDING);
  for (i = 0; i < 10; ++i) moved[i] = star[i] + (i % 2 ? 0.0f : 100.0f);
  LmPolygon(moved, 5, LM_FILL_ALTERNATE);
  check(LmGetPixel(50, 50) == LM_BLACK, "winding fill", LmGetPixel(50, 50), LM_BLACK);
  check(LmGetPixel(150, 50) == LM_WHITE, "alternate fill", LmGetPixel(150, 50), LM_WHITE);
  /* The same line twice in the exclusive-or mode restores the pixels. */
  LmSetPen(LM_RED, LM_PEN_SOLID, 1, LM_MODE_XOR);
  LmLine(10, 120, 90, 120);
  check(LmGetPixel(50, 120) != LM_WHITE, "xor draws", LmGetPixel(50, 120), 0);
  LmLine(10, 120, 90, 120);
  check(LmGetPixel(50, 120) == LM_WHITE, "xor restores", LmGetPixel(50, 120), LM_WHITE);
  /* An invisible pen draws nothing, a dashed one leaves gaps. */
  LmSetPen(LM_BLACK, LM_PEN_INVISIBLE, 1, LM_MODE_CRISP);
  LmLine(10, 130, 90, 130);
  check(LmGetPixel(20, 130) == LM_WHITE, "invisible pen", LmGetPixel(20, 130), LM_WHITE);
  LmSetPen(LM_BLACK, LM_PEN_DASH, 1, LM_MODE_CRISP);
  LmLine(10, 140, 90, 140);
  check(LmGetPixel(12, 140) == LM_BLACK && LmGetPixel(30, 140) == LM_WHITE, "dashed pen",
        LmGetPixel(30, 140), LM_WHITE);
}

int main(int argc, char **argv) {
  int w = 0, h = 0, window, answer;
  size_t i;
  char text[300];
  if (argc < 3) return 2;
  read_file(argv[1], "server-protocol.md", protocol, sizeof protocol);
  read_file(argv[1], "events.md", events, sizeof events);
  check_list(protocol, kProtocol, sizeof kProtocol / sizeof kProtocol[0]);
  check_list(events, kEvents, sizeof kEvents / sizeof kEvents[0]);
  for (i = 0; i < sizeof kKinds / sizeof kKinds[0]; ++i) {
    sprintf(text, "| %ld | %s |", kKinds[i].value, kKinds[i].name);
    check(strstr(events, text) != NULL, kKinds[i].name, kKinds[i].value, -1);
  }

  /* Start-up flags: ask-join on, every other switch left as it is. */
  LmInitEx(LM_INIT_ASK_JOIN | (LM_INIT_KEEP_SWITCHES & ~(LM_INIT_ASK_JOIN * 65536)), -1, -1, -1,
           -1, -1, -1, -1, -1);
  window = LmOpenEx(0, 240, 160, -1, -1, -1, "constants");
  check(window > 0, "open", window, 1);
  check(LmQueryNumber(LM_QUERY_CURRENT) == window, "current window query",
        LmQueryNumber(LM_QUERY_CURRENT), window);
  LmDevMoveTo(window, 10, 10);
  LmDevMoveTo(window, LM_NO_POSITION, LM_NO_POSITION);
  check(LmDevGetPosition(window, &w, &h) == 0, "no position", w, LM_NO_POSITION);
  check(LmOpen(LM_LAST_WINDOW) == LM_LAST_WINDOW, "last window", LM_LAST_WINDOW, 0);
  answer = LmOpen(LM_LAST_WINDOW + 1);
  check(answer != LM_LAST_WINDOW + 1, "beyond the last window", answer, 0);
  check(LmSelectWindow(window) == window, "select", LmSelectWindow(window), window);
  sprintf(text, "at most %d characters", LM_MAX_TEXT);
  check(strstr(protocol, text) != NULL, "longest text", LM_MAX_TEXT, -1);
  check(LmServerSwitch(LM_SWITCH_ASK_JOIN, LM_SWITCH_READ) == 1, "ask-join flag",
        LmServerSwitch(LM_SWITCH_ASK_JOIN, LM_SWITCH_READ), 1);
  check(LmServerSwitch(LM_SWITCH_LEAVE_PICTURES, LM_SWITCH_READ) == 1, "pictures kept",
        LmServerSwitch(LM_SWITCH_LEAVE_PICTURES, LM_SWITCH_READ), 1);
  LmMetric(LM_METRIC_AREA, &w, &h);
  check(w == 240 && h == 160, "area metric", w, 240);
  check_colours();
  check_system_colours();
  check_fill_rules();
  answer = LmAsk("first");
  check(answer == LM_YES, "yes", answer, LM_YES);
  answer = LmAsk("second");
  check(answer == LM_NO, "no", answer, LM_NO);
  check(LmDrawingFile(LM_FILE_SAVE, argv[2]) == 1, "drawing file", 0, 1);
  check(LmLibraryInfo(LM_INFO_VERSION_TEXT, text, sizeof text) > 0 &&
            strncmp(text, "Version", 7) == 0, "version text", 0, 1);
  check(LmLibraryInfo(LM_INFO_DESCRIPTION, text, sizeof text) > 0 && strstr(text, "Lumo") != NULL,
        "description", 0, 1);
  check(LmClose(LM_ALL_WINDOWS) == 0, "close all", 1, 0);
  LmQuitEx(0);
  if (failures) return 1;
  printf("%d checks\n", checks);
  return 0;
}
