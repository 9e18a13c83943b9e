// A window's point figures: data blocks announced, sent in chunks and
// committed by each program apart, then drawn.
#include "server/core/window.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "common/block_access.h"
#include "common/lumo_wire.h"

namespace lumo::server {

using namespace wire;

int32_t Window::announce_block() {
  int kind = word(kArg1);
  const bool subpixel = (kind & kBlockSubpixel) != 0 && kind != kBlockSeries + kBlockSubpixel;
  if (subpixel) kind -= kBlockSubpixel;
  const int32_t count = word(kArg2);
  const int64_t bytes = announced_block_bytes(kind, count);
  if (bytes <= 0) return 0;
  // The vectors keep their room from one block to the next.
  PendingBlock& b = pending_block();
  b.kind = kind;
  b.subpixel = subpixel;
  b.count = count;
  b.series_kind = word(kArg3);
  for (int i = 0; i < 4; ++i) b.params[i] = word(kResult0 + 4 * i);
  b.size = static_cast<size_t>(bytes);
  b.room.assign((b.size + sizeof(Point) - 1) / sizeof(Point), Point{0, 0});
  b.filled.assign(static_cast<size_t>(bytes / 4), false);
  b.active = true;
  return 1;
}

int32_t Window::receive_chunk() {
  PendingBlock& b = pending_block();
  if (!b.active) return 0;
  const int32_t offset = word(kArg2);
  const int32_t size = word(kArg3);
  const int64_t total = static_cast<int64_t>(b.size);
  if (!chunk_well_formed(offset, size) || offset + static_cast<int64_t>(size) > total) return 0;
  std::memcpy(b.bytes() + offset, block_ + kDataArea, static_cast<size_t>(size));
  for (int32_t i = offset / 4; i < (offset + size) / 4; ++i) b.filled[i] = true;
  return 1;
}

void Window::cancel_block() {
  PendingBlock& b = pending_block();
  b.active = false;
  // A large block's room is given back; a small one's kept for the next.
  constexpr size_t kKeptBytes = 64 * 1024;
  if (b.room.capacity() * sizeof(Point) > kKeptBytes) {
    std::vector<Point>().swap(b.room);
    std::vector<bool>().swap(b.filled);
  }
}

int32_t Window::commit_block() {
  PendingBlock& b = pending_block();
  if (!b.active) return 0;
  const bool whole = std::find(b.filled.begin(), b.filled.end(), false) == b.filled.end();
  if (!whole) {
    cancel_block();
    return 0;  // a block with gaps is not drawn
  }
  const int n = b.count;
  // Points in 1/256 pixel that all fall on whole pixels take the whole-pixel
  // way, made whole where they lie.
  std::vector<SubPoint> at;
  if (b.kind != kBlockSeries && b.subpixel) {
    std::vector<Point>& p = b.room;
    constexpr int32_t kBetween = wire::kSubpixelScale - 1;
    if (std::all_of(p.begin(), p.end(), [](Point q) { return ((q.x | q.y) & kBetween) == 0; })) {
      for (Point& q : p) q = whole_point(SubPoint{q.x, q.y});
    } else {
      at.resize(p.size());
      for (size_t i = 0; i < p.size(); ++i) at[i] = SubPoint{p[i].x, p[i].y};
    }
  }
  if (!at.empty()) {
    switch (b.kind) {
      case kBlockPolygon: canvas_->polygon_at(pen_, brush_, at.data(), n, word(kFillMode) == 2); break;
      case kBlockPolyline: canvas_->take_polyline_at(pen_, &at); break;
      default: canvas_->bezier_at(pen_, at.data(), n); break;
    }
  } else {
    switch (b.kind) {
      case kBlockPolygon: canvas_->take_polygon(pen_, brush_, &b.room, word(kFillMode) == 2); break;
      case kBlockPolyline: canvas_->take_polyline(pen_, &b.room); break;
      case kBlockBezier: canvas_->bezier(pen_, b.room.data(), n); break;
      default: draw_series(b); break;
    }
  }
  cancel_block();
  drawn();
  return 1;
}

// A value series: values are positions along the series' axis (x when the
// count is positive, y when negative).  The across-axis positions step
// evenly from the third parameter to the fourth; points whose value lies
// outside the first two parameters are left out, the rest are joined.
void Window::draw_series(const PendingBlock& b) {
  const int32_t count = b.count;
  const int n = count > 0 ? count : -count;
  const bool along_x = count > 0;
  const int32_t lo = std::min(b.params[0], b.params[1]);
  const int32_t hi = std::max(b.params[0], b.params[1]);
  const double from = b.params[2];
  const double to = b.params[3];
  std::vector<Point> run;
  for (int i = 0; i < n; ++i) {
    const int32_t v = read_i32(b.bytes(), 4 * i);
    const int32_t across =
        static_cast<int32_t>(std::lround(n > 1 ? from + (to - from) * i / (n - 1) : from));
    if (v < lo || v > hi) {
      if (run.size() > 1) canvas_->take_polyline(pen_, &run);
      run.clear();
      continue;
    }
    run.push_back(along_x ? Point{v, across} : Point{across, v});
  }
  if (run.size() == 1) {
    canvas_->set_pixel(run[0], pen_.colour);
  } else if (run.size() > 1) {
    canvas_->take_polyline(pen_, &run);
  }
}

}  // namespace lumo::server
