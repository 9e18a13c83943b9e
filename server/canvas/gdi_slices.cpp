// The GDI canvas's long figures drawn in slices, other programs served
// between them.  Under Wine a random polyline of 100,000 points with a
// 3-pixel pen takes GDI nearly a second, and a polygon's fill takes time
// that grows with the square of its points (a minute at 20,000): drawn in
// one call, either held every program up for all of it.
//
// A solid outline goes to GDI a piece of points at a time, each piece
// starting at the point where the last ended, where the pieces give the
// pixels of the whole: a one-pixel (cosmetic) pen draws each segment on its
// own without its last pixel, and a wider pen's round joins are covered by
// the round ends of the pieces meeting there.  GDI changes each pixel of a
// wide outline once, whatever the raster operation, so a wide xor or
// inverting outline's pieces go in the copy mode into a mask (gdi_mask.h),
// put on the picture last a band of rows at a time.  A styled (one-pixel)
// outline would start its pattern again at every piece: it is drawn by the
// pixel rules' line, GDI's own, on the points as LPtoDP takes them onto the
// surface, the pattern carried on (Bezier curves flattened as GDI flattens
// them, a few at a time).
//
// A polygon's fill is the pixel rules' (GDI's own rule), a few rows at a
// time, on the surface's pixels; under a rotation or scaling, on its points
// as LPtoDP takes them there (as GDI's fill does).  With a wide raster
// outline GDI fills the inside less the outline's pixels, so the outline's
// mask comes first and the fill stops at it.
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
// A mask's rows put on the picture between looks at the clock.
constexpr size_t kMaskRows = 16;
// A styled Bezier outline's curves flattened at a time.
constexpr size_t kFlattenCurves = 64;
// A new picture's rows written between looks at the clock.
constexpr int kPaintRows = 32;
// A transformed polygon's points taken onto the surface between looks.
constexpr size_t kDevicePoints = 16384;

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

// A wide outline with a raster operation: GDI changes each pixel of the
// whole outline once, so its pieces go into a mask in the copy mode.
bool through_mask(const Pen& pen) {
  return pen.style != kInvisible && std::clamp(pen.width, 1, 1000) > 1 &&
         (pen.blend == Blend::kXor || pen.blend == Blend::kInvert);
}

// The points as GDI takes them (less `origin`, pulled in), and the first
// again at the end when `closed`.
std::vector<Point> gdi_points(const Point* p, size_t count, bool closed, Point origin) {
  std::vector<Point> out(count + (closed ? 1 : 0));
  for (size_t i = 0; i < out.size(); ++i) {
    const Point& q = p[i % count];
    out[i] = {gdi_coord(q.x - origin.x), gdi_coord(q.y - origin.y)};
  }
  return out;
}

// The same, made of the points of `taken`, which are moved.
std::vector<Point> gdi_points(std::vector<Point>* taken, bool closed) {
  std::vector<Point> out = taken_or_copied(taken, nullptr, 0);
  for (Point& q : out) q = {gdi_coord(q.x), gdi_coord(q.y)};
  if (closed && !out.empty()) out.push_back(out.front());
  return out;
}

int32_t within_reach(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, -pixels::kReach, pixels::kReach));
}

}  // namespace

// An untransformed polygon's outline points as GDI takes them: back where
// the viewport's origin moves them, closed.  (Under a transformation they
// are the points given, kept from the start.)
std::vector<Point> GdiCanvas::outline_points(const Job& job) {
  return gdi_points(job.corners.data(), job.corners.size(), true, job.origin);
}

bool GdiCanvas::slice_outline(const Pen& pen, const Point* p, int count, bool curves, bool closed,
                              std::vector<Point>* taken) {
  const double came = now_seconds();
  const bool masked = through_mask(pen);
  const bool dashed = pixels::dash_pattern(pen.style, std::clamp(pen.width, 1, 1000)) != nullptr;
  if (slice_ <= 0 || count <= kManyPoints || !(masked || dashed || pieces_are_whole(pen))) return false;
  finish_work();  // one long figure at a time
  job_ = Job{};
  if (pen.style == kInvisible) return true;
  Job& job = job_;
  if (masked && !job.mask.make(dc_, width_, height_)) return false;
  job.kind = curves ? Job::kCurves : Job::kOutline;
  job.pen = pen;
  job.transform = given_;
  job.end_pixel = !closed;
  job.points = taken ? gdi_points(taken, closed) : gdi_points(p, static_cast<size_t>(count), closed, {0, 0});
  if (dashed && curves) {
    job.kind = Job::kDashed;  // flattened a few curves at a time
    job.curves = true;
    job.end_pixel = false;
  } else if (dashed) {
    job.steps = pattern_steps(gdi_points_of(job.points.data()), job.points.size());
    start_dashes();
  }
  run_job(came + slice_);
  if (work_left()) ++work_serial_;
  return true;
}

// A styled (one-pixel) outline is drawn by the pixel rules' line, which
// GDI's styled lines are: on the surface, between the points as GDI takes
// them there, its pattern carried on from segment to segment and slice to
// slice as GDI carries it through one call.
void GdiCanvas::start_dashes() {
  Job& job = job_;
  job.corners = job.points;
  LPtoDP(dc_, reinterpret_cast<POINT*>(job.corners.data()), static_cast<int>(job.corners.size()));
  job.kind = Job::kDashed;
  job.next = 0;
  job.phase = 0;
}

void GdiCanvas::dashed_lines(double stop) {
  Job& job = job_;
  GdiFlush();
  pixels::Painter painter(bits_, width_, job.pen.blend, job.pen.colour);
  const pixels::DashPattern* pattern = pixels::dash_pattern(job.pen.style, 1);
  const pixels::Box clip{0, 0, width_ - 1, height_ - 1};
  if (job.curves) {
    // GDI flattens Bezier curves where they are given, each curve on its
    // own, and strokes the lines through the transformation: the
    // flattening of a path drawn in an untransformed scratch DC, taken
    // onto the surface.
    HDC scratch = CreateCompatibleDC(dc_);
    const size_t count = job.points.size();
    std::vector<POINT> flat;
    std::vector<BYTE> types;
    while (job.next + 3 < count) {
      size_t n = std::min(kFlattenCurves * 3 + 1, count - job.next);
      n -= (n - 1) % 3;
      BeginPath(scratch);
      PolyBezier(scratch, gdi_points_of(job.points.data() + job.next), static_cast<DWORD>(n));
      EndPath(scratch);
      FlattenPath(scratch);
      const int m = GetPath(scratch, nullptr, nullptr, 0);
      flat.resize(static_cast<size_t>(std::max(m, 0)));
      types.resize(flat.size());
      if (m > 0) GetPath(scratch, flat.data(), types.data(), m);
      if (m > 0) LPtoDP(dc_, flat.data(), m);
      for (size_t i = 0; i + 1 < flat.size(); ++i) {
        pixels::line(point_of(flat[i]), point_of(flat[i + 1]), pattern, &job.phase, clip, painter);
      }
      job.next += n - 1;
      if (now_seconds() > stop) break;
    }
    DeleteDC(scratch);
    if (job.next + 3 >= count) job_ = Job{};
    return;
  }
  const size_t count = job.corners.size();
  while (job.next + 1 < count) {
    for (size_t end = std::min(count - 1, job.next + kThinPiece); job.next < end; ++job.next) {
      pixels::line(job.corners[job.next], job.corners[job.next + 1], pattern, &job.phase, clip, painter);
    }
    if (now_seconds() > stop) return;
  }
  end_outline();
}

void GdiCanvas::end_outline() {
  // A solid line's last pixel is on whatever its length (its steps are 0).
  if (job_.end_pixel) end_pixel(job_.pen, job_.points.back(), job_.steps);
  job_ = Job{};
}

bool GdiCanvas::slice_polygon(const Pen& pen, const Brush& brush, const Point* p, int count, bool winding,
                              std::vector<Point>* taken) {
  if (slice_ <= 0 || count <= kManyCorners || brush.style == kBrushHollow) return false;
  const double came = now_seconds();
  finish_work();
  job_ = Job{};
  Job& job = job_;
  job.pen = pen;
  job.brush = brush;
  job.transform = given_;
  fill_mode_ = winding ? WINDING : ALTERNATE;
  // A move by whole pixels is the viewport's origin.
  POINT origin{0, 0};
  GetViewportOrgEx(dc_, &origin);
  job.origin = point_of(origin);
  job.winding = winding;
  if (through_mask(pen) && !job.mask.make(dc_, width_, height_)) {
    job_ = Job{};
    return false;  // before the points are taken
  }
  job.corners = taken_or_copied(taken, p, count);
  if (advanced_) {
    // GDI fills the polygon of its points on the surface, each rounded
    // there as LPtoDP rounds it, by the rule it uses untransformed: the
    // points are taken there a slice at a time, then the fill starts.
    job.points = gdi_points(job.corners.data(), job.corners.size(), true, {0, 0});
    job.kind = Job::kDevice;
  } else {
    for (Point& q : job.corners) {
      q = {within_reach(int64_t{q.x} + job.origin.x), within_reach(int64_t{q.y} + job.origin.y)};
    }
    start_fill();
  }
  run_job(came + slice_);
  if (work_left()) ++work_serial_;
  return true;
}

void GdiCanvas::device_points(double stop) {
  Job& job = job_;
  while (job.next < job.corners.size()) {
    const size_t n = std::min(kDevicePoints, job.corners.size() - job.next);
    Point* from = job.corners.data() + job.next;
    LPtoDP(dc_, reinterpret_cast<POINT*>(from), static_cast<int>(n));  // a Point is a POINT
    for (Point* q = from; q != from + n; ++q) *q = {within_reach(q->x), within_reach(q->y)};
    job.next += n;
    if (now_seconds() > stop) break;
  }
  if (job.next < job.corners.size()) return;
  job.next = 0;
  start_fill();
}

// The fill started on the corners on the surface, after the outline's mask
// when there is one.
void GdiCanvas::start_fill() {
  Job& job = job_;
  job.fill.start(job.corners.data(), static_cast<int>(job.corners.size()), job.winding,
                 pixels::Box{0, 0, width_ - 1, height_ - 1});
  if (through_mask(job.pen)) {
    // GDI's polygon with a wide outline with a raster operation fills its
    // inside less the outline's pixels, then changes those: the outline
    // goes into the mask first, the fill stops at it.
    if (job.points.empty()) job.points = outline_points(job);
    job.kind = Job::kOutline;
  } else {
    job.kind = Job::kFill;
  }
}

bool GdiCanvas::continue_work() {
  if (!work_left()) return false;
  if (paint_.pending) {
    paint_for(slice_ > 0 ? slice_ : 1);  // the picture first, then the figure on it
  } else {
    run_job();
  }
  return work_left();
}

void GdiCanvas::paint_for(double seconds) {
  const double stop = now_seconds() + seconds;
  while (paint_.pending && now_seconds() <= stop) paint_rows(kPaintRows);
}

void GdiCanvas::run_job(double stop) {
  Job& job = job_;
  const Transform given = given_;
  set_transform(job.transform);
  if (stop < 0) stop = now_seconds() + slice_;
  // Each stage goes on until it is done or the slice is; a stage done
  // starts the next at once.
  for (Job::Kind kind = job.kind; kind != Job::kNone; kind = job.kind) {
    if (kind == Job::kDevice) device_points(stop);
    if (kind == Job::kFill) fill_rows(stop);
    if (kind == Job::kOutline || kind == Job::kCurves) outline_pieces(stop);
    if (kind == Job::kApply) apply_mask(stop);
    if (kind == Job::kDashed) dashed_lines(stop);
    if (job.kind == kind || now_seconds() > stop) break;  // the slice is over
  }
  set_transform(given);
}

void GdiCanvas::fill_rows(double stop) {
  Job& job = job_;
  GdiFlush();
  const bool half = job.brush.style == kBrushHalf;
  pixels::Painter painter(bits_, width_, half ? Blend::kCrisp : job.pen.blend, job.brush.colour,
                          job.brush.style == kBrushHatched ? job.brush.hatch : -1, half);
  pixels::WithinSink within(painter, width_, height_);
  OutsideMaskSink outside(within, job.mask);
  pixels::Sink& sink = job.mask.made() ? static_cast<pixels::Sink&>(outside) : within;
  bool done = false;
  while (!(done = job.fill.rows(sink, 4)) && now_seconds() <= stop) {
  }
  if (!done) return;
  if (job.mask.made()) {
    after_mask();
  } else {
    outline_after_fill();
  }
}

void GdiCanvas::outline_pieces(double stop) {
  Job& job = job_;
  const size_t count = job.points.size();
  const bool curves = job.kind == Job::kCurves;
  const bool wide = std::clamp(job.pen.width, 1, 1000) > 1;
  const size_t piece = wide ? (curves ? 4 : 2) : kThinPiece;
  const int calls = wide ? kWideCallsBetweenLooks : 1;
  Pen pen = job.pen;
  if (job.mask.made()) {
    pen.blend = Blend::kCrisp;
    pen.colour = Rgb{255, 255, 255};
  }
  with_pen(
      pen,
      [&](HDC dc) {
        while (job.next + 1 < count && now_seconds() <= stop) {
          for (int k = 0; k < calls && job.next + 1 < count; ++k) {
            size_t n = std::min(piece, count - job.next);
            if (curves) {
              n -= (n - 1) % 3;  // whole curves: 3 points each after the first
              PolyBezier(dc, gdi_points_of(job.points.data() + job.next), static_cast<DWORD>(n));
            } else {
              Polyline(dc, gdi_points_of(job.points.data() + job.next), static_cast<int>(n));
            }
            job.next += n - 1;
          }
        }
      },
      job.mask.made() ? job.mask.dc() : nullptr);
  if (job.next + 1 < count) return;
  if (job.mask.made()) {
    after_mask();
    return;
  }
  end_outline();
}

void GdiCanvas::after_mask() {
  Job& job = job_;
  job.points = {};
  job.next = 0;
  // A polygon's fill comes after its outline's mask, once.
  job.kind = job.kind != Job::kFill && !job.corners.empty() ? Job::kFill : Job::kApply;
}

void GdiCanvas::apply_mask(double stop) {
  Job& job = job_;
  GdiFlush();
  pixels::Painter painter(bits_, width_, job.pen.blend, job.pen.colour);
  const size_t rows = static_cast<size_t>(std::min(job.mask.height(), height_));
  while (job.next < rows) {
    for (const size_t end = std::min(rows, job.next + kMaskRows); job.next < end; ++job.next) {
      job.mask.row(static_cast<int>(job.next), width_, painter);
    }
    if (now_seconds() > stop) break;
  }
  if (job.next >= rows) job_ = Job{};
}

void GdiCanvas::outline_after_fill() {
  Job& job = job_;
  if (job.pen.style == kInvisible) {
    job_ = Job{};
    return;
  }
  if (job.points.empty()) job.points = outline_points(job);
  job.corners = {};
  if (pieces_are_whole(job.pen)) {
    job.kind = Job::kOutline;
  } else {
    start_dashes();  // the pattern goes round unbroken
  }
}

}  // namespace lumo::server
