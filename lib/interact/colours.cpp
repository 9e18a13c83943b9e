// Colour values, colour-table entries, pixels, system colours and the
// colour-table files ("*.clr": sixteen lines "0x%8.8lx" for entries 20..35).
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "include/lumo.h"
#include "include/lumo_ref.h"
#include "lib/draw/coords.h"
#include "lib/link/fortran.h"
#include "lib/link/link.h"

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

// Line k of the file holds entry 20 + k.  A line without a hexadecimal
// value leaves its entry as it is; the result counts the entries set.
int read_colour_file(int w, const char* path) {
  FILE* f = std::fopen(path, "r");
  if (!f) return 0;
  int set = 0;
  char line[256];
  for (int entry = kFirstUserEntry; entry <= kLastEntry && std::fgets(line, sizeof line, f);
       ++entry) {
    const bool complete = std::strchr(line, '\n') != nullptr;
    unsigned long value = 0;
    char* end = nullptr;
    value = std::strtoul(line, &end, 16);
    if (end != line) {
      set_palette_entry(w, static_cast<int>((value & kRgbMask) | kPaletteRelative), entry);
      ++set;
    }
    // The rest of an over-long line belongs to the same entry.
    while (!complete && std::fgets(line, sizeof line, f) && !std::strchr(line, '\n')) {
    }
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
  if (send_window_command1(w, kCmdRequest, kRequestFileDialog) != 1) return 0;
  return write_colour_file(w, path_from_data(w));
}

int load_colours(int w) {
  if (!window_data(w)) return 0;
  if (!file_opens(path_from_data(w)) &&
      send_window_command1(w, kCmdRequest, kRequestFileDialog) != 1) {
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
  write_i32(g_link.current_view, kResult0, colour);
  return send_window_command3(w, kCmdDraw, kDrawPixel, dx, dy) != 0 ? w : 0;
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
