// The plotting layer: axes, series, legends, images and contours drawn with
// the kit's own drawing calls.  Each window keeps a fixed-size record of its
// axes (data ranges, plot area, pending labels) and of its legend; nothing
// is allocated.
#ifndef LUMO_PLOT_PLOT_H
#define LUMO_PLOT_PLOT_H

#include <cstdint>

namespace lumo {
namespace plot {

// ---- Ticks and their labels (ticks.cpp) ------------------------------------

inline constexpr int kMaxTicks = 64;

struct Ticks {
  int count;
  double value[kMaxTicks];  // major ticks, ascending, inside [lo, hi]
  double step;              // linear axes: the 1-2-5 step
  int minor_count;          // log axes: ticks at 2..9 times a power of ten
  double minor[kMaxTicks];
};

// Major ticks of an axis from lo to hi (lo < hi; log axes: lo > 0): linear
// axes at a 1-2-5 step giving at most ten of them, log axes at powers of ten
// (every first, second, fifth ... decade when there are many), or at 1-2-5
// multiples when the range holds fewer than two powers.
void choose_ticks(double lo, double hi, bool log, Ticks* out);

// A tick label with the fewest digits that tell the ticks `step` apart
// ("0 2 4 6 8 10", "0.5 1 1.5"; with a step of 100000 or more, or below
// 0.0001, as "1.5e6").  Powers of ten on a log axis are plain from 0.001 to
// 10000; beyond, the text is "10" and *exponent receives the power (drawn
// raised beside it); otherwise *exponent is left 0.
void format_tick(double value, double step, bool log, char* out, int size, int* exponent);

// The 1-2-5 range around [lo, hi] that the fitted axes take (log: whole
// decades); equal ends are widened.
void nice_range(double lo, double hi, bool log, double* out_lo, double* out_hi);

// ---- The window's plot record ----------------------------------------------

inline constexpr int kMaxLegend = 16;
inline constexpr int kNameSize = 64;
inline constexpr int kLabelSize = 128;

// kLinePoints: markers drawn on the very points of the line drawn before.
enum SeriesKind { kLine = 1, kPoints = 2, kBars = 3, kErrorBars = 4, kLinePoints = 5 };

struct Look {
  int kind;
  int pen_colour, pen_style, pen_width;
  int marker_type, marker_size, marker_colour1, marker_colour2;
  int brush_colour, brush_style, brush_hatch;
};

struct Axis {
  double lo, hi;  // data values at the area's ends (left/bottom, right/top)
  bool log;
};

struct Area {
  int left, top, right, bottom;  // device pixels; right and bottom are the frame's far edge
};

struct State {
  const unsigned char* view;  // the window block the axes were made in
  float world[4];             // the world they set
  bool has_axes;
  int options;
  Axis x, y;
  Area area;
  int font_px;
  int ylabel_x;  // baseline of the rotated y label
  bool pending_labels;
  char xlabel[kLabelSize], ylabel[kLabelSize], title[kLabelSize];
  bool has_last;
  Look last;
  const float* last_x;  // the points of the last line
  const float* last_y;
  int last_n;
  int legend_count;
  Look legend_look[kMaxLegend];
  char legend_name[kMaxLegend][kNameSize];
};

// The record of the current window; null without one.
State* current_state();
int current_window();
// Whether the record's axes still belong to the window as it is now (the
// same block and world).
bool axes_ready(const State* s);

// Makes axes for the current window and draws them (LmAxes without its
// argument checks).  Returns the window number, 0 when refused.
int make_axes(State* s, double x1, double x2, double y1, double y2, int options);
// The frame and tick marks again (after an image covered them).
void frame_and_ticks(int w, const State* s);
void axis_ticks(const State* s, Ticks* tx, Ticks* ty);
// Axes fitted to the data of a series call when the window has none.
bool ensure_axes(State* s, double xlo, double xhi, double ylo, double yhi, int options);
// Data value to device pixel; false when the value cannot be shown (not a
// number, or not positive on a log axis).
bool to_x(const State* s, double x, double* px);
bool to_y(const State* s, double y, double* py);

// ---- Drawing helpers (draw.cpp) --------------------------------------------

// Pen, brush, marker and text settings saved and put back around the
// layer's own drawing.
struct Saved {
  int pen[4], brush[3], marker[5], font[5];
};
void save_settings(int w, Saved* s);
void restore_settings(int w, const Saved& s);
// The current look of the window's series settings.
Look current_look(int w, int kind);
// Smooth pen with the given colour, style and width.
void smooth_pen(int w, int colour, int style, int width);
void text_font(int w, int px, int tenths, int alignment, int weight);
int rgb(int r, int g, int b);
// The series' figures: a polyline of device points (xy: x, y pairs; one
// point is a dot), sent between pixels in the smooth pen mode the series
// calls set (lumo::device_polyline, device_line and device_marker draw their
// markers, error bars and contour lines the same way).  Frames, ticks, grid
// lines, histogram bars and legend boxes stay on whole pixels: one-pixel
// lines there are sharp.
void series_polyline(int w, const double* xy, int n);

// Points of a line gathered and sent as polylines of at most kRun points
// each (a run goes on from the last point of the one before).
inline constexpr int kRun = 256;
class Runs {
 public:
  explicit Runs(int w) : w_(w) {}
  void add(double x, double y) {
    if (k_ == kRun) {
      series_polyline(w_, xy_, k_);
      xy_[0] = xy_[2 * (k_ - 1)];
      xy_[1] = xy_[2 * (k_ - 1) + 1];
      k_ = 1;
    }
    xy_[2 * k_] = x;
    xy_[2 * k_ + 1] = y;
    ++k_;
  }
  void flush() {
    series_polyline(w_, xy_, k_);
    k_ = 0;
  }
  bool empty() const { return k_ == 0; }

 private:
  int w_;
  int k_ = 0;
  double xy_[2 * kRun];
};
int text_width(int w, const char* text);
// Prints one line on the program's standard error.
void say(const char* format, ...);

// ---- Colour maps (colourmap.cpp) -------------------------------------------

// Colour of t in [0, 1] in map `map`; false for an unknown map.
bool map_colour(int map, double t, int* r, int* g, int* b);
bool known_map(int map);

}  // namespace plot
}  // namespace lumo

#endif
