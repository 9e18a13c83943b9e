// The GDI canvas's long figures drawn in slices, other programs served
// between them.  Under Wine a random polyline of 100,000 points with a
// 3-pixel pen takes GDI nearly a second, and a polygon's fill takes time
// that grows with the square of its points (a minute at 20,000): drawn in
// one call, either held every program up for all of it.
//
// An outline goes to GDI a piece of points at a time, each piece starting
// at the point where the last ended, and only where the pieces give the
// pixels of the whole: a solid one-pixel (cosmetic) pen draws each segment
// on its own without its last pixel, and a wider solid pen's round joins
// are covered by the round ends of the pieces meeting there, which only the
// raster operations that leave a pixel drawn twice as it was once keep.  A
// styled pen would start its pattern again at every piece: such outlines
// are drawn whole.  A polygon's fill is the pixel rules' (GDI's own rule),
// a few rows at a time, on the surface's pixels; under a transformation
// other than a move by whole pixels it is left to GDI whole.
#include <windows.h>

#include <algorithm>

#include "server/canvas/gdi_canvas.h"

namespace lumo::server {
namespace {

// A polyline or Bezier curves of more points than this go in slices, and a
// polygon's fill of more than kManyCorners.
constexpr int kManyPoints = 4096;
constexpr int kManyCorners = 1024;
// A one-pixel pen's outline goes to GDI this many points at a time.  A
// wider pen's goes a segment or a curve at a time: GDI as Wine draws it
// makes the region of a call's whole outline, at a cost that grows with
// the region's pieces, and a random polyline of 100,000 points with a
// 3-pixel pen took 5 s in calls of 256 points, 0.87 s in one call and
// 0.58 s a segment at a time.
constexpr size_t kThinPiece = 256;
// A wide pen's calls between looks at the clock (a thin pen's call of 256
// points looks after each).
constexpr int kWideCallsBetweenLooks = 8;

double now_seconds() {
  static LARGE_INTEGER frequency{};
  if (frequency.QuadPart == 0) QueryPerformanceFrequency(&frequency);
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

bool pieces_are_whole(const Pen& pen) {
  if (pen.style == kInvisible) return true;
  const int width = std::clamp(pen.width, 1, 1000);
  if (pixels::dash_pattern(pen.style, width)) return false;
  return width == 1 || (pen.blend != Blend::kXor && pen.blend != Blend::kInvert);
}

// The points as GDI takes them (less `origin`, pulled in), and the first
// again at the end when `closed`.
std::vector<POINT> gdi_points(const Point* p, size_t count, bool closed, Point origin) {
  std::vector<POINT> out(count + (closed ? 1 : 0));
  for (size_t i = 0; i < out.size(); ++i) {
    const Point& q = p[i % count];
    out[i] = {gdi_coord(q.x - origin.x), gdi_coord(q.y - origin.y)};
  }
  return out;
}

}  // namespace

bool GdiCanvas::slice_outline(const Pen& pen, const Point* p, int count, bool curves, bool closed) {
  if (slice_ <= 0 || count <= kManyPoints || !pieces_are_whole(pen)) return false;
  finish_work();  // one long figure at a time
  job_ = Job{};
  if (pen.style == kInvisible) return true;
  Job& job = job_;
  job.kind = curves ? Job::kCurves : Job::kOutline;
  job.pen = pen;
  job.transform = given_;
  job.end_pixel = !closed;
  job.points = gdi_points(p, static_cast<size_t>(count), closed, {0, 0});
  run_job();
  if (work_left()) ++work_serial_;
  return true;
}

bool GdiCanvas::slice_polygon(const Pen& pen, const Brush& brush, const Point* p, int count, bool winding) {
  if (slice_ <= 0 || count <= kManyCorners || advanced_ || brush.style == kBrushHollow) return false;
  // GDI's own polygon with a wide xor or inverting outline is not its fill
  // followed by that outline: such a polygon is drawn whole.
  const bool raster = pen.blend == Blend::kXor || pen.blend == Blend::kInvert;
  if (raster && pen.style != kInvisible && pen.width > 1) return false;
  finish_work();
  job_ = Job{};
  Job& job = job_;
  job.kind = Job::kFill;
  job.pen = pen;
  job.brush = brush;
  job.transform = given_;
  fill_mode_ = winding ? WINDING : ALTERNATE;
  // A move by whole pixels is the viewport's origin.
  POINT origin{0, 0};
  GetViewportOrgEx(dc_, &origin);
  job.origin = {static_cast<int32_t>(origin.x), static_cast<int32_t>(origin.y)};
  auto on_surface = [](int32_t v, int32_t by) {
    return static_cast<int32_t>(std::clamp<int64_t>(int64_t{v} + by, -pixels::kReach, pixels::kReach));
  };
  job.corners.resize(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    job.corners[static_cast<size_t>(i)] = {on_surface(p[i].x, job.origin.x), on_surface(p[i].y, job.origin.y)};
  }
  job.fill.start(job.corners.data(), count, winding, pixels::Box{0, 0, width_ - 1, height_ - 1});
  run_job();
  if (work_left()) ++work_serial_;
  return true;
}

bool GdiCanvas::continue_work() {
  if (!work_left()) return false;
  run_job();
  return work_left();
}

void GdiCanvas::run_job() {
  Job& job = job_;
  const Transform given = given_;
  set_transform(job.transform);
  const double stop = now_seconds() + slice_;
  if (job.kind == Job::kFill) {
    GdiFlush();
    const bool half = job.brush.style == kBrushHalf;
    pixels::Painter painter(bits_, width_, half ? Blend::kCrisp : job.pen.blend, job.brush.colour,
                            job.brush.style == kBrushHatched ? job.brush.hatch : -1, half);
    pixels::WithinSink within(painter, width_, height_);
    bool done = false;
    while (!(done = job.fill.rows(within, 4)) && now_seconds() <= stop) {
    }
    if (done) outline_after_fill();
  }
  if (job.kind == Job::kOutline || job.kind == Job::kCurves) {
    const size_t count = job.points.size();
    const bool curves = job.kind == Job::kCurves;
    const bool wide = std::clamp(job.pen.width, 1, 1000) > 1;
    const size_t piece = wide ? (curves ? 4 : 2) : kThinPiece;
    const int calls = wide ? kWideCallsBetweenLooks : 1;
    with_pen(job.pen, [&](HDC dc) {
      while (job.next + 1 < count && now_seconds() <= stop) {
        for (int k = 0; k < calls && job.next + 1 < count; ++k) {
          size_t n = std::min(piece, count - job.next);
          if (curves) {
            n -= (n - 1) % 3;  // whole curves: 3 points each after the first
            PolyBezier(dc, job.points.data() + job.next, static_cast<DWORD>(n));
          } else {
            Polyline(dc, job.points.data() + job.next, static_cast<int>(n));
          }
          job.next += n - 1;
        }
      }
    });
    if (job.next + 1 >= count) {
      const POINT last = job.points.back();
      // A solid line's last pixel is on whatever its length.
      if (job.end_pixel) end_pixel(job.pen, {static_cast<int32_t>(last.x), static_cast<int32_t>(last.y)}, 0);
      job_ = Job{};
    }
  }
  set_transform(given);
}

void GdiCanvas::outline_after_fill() {
  Job& job = job_;
  if (job.pen.style == kInvisible) {
    job_ = Job{};
    return;
  }
  // The outline's points as GDI takes them: back where the viewport's
  // origin moves them, closed.
  job.points = gdi_points(job.corners.data(), job.corners.size(), true, job.origin);
  job.corners = {};
  if (pieces_are_whole(job.pen)) {
    job.kind = Job::kOutline;
  } else {
    // GDI's own outline of the polygon, whole (a styled pen's pattern goes
    // round it unbroken): no brush, no fill.
    with_pen(job.pen, [&](HDC dc) { Polygon(dc, job.points.data(), static_cast<int>(job.points.size()) - 1); });
    job_ = Job{};
  }
}

}  // namespace lumo::server
