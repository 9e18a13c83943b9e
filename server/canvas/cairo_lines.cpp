// The cairo canvas's lines and polylines.  Integer device coordinates name
// pixels.  In the crisp and raster modes, without a transformation, every
// line follows the pixel rules exactly; anti-aliased lines run through pixel
// centres.  Long smooth outlines take quick paths of their own (thinned
// runs, lines laid down pixel by pixel, one-pixel lines gathered and drawn
// together).
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "server/canvas/cairo_canvas.h"
#include "server/canvas/cairo_figure_parts.h"
#include "server/canvas/row_helper.h"

namespace lumo::server {
namespace {

// Consecutive points within one pixel column draw, anti-aliased, no more
// than that column between the lowest and the highest of them: a run of more
// than four keeps its first, lowest, highest and last points, in their
// order.  The same for rows.  Dense data (a signal of a million samples)
// shrinks to a few points per column; sparse data stays as it is.
// Runs from `*from` on, until `limit` points were looked at (always
// whole runs, so that pieces make what one pass makes) or the end; *from
// moves past them.
template <typename P>
void thin_runs(const std::vector<P>& in, bool columns, size_t* from, size_t limit, std::vector<P>* out) {
  const size_t n = in.size();
  size_t i = *from;
  const size_t start = i;
  while (i < n && i - start < limit) {
    const double key = std::floor(columns ? in[i].x : in[i].y);
    size_t j = i;
    while (j + 1 < n && std::floor(columns ? in[j + 1].x : in[j + 1].y) == key) ++j;
    if (j - i < 4) {
      out->insert(out->end(), in.begin() + static_cast<long>(i), in.begin() + static_cast<long>(j) + 1);
    } else {
      size_t lo = i, hi = i;
      for (size_t k = i; k <= j; ++k) {
        const double v = columns ? in[k].y : in[k].x;
        if (v < (columns ? in[lo].y : in[lo].x)) lo = k;
        if (v > (columns ? in[hi].y : in[hi].x)) hi = k;
      }
      out->push_back(in[i]);
      for (size_t k : {std::min(lo, hi), std::max(lo, hi)}) {
        if (k != i && k != j) out->push_back(in[k]);
      }
      out->push_back(in[j]);
    }
    i = j + 1;
  }
  *from = i;
}

// A long outline of long segments (a random polyline) crosses itself
// everywhere: its pieces are shorter still, which keeps its time in
// proportion to its points (about half that of strokes of 1,000 points).
constexpr size_t kLongOutline = 1000;
constexpr double kLongSegment = 32;
constexpr int kSegmentsPerCrossingStroke = 4;

// Beyond this many segments even pieces cost too much (a random polyline
// of a million points crosses itself everywhere): a one-pixel solid line is
// then laid down segment by segment, each column (or row) shared between
// the two pixels nearest the line by their distance.
constexpr size_t kManySegments = 20000;

void quick_line(uint32_t* data, int stride, int width, int height, uint32_t colour,
                double ax, double ay, double bx, double by, bool last) {
  const double dx = bx - ax, dy = by - ay;
  if (dx == 0 && dy == 0) return;
  const bool x_major = std::fabs(dx) >= std::fabs(dy);
  double px = ax, py = ay, qx = bx, qy = by;
  if (!pixels::clip_segment(&px, &py, &qx, &qy, -1, -1, width, height)) return;
  const double from = x_major ? px : py, to = x_major ? qx : qy;
  long long m0 = std::llround(std::min(from, to)), m1 = std::llround(std::max(from, to));
  const double end = x_major ? bx : by;
  if (!last && std::llround(end) == (to > from ? m1 : m0)) {
    if (to > from) {
      --m1;
    } else {
      ++m0;
    }
  }
  const int limit = x_major ? width : height, across = x_major ? height : width;
  m0 = std::max<long long>(m0, 0);
  m1 = std::min<long long>(m1, limit - 1);
  if (m0 > m1) return;
  // The minor coordinate in 16.16 fixed point, stepped along the major axis.
  const double slope = x_major ? dy / dx : dx / dy;
  const double base = (x_major ? ay : ax) + (static_cast<double>(m0) - (x_major ? ax : ay)) * slope;
  int64_t minor = std::llround(base * 65536);
  const int64_t step = std::llround(slope * 65536);
  for (long long m = m0; m <= m1; ++m, minor += step) {
    const int64_t low = minor >> 16;
    const uint32_t f = static_cast<uint32_t>((minor & 0xFFFF) >> 8);
    for (int k = 0; k < 2; ++k) {
      const int64_t n = low + k;
      const uint32_t a = k == 0 ? 256 - f : f;
      if (n < 0 || n >= across || a == 0) continue;
      uint32_t* p = x_major ? data + n * stride + m : data + m * stride + n;
      blend256(p, colour, a);
    }
  }
}

// One anti-aliased one-pixel line with round ends, from pixel a to pixel b
// (their centres): each pixel within a pixel of the segment takes the ink
// of a cone filter, 1 minus its centre's distance from the segment.  The
// ink per unit of length is the same in every direction, and the result
// stays within the anti-aliasing of cairo's stroke of the same line; it
// costs a few pixels per step along the line instead of a path.  Only the
// rows from row_lo to row_hi (within the picture) are drawn: the pixels
// there are exactly those the whole line leaves in them.
void capsule_line(uint32_t* data, int stride, int width, int height, uint32_t colour, double ax,
                  double ay, double bx, double by, long long row_lo, long long row_hi) {
  const double dx = bx - ax, dy = by - ay;
  const bool x_major = std::fabs(dx) >= std::fabs(dy);
  // Along the major axis (m) and across it (n).
  const double am = x_major ? ax : ay, an = x_major ? ay : ax;
  const double dm = x_major ? dx : dy, dn = x_major ? dy : dx;
  const double inv_length2 = 1 / (dm * dm + dn * dn);
  const long long limit = x_major ? width : height, across = x_major ? height : width;
  const double first = std::min(am, am + dm), last = std::max(am, am + dm);
  long long m0 = std::max(static_cast<long long>(first) - 1, 0LL);
  long long m1 = std::min(static_cast<long long>(last) + 1, limit - 1);
  const double slope = dn / dm;
  const double reach = std::sqrt(1 + slope * slope);  // across, a pixel's distance from the line
  const double inv_reach = 1 / reach;
  // The rows asked for: across the line (n) when it runs along the rows,
  // else along it (m).  For the first kind only the steps whose centre
  // comes within reach of those rows are looked at (a few more, never fewer).
  const long long n_lo = x_major ? std::max(row_lo, 0LL) : 0;
  const long long n_hi = x_major ? std::min(row_hi, across - 1) : across - 1;
  if (!x_major) {
    m0 = std::max(m0, row_lo);
    m1 = std::min(m1, row_hi);
  } else if (n_lo > 0 || n_hi < across - 1) {
    const double c_lo = static_cast<double>(n_lo) - reach - 2, c_hi = static_cast<double>(n_hi) + reach + 2;
    if (dn == 0) {
      if (an < c_lo || an > c_hi) return;
    } else {
      // Clamped before the conversion: a nearly flat line far away puts
      // these beyond what a long long holds.
      const double far = 1e15;
      const double ma = std::clamp(am + dm * (c_lo - an) / dn, -far, far);
      const double mb = std::clamp(am + dm * (c_hi - an) / dn, -far, far);
      m0 = std::max(m0, static_cast<long long>(std::floor(std::min(ma, mb))) - 2);
      m1 = std::min(m1, static_cast<long long>(std::ceil(std::max(ma, mb))) + 2);
    }
  }
  auto put = [&](long long m, long long n, double cover) {
    const uint32_t a = static_cast<uint32_t>(cover * 256 + 0.5);
    if (a) blend256(x_major ? data + n * stride + m : data + m * stride + n, colour, a);
  };
  for (long long m = m0; m <= m1; ++m) {
    const double along = std::clamp((m - am) / dm, 0.0, 1.0);
    const double centre = an + along * dn;
    // Integer bounds by truncation, adjusted: the pixels within `reach`.
    long long n0 = static_cast<long long>(centre - reach) - 1, n1 = static_cast<long long>(centre + reach) + 1;
    n0 = std::max(n0, n_lo);
    n1 = std::min(n1, n_hi);
    if (m >= first + 2 && m <= last - 2) {
      // Away from the ends every pixel lies beside the segment: its
      // distance is its offset across the line over `reach`.
      for (long long n = n0; n <= n1; ++n) {
        const double d = std::fabs(n - centre) * inv_reach;
        if (d < 1) put(m, n, 1 - d);
      }
      continue;
    }
    for (long long n = n0; n <= n1; ++n) {
      // Near the ends: the distance from the segment, round beyond it.
      const double pm = m - am, pn = n - an;
      const double t = std::clamp((pm * dm + pn * dn) * inv_length2, 0.0, 1.0);
      const double em = pm - t * dm, en = pn - t * dn;
      const double d2 = em * em + en * en;
      if (d2 < 1) put(m, n, 1 - std::sqrt(d2));
    }
  }
}

constexpr size_t kGatheredLines = 1024;     // drawn when this many are waiting
constexpr size_t kLinesWorthSharing = 32;   // fewer are drawn by this thread alone
constexpr int kRowChunks = 8;               // chunks of rows shared out

}  // namespace

void CairoCanvas::line(const Pen& pen, Point a, Point b) {
  const Point p[2] = {a, b};
  stroke_points(pen, p, 2, false);
}

void CairoCanvas::queue_line(uint32_t colour, DevicePoint a, DevicePoint b) {
  const long long top = static_cast<long long>(std::floor(std::min(a.y, b.y))) - 2;
  const long long bottom = static_cast<long long>(std::ceil(std::max(a.y, b.y))) + 2;
  if (bottom < 0 || top >= height_) return;  // nothing of it in the picture
  const int32_t t = static_cast<int32_t>(std::max(top, 0LL));
  const int32_t u = static_cast<int32_t>(std::min<long long>(bottom, height_ - 1));
  if (lines_.empty()) {
    lines_.reserve(kGatheredLines);
    lines_top_ = t;
    lines_bottom_ = u;
  }
  lines_top_ = std::min(lines_top_, t);
  lines_bottom_ = std::max(lines_bottom_, u);
  lines_.push_back({colour, t, u, a, b});
  if (lines_.size() >= kGatheredLines) draw_queued_lines();
}

// The gathered lines in order, the rows they touch cut into chunks: each
// pixel is in one chunk, where every line's ink reaches it in the order the
// lines came, so the picture is the same however the chunks are shared.
void CairoCanvas::draw_queued_lines() {
  if (lines_.empty()) return;
  open_pixels();
  const int rows = lines_bottom_ - lines_top_ + 1;
  row_chunks_ = lines_.size() >= kLinesWorthSharing && chunks_shared() ? std::min(kRowChunks, rows) : 1;
  run_chunks(row_chunks_, &CairoCanvas::draw_line_rows, this);
  lines_.clear();
}

void CairoCanvas::draw_line_rows(void* canvas, int chunk) {
  const CairoCanvas& c = *static_cast<const CairoCanvas*>(canvas);
  const long long rows = c.lines_bottom_ - c.lines_top_ + 1;
  const long long lo = c.lines_top_ + rows * chunk / c.row_chunks_;
  const long long hi = c.lines_top_ + rows * (chunk + 1) / c.row_chunks_ - 1;
  const int stride = static_cast<int>(c.open_stride_);  // opened by draw_queued_lines
  for (const QueuedLine& l : c.lines_) {
    if (l.bottom < lo || l.top > hi) continue;
    capsule_line(c.open_data_, stride, c.width_, c.height_, l.colour, l.a.x, l.a.y, l.b.x, l.b.y, lo, hi);
  }
}

void CairoCanvas::polyline(const Pen& pen, const Point* p, int count) {
  if (count >= 2) stroke_points(pen, p, count, false);
}

// A long outline drawn by cairo keeps the points and puts them on the
// surface in its slices: copying and converting a million points at once
// would hold everything else up (the same as stroke_points otherwise).
void CairoCanvas::take_polyline(const Pen& pen, std::vector<Point>* points) {
  const size_t count = points->size();
  if (count <= kPointsTakenAtOnce || pen.style == kInvisible) {
    polyline(pen, points->data(), static_cast<int>(count));
    return;
  }
  finish();
  StrokeJob& job = new_stroke_job(pen, false, count);
  job.given = std::move(*points);
  points->clear();
  start_stroke_job();
}

// The outline through the points (before the drawing transformation).
void CairoCanvas::stroke_points(const Pen& pen, const Point* p, int count, bool closed) {
  if (pen.style == kInvisible || count < 2) return;
  if (count == 2) {
    const Point d[2] = {to_device(p[0]), to_device(p[1])};
    stroke_device_points(pen, d, 2, closed);
    return;
  }
  std::vector<Point> d(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) d[static_cast<size_t>(i)] = to_device(p[i]);
  stroke_device_points(pen, d.data(), count, closed);
}

// The outline through points already on the surface: one-pixel lines by the
// pixel rules in the exact modes (each leaves out its last pixel; an open
// outline ends on its last pixel in the copy modes), cairo strokes otherwise.
void CairoCanvas::stroke_device_points(const Pen& pen, const Point* d, int count, bool closed) {
  if (pen.style == kInvisible || count < 2) return;
  const int width = pen_width(pen);
  if (count == 2 && !closed && !vector_ && pen.blend == Blend::kSmooth && pen.style == kSolid &&
      width == 1 && (d[0].x != d[1].x || d[0].y != d[1].y)) {
    queue_line((static_cast<uint32_t>(pen.colour.r) << 16) | (pen.colour.g << 8) | pen.colour.b,
               {static_cast<double>(d[0].x), static_cast<double>(d[0].y)},
               {static_cast<double>(d[1].x), static_cast<double>(d[1].y)});
    return;
  }
  finish();
  if (exact_here(pen) && width == 1 && count > kExactSegmentsAtOnce) {
    // A long one goes on in slices as the others do.
    std::vector<DevicePoint> f(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) f[static_cast<size_t>(i)] = {static_cast<double>(d[i].x), static_cast<double>(d[i].y)};
    smooth_polyline(pen, std::move(f), closed);
    return;
  }
  if (exact_here(pen) && width == 1) {
    const pixels::DashPattern* pattern = pixels::dash_pattern(pen.style, width);
    pixels::Painter painter = pen_painter(pen);
    int64_t phase = 0;
    for (int i = 0; i + 1 < count; ++i) pixels::line(d[i], d[i + 1], pattern, &phase, clip(), painter);
    if (closed) {
      pixels::line(d[count - 1], d[0], pattern, &phase, clip(), painter);
    } else if (pen.blend == Blend::kCrisp && pixels::dash_on(pattern, phase)) {
      const Point e = d[count - 1];
      if (e.x >= 0 && e.y >= 0 && e.x < width_ && e.y < height_) painter.span(e.y, e.x, e.x);
    }
    end_pixels();
    return;
  }
  std::vector<DevicePoint> f(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) f[static_cast<size_t>(i)] = {static_cast<double>(d[i].x), static_cast<double>(d[i].y)};
  smooth_polyline(pen, std::move(f), closed);
}

// A polyline in device pixels drawn with cairo: each segment is clipped to
// the surface (with a margin) so far-away points keep their direction.
// Styled one-pixel pens are laid out pixel by pixel along the major axis,
// as in the exact modes, and each run of "on" pixels is stroked.  The
// outline is a job (StrokeJob) run in slices when a slice is set.
void CairoCanvas::smooth_polyline(const Pen& pen, std::vector<DevicePoint> given, bool closed) {
  StrokeJob& job = new_stroke_job(pen, closed, given.size());
  (job.thin ? job.raw : job.pts) = std::move(given);
  job.stage = job.thin ? StrokeJob::kThinColumns : StrokeJob::kMeasure;
  start_stroke_job();
}

CairoCanvas::StrokeJob& CairoCanvas::new_stroke_job(const Pen& pen, bool closed, size_t count) {
  finish_work();  // one long figure at a time
  const int width = pen_width(pen);
  const pixels::DashPattern* pattern = pixels::dash_pattern(pen.style, width);
  StrokeJob& job = job_;
  job = StrokeJob{};
  job.pen = pen;
  job.closed = closed;
  job.thin = !pattern && !exact_here(pen) && count > 8;
  job.exact = exact_here(pen) && width == 1;
  if (job.thin) job.pts.reserve(count);
  job.stage = StrokeJob::kTakeIn;
  job.width = width_;
  job.height = height_;
  // A raster pen's figure is recorded by the pixels it changed, taken when
  // the next figure comes: it is drawn whole.
  job.sliced = slice_ > 0 && !vector_ && pen.blend != Blend::kInvert && pen.blend != Blend::kXor;
  job.transformed = transformed_;
  job.offset = offset_;
  job.transform = transform_;
  return job;
}

void CairoCanvas::start_stroke_job() {
  job_.left = true;
  run_stroke_job();
  if (job_.left) ++work_serial_;
}

namespace {

// Segments laid down by quick_line between looks at the clock, and points
// taken in (thinned, measured) between looks.
constexpr size_t kQuickSegmentsPerLook = 1024;
constexpr size_t kExactSegmentsPerLook = 256;
constexpr size_t kPointsPerLook = 32768;

}  // namespace

bool CairoCanvas::continue_work() {
  if (fill_job_.left) {  // its outline, if any, comes after it
    run_fill_job();
    return work_left();
  }
  if (!job_.left) return false;
  run_stroke_job();
  return job_.left;
}

// Draws the job's segments from `next` on, until they are done or (sliced)
// the slice is spent; it stops only where the outline's stroke ends anyway,
// so the picture is the same however it was sliced.  Everything the stroke
// needs is set afresh each time: other figures may come between slices.
void CairoCanvas::run_stroke_job() {
  StrokeJob& job = job_;
  finish();
  const double stop = job.sliced ? now_seconds() + slice_ : 0;
  // Taking the points in: dense runs thinned by columns, then by rows, and
  // the outline measured; a piece at a time between looks at the clock.
  for (bool first = true; job.stage != StrokeJob::kStroke; first = false) {
    if (!first && job.sliced && now_seconds() > stop) return;
    if (job.stage == StrokeJob::kTakeIn && !job.curves.empty()) {
      // Curves flattened, some at a time, as bezier flattens a few at once.
      std::vector<DevicePoint>& out = job.thin ? job.raw : job.pts;
      auto add = [&](DevicePoint f) {
        if (job.curve_whole) {
          add_whole_point(f, &out);
        } else {
          out.push_back(f);
        }
      };
      if (job.at == 0) add(job.curves[0]);
      const size_t curves = (job.curves.size() - 1) / 3;
      const size_t end = std::min(curves, job.at + kPointsPerLook / static_cast<size_t>(job.curve_most));
      for (size_t k = job.at; k < end; ++k) flatten_curve(&job.curves[3 * k], job.curve_most, add);
      job.at = end;
      if (job.at < curves) continue;
      if (out.size() < 2) out.push_back(out.back());
      job.curves = std::vector<DevicePoint>();
      job.stage = job.thin ? StrokeJob::kThinColumns : StrokeJob::kMeasure;
      job.at = 0;
    } else if (job.stage == StrokeJob::kTakeIn) {
      // As stroke_points puts them on the surface.
      std::vector<DevicePoint>& out = job.thin ? job.raw : job.pts;
      const size_t count = job.given.size() + job.given_at.size();
      if (out.empty()) out.reserve(count);  // no growing by copies
      const size_t end = std::min(count, job.at + kPointsPerLook);
      for (size_t i = job.at; i < end && !job.given.empty(); ++i) {
        const Point d = pixels::device_point(job.given[i], job.transformed, job.offset, job.transform);
        out.push_back({static_cast<double>(d.x), static_cast<double>(d.y)});
      }
      for (size_t i = job.at; i < end && !job.given_at.empty(); ++i) {
        out.push_back(sub_device(job.given_at[i], job.transformed, job.offset, job.transform));
      }
      job.at = end;
      if (job.at < count) continue;
      job.given = std::vector<Point>();
      job.given_at = std::vector<SubPoint>();
      job.stage = job.thin ? StrokeJob::kThinColumns : StrokeJob::kMeasure;
      job.at = 0;
    } else if (job.stage == StrokeJob::kThinColumns) {
      if (job.mid.empty()) job.mid.reserve(job.raw.size());  // no growing by copies
      thin_runs(job.raw, true, &job.at, kPointsPerLook, &job.mid);
      if (job.at < job.raw.size()) continue;
      job.raw = std::vector<DevicePoint>();
      job.stage = StrokeJob::kThinRows;
      job.at = 0;
    } else if (job.stage == StrokeJob::kThinRows) {
      thin_runs(job.mid, false, &job.at, kPointsPerLook, &job.pts);
      if (job.at < job.mid.size()) continue;
      job.mid = std::vector<DevicePoint>();
      job.stage = StrokeJob::kMeasure;
      job.at = 0;
    } else {
      const std::vector<DevicePoint>& p = job.pts;
      const size_t end = std::min(p.size() > 0 ? p.size() - 1 : 0, job.at + kPointsPerLook);
      if (p.size() > kLongOutline) {
        for (size_t i = job.at; i < end; ++i) job.length += std::hypot(p[i + 1].x - p[i].x, p[i + 1].y - p[i].y);
      }
      job.at = end;
      if (p.size() > kLongOutline && job.at < p.size() - 1) continue;
      job.per_stroke = p.size() > kLongOutline && job.length > kLongSegment * static_cast<double>(p.size() - 1)
                           ? kSegmentsPerCrossingStroke
                           : kSegmentsPerStroke;
      job.quick = job.thin && !vector_ && pen_width(job.pen) == 1 && p.size() > kManySegments;
      job.stage = StrokeJob::kStroke;
    }
  }
  const Pen& pen = job.pen;
  const std::vector<DevicePoint>& pts = job.pts;
  const size_t n = pts.size();
  const bool closed = job.closed;
  // Within the picture as it was when the figure came (a smaller one since).
  const int w = std::min(width_, job.width), h = std::min(height_, job.height);
  if (job.exact) {
    // One-pixel lines by the pixel rules, as stroke_device_points draws them.
    const pixels::DashPattern* pattern = pixels::dash_pattern(pen.style, 1);
    pixels::Painter painter = pen_painter(pen);
    const pixels::Box box{0, 0, w - 1, h - 1};
    auto at = [&](size_t k) { return Point{static_cast<int32_t>(pts[k].x), static_cast<int32_t>(pts[k].y)}; };
    const size_t segments = closed ? n : n - 1;
    size_t i = job.next;
    for (; i < segments; ++i) {
      if (job.sliced && (i - job.next) % kExactSegmentsPerLook == kExactSegmentsPerLook - 1 && now_seconds() > stop) break;
      pixels::line(at(i), at((i + 1) % n), pattern, &job.phase, box, painter);
    }
    if (i == segments && !closed && pen.blend == Blend::kCrisp && pixels::dash_on(pattern, job.phase)) {
      const Point e = at(n - 1);
      if (e.x >= 0 && e.y >= 0 && e.x < w && e.y < h) painter.span(e.y, e.x, e.x);
    }
    end_pixels();
    job.next = i;
    job.left = i < segments;
    if (!job.left) job.pts = std::vector<DevicePoint>();
    return;
  }
  if (job.quick) {
    uint32_t* data = begin_pixels();
    const int stride = cairo_image_surface_get_stride(surface_) / 4;
    const uint32_t colour = (static_cast<uint32_t>(pen.colour.r) << 16) | (pen.colour.g << 8) | pen.colour.b;
    size_t i = job.next;
    for (; i + 1 < n || (closed && i < n); ++i) {
      if (job.sliced && (i - job.next) % kQuickSegmentsPerLook == kQuickSegmentsPerLook - 1 && now_seconds() > stop) break;
      const DevicePoint a = pts[i], b = pts[(i + 1) % n];
      quick_line(data, stride, w, h, colour, a.x, a.y, b.x, b.y, !closed && i + 2 == n);
    }
    end_pixels();
    job.next = i;
    job.left = i + 1 < n || (closed && i < n);
    if (!job.left) job.pts = std::vector<DevicePoint>();
    return;
  }
  const int width = pen_width(pen);
  const double margin = width + 2;
  const double lo_x = -margin, lo_y = -margin, hi_x = w + margin, hi_y = h + margin;
  const pixels::DashPattern* pattern = pixels::dash_pattern(pen.style, width);
  cairo_new_path(cr_);
  cairo_identity_matrix(cr_);
  cairo_set_line_width(cr_, width);
  cairo_set_line_cap(cr_, pattern ? CAIRO_LINE_CAP_BUTT : CAIRO_LINE_CAP_ROUND);
  cairo_set_line_join(cr_, CAIRO_LINE_JOIN_ROUND);
  cairo_set_dash(cr_, nullptr, 0, 0);
  const bool part = w < width_ || h < height_;
  if (part) {
    cairo_save(cr_);
    cairo_rectangle(cr_, 0, 0, w, h);
    cairo_clip(cr_);
  }
  int pieces = 0;  // segments in the current path
  const int per_stroke = job.per_stroke;
  auto stroke_path = [&]() {
    paint_stroke(pen);
    cairo_new_path(cr_);
    pieces = 0;
  };
  const size_t segments = closed ? n : n - 1;
  size_t i = job.next;
  for (; i < segments; ++i) {
    const DevicePoint a = pts[i], b = pts[(i + 1) % n];
    if (pieces >= per_stroke) {
      stroke_path();
      job.joined = false;
      job.clipped = true;  // the outline is no longer one closed path
    }
    if (job.sliced && pieces == 0 && i > job.next && now_seconds() > stop) break;
    if (!pattern) {
      pixels::clipped_segment(
          a.x, a.y, b.x, b.y, lo_x, lo_y, hi_x, hi_y, &job.joined, &job.clipped,
          [&](double x, double y) { cairo_move_to(cr_, x, y); },
          [&](double x, double y) {
            cairo_line_to(cr_, x, y);
            ++pieces;
          });
      continue;
    }
    job.phase = pixels::dash_runs(a.x, a.y, b.x, b.y, !closed && i + 1 == segments, pattern, job.phase, lo_x, lo_y,
                                  hi_x, hi_y,
                                  [&](double x0, double y0, double x1, double y1) {
                                    cairo_move_to(cr_, x0 + 0.5, y0 + 0.5);
                                    cairo_line_to(cr_, x1 + 0.5, y1 + 0.5);
                                    if (++pieces >= per_stroke) stroke_path();
                                  });
  }
  job.next = i;
  job.left = i < segments;
  if (!job.left) {
    if (closed && !pattern && !job.clipped) cairo_close_path(cr_);
    stroke_path();
    job.pts = std::vector<DevicePoint>();
  }
  if (part) cairo_restore(cr_);
}

}  // namespace lumo::server
