// World and device coordinates of a window: the one place where they meet.
//
// Conversions to pixels add one half and truncate toward zero, computed in
// double precision from the window's float fields.  A value that is not a
// number converts to 0; one beyond the int32 range saturates to its limit.
#ifndef LUMO_DRAW_COORDS_H
#define LUMO_DRAW_COORDS_H

#include <cstdint>

namespace lumo {

// The mapping of one window, read from its drawing state.
struct Mapping {
  bool pixel_mode;
  double sx, sy, wx1, wy1, wx2, wy2;
  int32_t ox, oy;
};

Mapping mapping_of(const unsigned char* view);

int32_t to_int32(double v);  // truncation toward zero, defined for every input

int32_t map_x(const Mapping& m, double x);      // X
int32_t map_y(const Mapping& m, double y);      // Y
int32_t map_lx(const Mapping& m, double w);     // LX
int32_t map_ly(const Mapping& m, double h);     // LY
double unmap_x(const Mapping& m, double px);    // WX
double unmap_y(const Mapping& m, double py);    // WY
double unmap_lx(const Mapping& m, double v);    // WLX
double unmap_ly(const Mapping& m, double v);    // WLY

// The sub-pixel form of world points (common/lumo_wire.h): whether the
// window draws in the pen mode that uses it, and a point's coordinates in
// 1/kSubpixelScale pixel (false when one is not a number or its whole pixel
// lies beyond kSubpixelReach: the whole-pixel form is used then).  The whole
// pixel of each value is exactly what map_x and map_y give.
struct SubPoint {
  int32_t x, y;
};
bool subpixel_mode(const unsigned char* view);
bool subpixel_point(const Mapping& m, double x, double y, SubPoint* out);
int32_t subpixel_x(const Mapping& m, double x, bool* ok);
int32_t subpixel_y(const Mapping& m, double y, bool* ok);

// Figures at explicit device positions, for the kit's own layers (the
// plotting calls): x and y in pixels, between pixels allowed.  They travel
// in the sub-pixel form exactly as the world-level figures do (the window in
// the smooth pen mode, every position within reach), otherwise in whole
// pixels rounded as the conversions round (one half added, truncated).  No
// world, viewport or transform is read or changed.
Mapping device_mapping();
int device_line(int window, double x1, double y1, double x2, double y2);
int device_marker(int window, double x, double y);
int device_polyline(int window, const double* xy, int n);

// Calls the device operation `op` on the current window at the world point
// (x, y) converted to pixels; 0 without a current window.
int at_device_point(float x, float y, int (*op)(int window, int x, int y));

// Stores (x, y) as the current position of window w (when its block is held).
void store_position(int32_t window, int32_t x, int32_t y);

}  // namespace lumo

#endif
