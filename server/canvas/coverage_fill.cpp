#include "server/canvas/coverage_fill.h"

#include <algorithm>
#include <cmath>

namespace lumo::server::pixels {

bool CoverageFill::edge(int i, Edge* e) const {
  const Point p = points_[i], q = points_[(i + 1) % count_];
  if (p.y == q.y) return false;
  const bool down = q.y > p.y;
  const Point a = down ? p : q, b = down ? q : p;
  const double slope = (static_cast<double>(b.x) - a.x) / (static_cast<double>(b.y) - a.y);
  *e = Edge{static_cast<double>(a.y), static_cast<double>(b.y), static_cast<double>(a.x) - a.y * slope, slope,
            down ? 1 : -1};
  return true;
}

void CoverageFill::start(const Point* points, int count, bool winding, const Box& clip) {
  *this = CoverageFill{};
  clip_ = clip;
  winding_ = winding;
  if (count < 3 || clip.x1 < clip.x0 || clip.y1 < clip.y0) return;
  // The rows reached, and how many rows the edges cross in the clip.
  constexpr double kWorkBudget = 5e7;
  int64_t lowest = INT64_MAX, highest = INT64_MIN;
  double work = 0;
  for (int i = 0; i < count; ++i) {
    const int64_t y0 = points[i].y, y1 = points[(i + 1) % count].y;
    if (y0 == y1) continue;
    const int64_t top = std::min(y0, y1), bottom = std::max(y0, y1);
    lowest = std::min(lowest, top);
    highest = std::max(highest, bottom);
    work += static_cast<double>(std::min<int64_t>(bottom, int64_t{clip.y1} + 1) -
                                std::max<int64_t>(top, int64_t{clip.y0} - 1));
  }
  if (lowest > highest) return;
  const int first = static_cast<int>(std::max<int64_t>(clip.y0, lowest - 1));
  const int last = static_cast<int>(std::min<int64_t>(clip.y1, highest + 1));
  if (first > last) return;  // no row of the clip
  points_ = points;
  count_ = count;
  rows_per_pixel_ = work * kSub > kWorkBudget ? 1 : kSub;
  first_row_ = first;
  last_row_ = last;
  // Row y samples above y - 0.5 and below y + 0.5, so an edge whose top is
  // the whole number t is first reached by row t: it goes to that row's
  // bucket (the first row's for all that start above it; the last row's
  // for those below, which no sample reaches).
  const int64_t rows = int64_t{last} - first + 1;
  auto bucket = [&](int i) {
    const int64_t top = std::min(points[i].y, points[(i + 1) % count].y);
    return static_cast<size_t>(std::clamp<int64_t>(top - first, 0, rows - 1));
  };
  bucket_ends_.assign(static_cast<size_t>(rows), 0);
  for (int i = 0; i < count; ++i) {
    if (points[i].y != points[(i + 1) % count].y) ++bucket_ends_[bucket(i)];
  }
  size_t end = 0;
  for (size_t& n : bucket_ends_) n = end += n;
  order_.resize(end);
  std::vector<size_t> at(static_cast<size_t>(rows));
  for (size_t r = 0; r < at.size(); ++r) at[r] = r ? bucket_ends_[r - 1] : 0;
  for (int i = 0; i < count; ++i) {
    if (points[i].y != points[(i + 1) % count].y) order_[at[bucket(i)]++] = static_cast<uint32_t>(i);
  }
  const int width = clip.x1 - clip.x0 + 1;
  delta_.assign(static_cast<size_t>(width) * kSub + 1, 0);
  cover_.assign(static_cast<size_t>(width), 0);
  y_ = first_row_;
}

bool CoverageFill::rows(CoverageSink& sink, int rows) {
  const int width = clip_.x1 - clip_.x0 + 1;
  const int samples = width * kSub;
  for (int n = 0; n < rows && y_ <= last_row_; ++n, ++y_) {
    // This row's edges join those still waiting for their top, in order.
    const size_t r = static_cast<size_t>(y_ - first_row_);
    incoming_.clear();
    Edge e;
    for (size_t k = r ? bucket_ends_[r - 1] : 0; k < bucket_ends_[r]; ++k) {
      if (edge(static_cast<int>(order_[k]), &e)) incoming_.push_back(e);
    }
    std::sort(incoming_.begin(), incoming_.end(), [](const Edge& l, const Edge& m) { return l.top < m.top; });
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(taken_));
    taken_ = 0;
    pending_.insert(pending_.end(), incoming_.begin(), incoming_.end());
    std::fill(cover_.begin(), cover_.end(), 0);
    bool any = false;
    for (int j = 0; j < rows_per_pixel_; ++j) {
      const double sy = y_ - 0.5 + (j + 0.5) / rows_per_pixel_;
      while (taken_ < pending_.size() && pending_[taken_].top <= sy) active_.push_back(pending_[taken_++]);
      active_.erase(std::remove_if(active_.begin(), active_.end(), [sy](const Edge& e) { return e.bottom <= sy; }),
                    active_.end());
      if (active_.empty()) continue;
      std::fill(delta_.begin(), delta_.end(), 0);
      for (const Edge& e : active_) {
        const double x = e.x0 + sy * e.slope;
        // The first sample at or right of the crossing.
        const double k = std::ceil((x - clip_.x0 + 0.5) * kSub - 0.5);
        const int at = static_cast<int>(std::clamp(k, 0.0, static_cast<double>(samples)));
        delta_[static_cast<size_t>(at)] += winding_ ? e.direction : 1;
      }
      int inside = 0;
      for (int k = 0; k < samples; ++k) {
        inside += delta_[static_cast<size_t>(k)];
        if (winding_ ? inside != 0 : (inside & 1) != 0) {
          cover_[static_cast<size_t>(k / kSub)] += static_cast<uint8_t>(kSub / rows_per_pixel_);
          any = true;
        }
      }
    }
    if (any) sink.coverage(y_, clip_.x0, cover_.data(), width, kSub * kSub);
  }
  if (done()) *this = CoverageFill{};  // its memory back at once
  return done();
}

}  // namespace lumo::server::pixels
