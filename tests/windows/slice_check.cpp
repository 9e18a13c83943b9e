// Long figures drawn by lumoview.exe's canvas in slices against the same
// figures GDI draws in one call: each case is drawn on a canvas that slices
// (very short slices, a different transformation set between them, as
// another program's figure would, or the picture resized) and on one that
// does not, and their pixels are compared.
//
//   slice_check   prints "NAME: same (N slices)" or "NAME: P pixels differ
//                 (N slices)" for each case
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "server/canvas/gdi_canvas.h"

using namespace lumo::server;

namespace {

constexpr int kWidth = 320, kHeight = 240;

enum Figure { kPolyline, kBezier, kPolygon };

struct Case {
  const char* name;
  Figure figure;
  int points;
  int width, style;
  Blend blend;
  int brush_style = kBrushSolid, hatch = 0;
  bool winding = false;
  Transform transform{};
  bool resized = false;  // the picture resized (to its own size) between slices
  int step = 0;          // a random walk of steps up to this, not random points
};

// Random points over the picture and a little beyond, or a random walk
// there (whose outline leaves pixels untouched where a slice's mistake
// shows).
std::vector<Point> random_points(int n, unsigned seed, int step) {
  std::vector<Point> p(static_cast<size_t>(n));
  Point at{kWidth / 2, kHeight / 2};
  auto next = [&](int range) {
    seed = seed * 1103515245u + 12345u;
    return static_cast<int32_t>((seed >> 8) % static_cast<unsigned>(range));
  };
  for (Point& q : p) {
    if (step > 0) {
      at.x = std::clamp(at.x + next(2 * step + 1) - step, -20, kWidth + 20);
      at.y = std::clamp(at.y + next(2 * step + 1) - step, -20, kHeight + 20);
      q = at;
    } else {
      q.x = next(kWidth + 40) - 20;
      q.y = next(kHeight + 40) - 20;
    }
  }
  return p;
}

// Draws the case (with `take`, handing the canvas a vector of the points
// to take, as the server does with a program's points); returns the slices
// it took.
int draw(GdiCanvas& canvas, const Case& c, const std::vector<Point>& p, bool take = false) {
  Pen pen;
  pen.colour = {20, 90, 200};
  pen.width = c.width;
  pen.style = c.style;
  pen.blend = c.blend;
  Brush brush;
  brush.colour = {230, 120, 30};
  brush.style = c.brush_style;
  brush.hatch = c.hatch;
  canvas.set_transform(c.transform);
  const int n = static_cast<int>(p.size());
  std::vector<Point> taken = p;
  switch (c.figure) {
    case kPolyline: take ? canvas.take_polyline(pen, &taken) : canvas.polyline(pen, p.data(), n); break;
    case kBezier: canvas.bezier(pen, p.data(), n); break;
    case kPolygon:
      take ? canvas.take_polygon(pen, brush, &taken, c.winding) : canvas.polygon(pen, brush, p.data(), n, c.winding);
      break;
  }
  int slices = 1;
  Transform other;
  other.m11 = 2.5;
  other.dx = 13;
  while (canvas.work_left()) {
    canvas.set_transform(other);
    if (c.resized) canvas.resize(kWidth, kHeight, Rgb{250, 250, 245});
    canvas.continue_work();
    ++slices;
  }
  return slices;
}

void report(const char* name, long differ, int slices) {
  if (differ == 0) {
    std::printf("%s: same (%d slices)\n", name, slices);
  } else {
    std::printf("%s: %ld pixels differ (%d slices)\n", name, differ, slices);
  }
}

// A picture too large to be written at once, made in slices while figures
// are drawn and the picture resized (twice, once under a long figure),
// against the same drawn with every picture made before the next call.
// Also where a resize keeps the old pixels and where it puts the new
// background.  False when a canvas could not be made.
bool large_picture_check() {
  const Rgb first{250, 250, 245}, second{10, 200, 30}, third{90, 10, 160}, red{220, 20, 20};
  GdiCanvas whole(2400, 1800, first), sliced(2400, 1800, first);
  sliced.set_slice(1e-4);
  Rgb seen;
  if (!whole.get_pixel({0, 0}, &seen)) return false;  // made now
  int slices = 1;
  auto slice = [&] {
    if (sliced.work_left()) ++slices;
    sliced.continue_work();
  };
  Pen none;
  none.style = kInvisible;
  Pen wide;
  wide.width = 3;
  wide.colour = {20, 90, 200};
  const std::vector<Point> p = random_points(6000, 5, 0);
  for (GdiCanvas* c : {&whole, &sliced}) {
    const bool slicing = c == &sliced;
    if (slicing) slice();
    c->rect(none, Brush{red, kBrushSolid, 0}, {100, 100}, {900, 700});
    c->resize(2800, 1900, second);
    if (slicing) slice();
    if (!slicing) c->get_pixel({0, 0}, &seen);
    c->polyline(wide, p.data(), static_cast<int>(p.size()));
    if (slicing) slice();
    c->resize(2600, 2000, third);  // under the long figure
    if (!slicing) c->get_pixel({0, 0}, &seen);
    while (c->work_left()) slicing ? slice() : (void)c->continue_work();
    c->set_pixel({1000, 1000}, red);
    c->ellipse(wide, Brush{second, kBrushSolid, 0}, {1200, 1200}, {1500, 1400});
  }
  long differ = 0;
  for (int y = 0; y < 2000; ++y) {
    for (int x = 0; x < 2600; ++x) {
      Rgb a, b;
      whole.get_pixel({x, y}, &a);
      sliced.get_pixel({x, y}, &b);
      differ += !(a == b);
    }
  }
  // The rect kept through both resizes, the first resize's background
  // where the second keeps the picture, the second's beyond it.
  const struct {
    Point at;
    Rgb want;
  } spots[] = {{{500, 500}, red}, {{2590, 100}, second}, {{100, 1950}, third}, {{1000, 1000}, red}};
  for (const auto& spot : spots) {
    whole.get_pixel(spot.at, &seen);
    differ += !(seen == spot.want);
  }
  report("large picture made in slices, resized and drawn on", differ, slices);
  return true;
}

}  // namespace

int main() {
  Transform moved;
  moved.dx = 9;
  moved.dy = -6;
  Transform turned;
  turned.m11 = 0.9;
  turned.m12 = 0.3;
  turned.m21 = -0.3;
  turned.m22 = 0.9;
  turned.dx = 40;
  Transform scaled;
  scaled.m11 = 1.37;
  scaled.m22 = 0.61;
  scaled.dx = -30.5;
  scaled.dy = 17.25;
  Transform enlarged;  // most of every segment beyond the picture
  enlarged.m11 = 7.5;
  enlarged.m22 = 6.25;
  enlarged.m21 = 0.5;
  enlarged.dx = -1000;
  enlarged.dy = -700;
  Transform sheared;
  sheared.m21 = 0.45;
  sheared.m12 = -0.2;
  sheared.dy = 35;
  Transform mirrored;
  mirrored.m11 = -1.1;
  mirrored.m22 = 0.95;
  mirrored.m12 = 0.07;
  mirrored.dx = 330;
  const Case cases[] = {
      {"polyline 1px", kPolyline, 20000, 1, kSolid, Blend::kCrisp},
      {"polyline 1px xor", kPolyline, 20000, 1, kSolid, Blend::kXor},
      {"polyline 3px", kPolyline, 6000, 3, kSolid, Blend::kSmooth},
      {"polyline 25px black", kPolyline, 5000, 25, kSolid, Blend::kBlack},
      {"polyline 4px moved", kPolyline, 5000, 4, kSolid, Blend::kCrisp, kBrushSolid, 0, false, moved},
      {"polyline 3px turned", kPolyline, 5000, 3, kSolid, Blend::kCrisp, kBrushSolid, 0, false, turned},
      {"polyline 1px dashed", kPolyline, 5000, 1, kDash, Blend::kCrisp},
      {"polyline dotted xor walk", kPolyline, 6000, 1, kDot, Blend::kXor, kBrushSolid, 0, false, {}, false, 7},
      {"polyline dash-dot turned", kPolyline, 5000, 1, kDashDot, Blend::kCrisp, kBrushSolid, 0, false, turned},
      {"polyline dash-dot-dot moved walk", kPolyline, 6000, 1, kDashDotDot, Blend::kSmooth, kBrushSolid, 0, false, moved,
       false, 9},
      {"polyline long dash invert walk", kPolyline, 6000, 1, kLongDash, Blend::kInvert, kBrushSolid, 0, false, {}, false,
       8},
      {"polyline fine dots scaled", kPolyline, 5000, 1, kFineDot, Blend::kCrisp, kBrushSolid, 0, false, scaled},
      {"polyline dashed enlarged", kPolyline, 5000, 1, kDash, Blend::kCrisp, kBrushSolid, 0, false, enlarged},
      {"polyline dash-dash-dot resized walk", kPolyline, 6000, 1, kDashDashDot, Blend::kBlack, kBrushSolid, 0, false,
       {}, true, 9},
      {"polyline 3px xor", kPolyline, 5000, 3, kSolid, Blend::kXor},
      {"polyline 3px xor walk", kPolyline, 5000, 3, kSolid, Blend::kXor, kBrushSolid, 0, false, {}, false, 6},
      {"polyline 5px invert turned walk", kPolyline, 5000, 5, kSolid, Blend::kInvert, kBrushSolid, 0, false, turned,
       false, 4},
      {"polyline 4px xor resized walk", kPolyline, 5000, 4, kSolid, Blend::kXor, kBrushSolid, 0, false, {}, true, 5},
      {"bezier 1px", kBezier, 20002, 1, kSolid, Blend::kCrisp},
      {"bezier 3px", kBezier, 4999, 3, kSolid, Blend::kCrisp},
      {"bezier 6px turned", kBezier, 4999, 6, kSolid, Blend::kCrisp, kBrushSolid, 0, false, turned},
      {"bezier dashed", kBezier, 4999, 1, kDash, Blend::kCrisp},
      {"bezier dotted xor turned walk", kBezier, 4999, 1, kDot, Blend::kXor, kBrushSolid, 0, false, turned, false, 30},
      {"bezier dash-dot scaled walk", kBezier, 4999, 1, kDashDot, Blend::kCrisp, kBrushSolid, 0, false, scaled, false,
       30},
      {"bezier 3px xor walk", kBezier, 4999, 3, kSolid, Blend::kXor, kBrushSolid, 0, false, {}, false, 8},
      {"polygon solid", kPolygon, 1500, 1, kSolid, Blend::kCrisp},
      {"polygon winding 3px", kPolygon, 1500, 3, kSolid, Blend::kCrisp, kBrushSolid, 0, true},
      {"polygon hatched", kPolygon, 1500, 1, kSolid, Blend::kCrisp, kBrushHatched, 4},
      {"polygon hatched moved", kPolygon, 1500, 1, kSolid, Blend::kCrisp, kBrushHatched, 2, false, moved},
      {"polygon half dashed", kPolygon, 1500, 1, kDash, Blend::kCrisp, kBrushHalf},
      {"polygon xor", kPolygon, 1500, 1, kSolid, Blend::kXor},
      {"polygon 3px xor", kPolygon, 1500, 3, kSolid, Blend::kXor},
      {"polygon 3px invert", kPolygon, 1500, 3, kSolid, Blend::kInvert},
      {"polygon 4px xor hatched moved", kPolygon, 1500, 4, kSolid, Blend::kXor, kBrushHatched, 3, true, moved},
      {"polygon hollow 3px xor turned walk", kPolygon, 6000, 3, kSolid, Blend::kXor, kBrushHollow, 0, false, turned,
       false, 5},
      {"polygon turned", kPolygon, 1500, 1, kSolid, Blend::kCrisp, kBrushSolid, 0, false, turned},
      {"polygon scaled", kPolygon, 1500, 1, kSolid, Blend::kCrisp, kBrushSolid, 0, false, scaled},
      {"polygon scaled winding 3px walk", kPolygon, 1500, 3, kSolid, Blend::kCrisp, kBrushSolid, 0, true, scaled, false,
       9},
      {"polygon sheared hatched", kPolygon, 1500, 1, kSolid, Blend::kCrisp, kBrushHatched, 5, false, sheared},
      {"polygon turned half dashed", kPolygon, 1500, 1, kDash, Blend::kCrisp, kBrushHalf, 0, true, turned},
      {"polygon mirrored xor", kPolygon, 1500, 1, kSolid, Blend::kXor, kBrushSolid, 0, false, mirrored},
      {"polygon scaled 4px invert walk", kPolygon, 1500, 4, kSolid, Blend::kInvert, kBrushSolid, 0, false, scaled,
       false, 9},
      {"polygon hollow dashed", kPolygon, 6000, 1, kDash, Blend::kCrisp, kBrushHollow, 0, false, {}, false, 9},
      {"polygon dotted sheared", kPolygon, 1500, 1, kDot, Blend::kCrisp, kBrushHatched, 1, false, sheared},
      {"polygon no outline", kPolygon, 1500, 1, kInvisible, Blend::kCrisp, kBrushSolid, 0, true},
      {"polygon hollow 3px", kPolygon, 6000, 3, kSolid, Blend::kCrisp, kBrushHollow},
      {"polygon hollow 1px xor turned", kPolygon, 20000, 1, kSolid, Blend::kXor, kBrushHollow, 0, false, turned},
      {"polyline 3px resized", kPolyline, 6000, 3, kSolid, Blend::kCrisp, kBrushSolid, 0, false, {}, true},
      {"polygon resized", kPolygon, 1500, 2, kSolid, Blend::kCrisp, kBrushSolid, 0, false, {}, true},
  };
  unsigned seed = 11;
  for (const Case& c : cases) {
    const std::vector<Point> p = random_points(c.points, seed++, c.step);
    GdiCanvas whole(kWidth, kHeight, Rgb{250, 250, 245});
    GdiCanvas sliced(kWidth, kHeight, Rgb{250, 250, 245});
    sliced.set_slice(1e-4);
    draw(whole, c, p);
    // Every other case through points the canvas takes.
    const int slices = draw(sliced, c, p, seed % 2 == 0);
    long differ = 0;
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        Rgb a, b;
        whole.get_pixel({x, y}, &a);
        sliced.get_pixel({x, y}, &b);
        differ += !(a == b);
      }
    }
    report(c.name, differ, slices);
  }
  return large_picture_check() ? 0 : 1;
}
