// Pens, brushes and markers: stored in the window block, marked in the
// change bits, applied by the server on A/6.
#include <cmath>

#include "include/lumo.h"
#include "lib/draw/coords.h"
#include "lib/link/link.h"

using namespace lumo;
using namespace lumo::wire;

namespace {

constexpr int kMaxPenStyle = 9;
constexpr int kMaxPenMode = 31;
constexpr int kMaxBrushStyle = 7;
constexpr int kMaxHatch = 5;
constexpr int kMaxMarkerType = 6;

void mark(unsigned char* v, uint32_t bit) {
  write_i32(v, kChanged, static_cast<int32_t>(static_cast<uint32_t>(read_i32(v, kChanged)) | bit));
}

// Pen and brush values are stored (and marked) whenever they are valid.
void store(unsigned char* v, int offset, int32_t value, uint32_t bit) {
  write_i32(v, offset, value);
  mark(v, bit);
}

// Marker values are stored (and marked) only when they change.
void store_if_changed(unsigned char* v, int offset, int32_t value, uint32_t bit) {
  if (read_i32(v, offset) == value) return;
  store(v, offset, value, bit);
}

void copy_out(const unsigned char* v, int offset, int* out) {
  if (out) *out = read_i32(v, offset);
}

int send_attributes(int w) { return send_window_command1(w, kCmdDraw, kDrawAttributes); }

}  // namespace

extern "C" {

int LmDevSetPen(int w, int colour, int style, int width, int mode) {
  unsigned char* v = window_view(w);
  if (!v) return 0;
  if (colour == -1 && style == -1 && width == -1 && mode == -1) return LmDevMoveTo(w, -1, -1);
  if (colour != -1) store(v, kPenColour, colour, kChangedPenColour);
  if (style >= 0 && style <= kMaxPenStyle) store(v, kPenStyle, style, kChangedPenStyle);
  if (width >= 0) store(v, kPenWidth, width, kChangedPenWidth);
  if (mode >= 0 && mode <= kMaxPenMode) store(v, kPenMode, mode, kChangedPenMode);
  return send_attributes(w);
}

int LmSetPen(int colour, int style, int width, int mode) {
  return LmDevSetPen(g_link.current_window, colour, style, width, mode);
}

int LmGetPen(int* colour, int* style, int* width, int* mode) {
  const unsigned char* v = g_link.current_view;
  if (!v) return 0;
  copy_out(v, kPenColour, colour);
  copy_out(v, kPenStyle, style);
  copy_out(v, kPenWidth, width);
  copy_out(v, kPenMode, mode);
  return g_link.current_window;
}

int LmDevSetBrush(int w, int colour, int style, int hatch) {
  unsigned char* v = window_view(w);
  if (!v) return 0;
  if (colour != -1) store(v, kBrushColour, colour, kChangedBrushColour);
  if (style >= 0 && style <= kMaxBrushStyle) store(v, kBrushStyle, style, kChangedBrushStyle);
  if (hatch >= 0 && hatch <= kMaxHatch) store(v, kBrushHatch, hatch, kChangedBrushHatch);
  return send_attributes(w);
}

int LmSetBrush(int colour, int style, int hatch) {
  return LmDevSetBrush(g_link.current_window, colour, style, hatch);
}

int LmGetBrush(int* colour, int* style, int* hatch) {
  const unsigned char* v = g_link.current_view;
  if (!v) return 0;
  copy_out(v, kBrushColour, colour);
  copy_out(v, kBrushStyle, style);
  copy_out(v, kBrushHatch, hatch);
  return g_link.current_window;
}

int LmDevSetMarker(int w, int type, int size, int colour1, int colour2, int param) {
  unsigned char* v = window_view(w);
  if (!v) return 0;
  if (type >= 0 && type <= kMaxMarkerType && type != read_i32(v, kMarkerType)) {
    store(v, kMarkerType, type, kChangedMarkerType);
    if (type == 0 && size < 0) size = 0;
  }
  if (size >= 0) store_if_changed(v, kMarkerSize, size, kChangedMarkerSize);
  if (colour1 != -1) store_if_changed(v, kMarkerColour1, colour1, kChangedMarkerColour1);
  if (colour2 != -1) store_if_changed(v, kMarkerColour2, colour2, kChangedMarkerColour2);
  if (param >= 0) store_if_changed(v, kMarkerParam, param, kChangedMarkerParam);
  return send_attributes(w);
}

int LmSetMarker(int type, float size, int colour1, int colour2, int param) {
  const unsigned char* v = g_link.current_view;
  if (!v) return 0;
  // Type 0 takes its size as a plain number; the others as a world length.
  const bool plain = type == 0 || (type < 0 && read_i32(v, kMarkerType) == 0);
  const Mapping m = mapping_of(v);
  const int32_t pixels = plain ? to_int32(size) : map_ly(m, size);
  return LmDevSetMarker(g_link.current_window, type, pixels, colour1, colour2, param);
}

int LmDevGetMarker(int w, int* type, int* size, int* colour1, int* colour2, int* param) {
  const unsigned char* v = window_view(w);
  if (!v) return 0;
  copy_out(v, kMarkerType, type);
  copy_out(v, kMarkerSize, size);
  copy_out(v, kMarkerColour1, colour1);
  copy_out(v, kMarkerColour2, colour2);
  copy_out(v, kMarkerParam, param);
  return w;
}

int LmGetMarker(int* type, float* size, int* colour1, int* colour2, int* param) {
  int pixels = 0;
  const int r = LmDevGetMarker(g_link.current_window, type, &pixels, colour1, colour2, param);
  if (r != 0 && size) {
    const Mapping m = mapping_of(g_link.current_view);
    *size = static_cast<float>(unmap_ly(m, pixels));
  }
  return r;
}

}  // extern "C"
