// Colour values, colour-table entries, pixels, system colours and the
// colour-table files ("*.clr": sixteen lines "0x%8.8lx" for entries 20..35).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "include/lumo.h"
#include "include/lumo_ref.h"
#include "lib/draw/coords.h"
#include "lib/link/fortran.h"
#include "lib/link/link.h"
#include "lib/link/messages.h"

using namespace lumo;
using namespace lumo::wire;

namespace {

constexpr int32_t kInvalidColour = -999;
constexpr int32_t kPaletteRelative = 0x02000000;
constexpr int32_t kPaletteIndex = 0x01000000;
constexpr int32_t kRgbMask = 0x00FFFFFF;
constexpr int kFirstUserEntry = 20;
constexpr int kLastEntry = 35;
constexpr int kUserEntries = kLastEntry - kFirstUserEntry + 1;
constexpr char kColourFilter[] = "*.clr";

int set_palette_entry(int w, int colour, int entry) {
  return send_window_command3(w, kCmdDraw, kDrawColourEntry, colour, entry);
}

int get_palette_entry(int w, int entry, int* red, int* green, int* blue) {
  if (send_window_command2(w, kCmdRequest, kRequestPalette, entry) == 0) return 0;
  const unsigned char* v = window_view(w);
  if (!v) return 0;
  int32_t value = read_i32(v, kArg2);  // 0x00RRGGBB
  const int b = value % 256;
  value /= 256;
  const int g = value % 256;
  const int r = value / 256;
  if (red) *red = r;
  if (green) *green = g;
  if (blue) *blue = b;
  return r < 256 ? w : 0;
}

// The data-area text of w copied out, so that later commands cannot touch it.
const char* path_from_data(int w) {
  static char path[kDataSize];
  const char* data = window_data(w);
  std::snprintf(path, sizeof path, "%s", data ? data : "");
  return path;
}

int write_colour_file(int w, const char* path) {
  FILE* f = std::fopen(path, "w");
  if (!f) return 0;
  for (int entry = kFirstUserEntry; entry <= kLastEntry; ++entry) {
    int r = 0, g = 0, b = 0;
    if (get_palette_entry(w, entry, &r, &g, &b) == 0) {
      // A table that cannot be read is not saved as if it had been.
      std::fclose(f);
      return 0;
    }
    std::fprintf(f, "0x%8.8lx\n", static_cast<unsigned long>(r | g << 8 | b << 16));
  }
  return std::fclose(f) == 0 ? kUserEntries : 0;
}

// The next value of a colour file, read as scanf's "%x" reads one: white
// space (blank lines included) skipped, an optional sign and "0x", then at
// least one hexadecimal digit; the low 32 bits are kept.  False at the end
// of the file or at text that is not a value.
bool next_colour_value(FILE* f, unsigned long* value) {
  int c;
  do {
    c = std::fgetc(f);
  } while (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f');
  bool negative = false;
  if (c == '+' || c == '-') {
    negative = c == '-';
    c = std::fgetc(f);
  }
  auto digit = [](int ch) {
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
    return -1;
  };
  uint32_t v = 0;
  int digits = 0;
  if (c == '0') {
    ++digits;
    c = std::fgetc(f);
    if (c == 'x' || c == 'X') c = std::fgetc(f);
  }
  for (; digit(c) >= 0; c = std::fgetc(f), ++digits) v = v << 4 | static_cast<uint32_t>(digit(c));
  if (c != EOF) std::ungetc(c, f);  // the next value starts here, or the text that ends them
  if (digits == 0) return false;
  *value = negative ? 0u - v : v;
  return true;
}

// The file's values in order set entries 20..35, whatever white space
// separates them.  Reading stops at the first text that is not a value,
// leaving the later entries as they are; the result counts the entries set.
int read_colour_file(int w, const char* path) {
  FILE* f = std::fopen(path, "r");
  if (!f) return 0;
  int set = 0;
  unsigned long value = 0;
  for (int entry = kFirstUserEntry; entry <= kLastEntry && next_colour_value(f, &value); ++entry) {
    set_palette_entry(w, static_cast<int>((value & kRgbMask) | kPaletteRelative), entry);
    ++set;
  }
  std::fclose(f);
  return set;
}

bool file_opens(const char* path) {
  FILE* f = std::fopen(path, "r");
  if (!f) return false;
  std::fclose(f);
  return true;
}

// The name is already in the data area of w.
int save_colours(int w) {
  const char* data = window_data(w);
  if (!data) return 0;
  if (!*data) put_window_text(w, kColourFilter);
  if (send_window_command1(w, kCmdRequest, kRequestFileDialog) != 1) {
    no_dialog_shown(w);
    return 0;
  }
  // An empty answer, or only the filter, saves nothing: no file is named.
  if (!names_a_file(window_data(w))) return 0;
  return write_colour_file(w, path_from_data(w));
}

int load_colours(int w) {
  if (!window_data(w)) return 0;
  if (!file_opens(path_from_data(w)) &&
      send_window_command1(w, kCmdRequest, kRequestFileDialog) != 1) {
    no_dialog_shown(w);
    return 0;
  }
  return read_colour_file(w, path_from_data(w));
}

int pixel_position(float x, float y, int* dx, int* dy) {
  const unsigned char* v = g_link.current_view;
  if (!v) return 0;
  const Mapping m = mapping_of(v);
  *dx = map_x(m, x);
  *dy = map_y(m, y);
  return 1;
}

}  // namespace

extern "C" {

int LmRgb(int r, int g, int b) {
  if (r < 0 || r > 255 || g < 0 || g > 255 || b < 0 || b > 255) return kInvalidColour;
  return kPaletteRelative | r | g << 8 | b << 16;
}
int lmrgb(int* r, int* g, int* b) { return LmRgb(*r, *g, *b); }

int LmPaletteRgb(int colour) {
  return colour < 0 ? kInvalidColour : (colour & kRgbMask) | kPaletteRelative;
}
int lmpalettergb(int* colour) { return LmPaletteRgb(*colour); }

int LmPaletteIndex(int index) {
  return index < 0 || index > 255 ? kInvalidColour : kPaletteIndex | index;
}
int lmpaletteindex(int* index) { return LmPaletteIndex(*index); }

int LmLastPaletteEntry(void) { return kLastEntry; }
int lmlastpaletteentry(int* p) { return *p = kLastEntry; }

int LmSetPaletteEntry(int colour, int entry) {
  return set_palette_entry(g_link.current_window, colour, entry);
}
int lmsetpaletteentry(int* result, int* colour, int* entry) {
  return *result = LmSetPaletteEntry(*colour, *entry);
}

int LmGetPaletteEntry(int entry, int* red, int* green, int* blue) {
  return get_palette_entry(g_link.current_window, entry, red, green, blue);
}
int lmgetpaletteentry(int* result, int* entry, int* red, int* green, int* blue) {
  return *result = LmGetPaletteEntry(*entry, red, green, blue);
}

int LmSetPixel(float x, float y, int colour) {
  int dx = 0, dy = 0;
  if (!pixel_position(x, y, &dx, &dy)) return 0;
  const int w = g_link.current_window;
  return send_pixel(w, dx, dy, colour) != 0 ? w : 0;
}
int lmsetpixel(int* result, float* x, float* y, int* colour) {
  return *result = LmSetPixel(*x, *y, *colour);
}

int LmGetPixel(float x, float y) {
  int dx = 0, dy = 0;
  if (!pixel_position(x, y, &dx, &dy)) return -1;
  const int w = g_link.current_window;
  if (send_window_command2(w, kCmdPixel, dx, dy) == 0) return -1;
  const unsigned char* v = window_view(w);
  return v ? read_i32(v, kResult0) : -1;
}
int lmgetpixel(int* result, float* x, float* y) { return *result = LmGetPixel(*x, *y); }

int LmSysColour(int n) { return platform::system_colour(n); }
int lmsyscolour(int* result, int* n) { return *result = LmSysColour(*n); }

int LmSaveColours(const char* name) {
  const int w = g_link.current_window;
  put_window_text(w, name);
  return save_colours(w);
}
int lmsavecolours(int* result, char* name, int length) {
  const int w = g_link.current_window;
  put_window_text_n(w, name, length);
  return *result = save_colours(w);
}

int LmLoadColours(const char* name) {
  const int w = g_link.current_window;
  if (put_window_text(w, name) == 0) put_window_text(w, kColourFilter);
  return load_colours(w);
}
int lmloadcolours(int* result, char* name, int length) {
  const int w = g_link.current_window;
  // Only a missing name falls back to the filter; a blank one stays empty.
  if (name) {
    put_window_text_n(w, name, length);
  } else {
    put_window_text(w, kColourFilter);
  }
  return *result = load_colours(w);
}

}  // extern "C"

// Fortran's names of the twins above.
LUMO_FORTRAN_NAME(lmrgb)
LUMO_FORTRAN_NAME(lmpalettergb)
LUMO_FORTRAN_NAME(lmpaletteindex)
LUMO_FORTRAN_NAME(lmlastpaletteentry)
LUMO_FORTRAN_NAME(lmsetpaletteentry)
LUMO_FORTRAN_NAME(lmgetpaletteentry)
LUMO_FORTRAN_NAME(lmsetpixel)
LUMO_FORTRAN_NAME(lmgetpixel)
LUMO_FORTRAN_NAME(lmsyscolour)
LUMO_FORTRAN_NAME(lmsavecolours)
LUMO_FORTRAN_NAME(lmloadcolours)
