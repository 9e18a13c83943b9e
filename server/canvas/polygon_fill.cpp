#include "server/canvas/polygon_fill.h"

#include <algorithm>

namespace lumo::server::pixels {
namespace {

// Up to this many crossings in a row are sorted; more are counted per column.
constexpr size_t kSortedCrossings = 64;
// Edges a call takes in before it returns (a row's edges go on in the next).
constexpr size_t kTakenAtOnce = size_t{1} << 16;

int64_t pull_in(int32_t v) { return std::clamp(v, -kReach, kReach); }

int64_t floor_div(int64_t p, int64_t q) {  // q > 0
  return p >= 0 ? p / q : -((-p + q - 1) / q);
}

int64_t ceil_div(int64_t p, int64_t q) { return -floor_div(-p, q); }  // q > 0

}  // namespace

void PolygonFill::Edge::advance() {
  q += step_q;
  rem -= step_r;
  if (rem < 0) {
    rem += dy;
    ++q;
  }
}

// The edge as it crosses row y (y at or below its top).  Coordinates were
// pulled in to 2^29, so every product fits.
PolygonFill::Edge PolygonFill::edge_at(const EdgeStart& s, int64_t y) {
  const int64_t n = s.x0 * s.dy + (y - s.top) * s.dx;  // the crossing times dy
  const int64_t q = ceil_div(n, s.dy);
  const int64_t step_q = floor_div(s.dx, s.dy);
  Edge e;
  e.bottom = static_cast<int32_t>(std::min<int64_t>(s.top + s.dy, kReach + 1));
  e.q = static_cast<int32_t>(q);
  e.rem = static_cast<int32_t>(q * s.dy - n);
  e.dy = static_cast<int32_t>(s.dy);
  e.step_q = static_cast<int32_t>(step_q);
  e.step_r = static_cast<int32_t>(s.dx - step_q * s.dy);
  e.direction = s.direction;
  return e;
}

bool PolygonFill::edge(int i, EdgeStart* e) const {
  const Point p = points_[i], q = points_[(i + 1) % count_];
  const int64_t ay = pull_in(p.y), by = pull_in(q.y);
  if (ay == by) return false;
  const bool down = by > ay;
  e->x0 = pull_in(down ? p.x : q.x);
  e->top = down ? ay : by;
  e->dx = pull_in(down ? q.x : p.x) - e->x0;
  e->dy = down ? by - ay : ay - by;
  e->direction = down ? 1 : -1;
  return true;
}

void PolygonFill::start(const Point* points, int count, bool winding, const Box& clip) {
  *this = PolygonFill{};
  clip_ = clip;
  winding_ = winding;
  y_ = clip.y0;
  points_ = points;
  count_ = count;
  if (count < 3 || clip.x1 < clip.x0 || clip.y1 < clip.y0) return;
  // The edges that cross the clip's rows, counted into buckets by their
  // top row (those above the clip into its first), then placed.
  const int64_t rows = int64_t{clip.y1} - clip.y0 + 1;
  std::vector<uint32_t> starts(static_cast<size_t>(rows) + 1, 0);
  auto bucket = [&](int i, size_t* b) {
    EdgeStart e;
    if (!edge(i, &e) || e.top + e.dy <= clip.y0 || e.top > clip.y1) return false;
    *b = static_cast<size_t>(std::max<int64_t>(e.top - clip.y0, 0));
    return true;
  };
  size_t b = 0;
  for (int i = 0; i < count; ++i) {
    if (bucket(i, &b)) ++starts[b + 1];
  }
  for (size_t r = 1; r < starts.size(); ++r) starts[r] += starts[r - 1];
  order_.resize(starts.back());
  for (int i = 0; i < count; ++i) {
    if (bucket(i, &b)) order_[starts[b]++] = static_cast<uint32_t>(i);
  }
  done_ = order_.empty();
}

bool PolygonFill::rows(Sink& sink, int rows) {
  const int64_t width = int64_t{clip_.x1} - clip_.x0 + 1;
  for (int done_rows = 0; !done_ && y_ <= clip_.y1 && done_rows < rows; ++done_rows) {
    EdgeStart e;
    if (active_.empty()) {
      if (next_ == order_.size()) break;
      edge(static_cast<int>(order_[next_]), &e);
      y_ = std::max(y_, e.top);  // skip rows without edges
      if (y_ > clip_.y1) break;
    }
    size_t taken = 0;
    while (next_ < order_.size() && edge(static_cast<int>(order_[next_]), &e) && e.top <= y_) {
      active_.push_back(edge_at(e, y_));
      ++next_;
      // The rows above the clip's first hand it all their edges at once:
      // many are taken over calls, the row filled once they all are.
      if (++taken == kTakenAtOnce) return false;
    }
    const int64_t y = y_;
    active_.erase(std::remove_if(active_.begin(), active_.end(), [y](const Edge& e) { return e.bottom <= y; }),
                  active_.end());
    if (active_.size() > kSortedCrossings) {
      // Many crossings: counted per column instead of sorted.
      delta_.assign(static_cast<size_t>(width) + 1, 0);
      for (const Edge& e : active_) {
        const int64_t at = std::clamp<int64_t>(int64_t{e.q} - clip_.x0, 0, width);
        delta_[static_cast<size_t>(at)] += winding_ ? e.direction : 1;
      }
      int inside = 0;
      int64_t run = -1;
      for (int64_t x = 0; x <= width; ++x) {
        inside += delta_[static_cast<size_t>(x)];
        const bool in = x < width && (winding_ ? inside != 0 : (inside & 1) != 0);
        if (in && run < 0) run = x;
        if (!in && run >= 0) {
          sink.span(static_cast<int>(y), static_cast<int>(clip_.x0 + run), static_cast<int>(clip_.x0 + x - 1));
          run = -1;
        }
      }
    } else {
      cross_.clear();
      for (const Edge& e : active_) cross_.emplace_back(e.q, e.direction);
      std::sort(cross_.begin(), cross_.end());
      int inside = 0;
      for (size_t i = 0; i + 1 < cross_.size(); ++i) {
        inside = winding_ ? inside + cross_[i].second : inside ^ 1;
        if (inside == 0) continue;
        const int64_t from = std::max<int64_t>(cross_[i].first, clip_.x0);
        const int64_t to = std::min<int64_t>(int64_t{cross_[i + 1].first} - 1, clip_.x1);
        if (from <= to) sink.span(static_cast<int>(y), static_cast<int>(from), static_cast<int>(to));
      }
    }
    for (Edge& e : active_) e.advance();
    ++y_;
  }
  if (!done_ && (y_ > clip_.y1 || (active_.empty() && next_ == order_.size()))) done_ = true;
  return done_;
}

}  // namespace lumo::server::pixels
