// A polygon's anti-aliased coverage worked out a few rows at a time, so a
// polygon of a million points can be filled in slices between other
// programs' requests.  Every pixel, the square around its point, is
// sampled 4 x 4 times (4 x 1 when the edges cross so many rows that 4 rows
// of samples would take too long); the cost is linear in the edges and the
// rows whatever the shape.  pixels::polygon_coverage is the same at once.
#ifndef LUMO_SERVER_CANVAS_COVERAGE_FILL_H
#define LUMO_SERVER_CANVAS_COVERAGE_FILL_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "server/canvas/pixel_rules.h"

namespace lumo::server::pixels {

class CoverageFill {
 public:
  // Takes the edges in: their numbers go into buckets by the row of their
  // top (linear, whole numbers only); an edge is worked out and sorted in
  // only when its row comes.  The points must stay until the fill is done.
  void start(const Point* points, int count, bool winding, const Box& clip);
  // Works out up to `rows` more rows into the sink; true once every row is.
  bool rows(CoverageSink& sink, int rows);
  bool done() const { return y_ > last_row_; }

 private:
  struct Edge {
    double top, bottom, x0, slope;
    int direction;
  };
  static constexpr int kSub = 4;
  bool edge(int i, Edge* e) const;
  const Point* points_ = nullptr;
  int count_ = 0;
  std::vector<uint32_t> order_;      // edges' numbers by the row whose samples may first reach them
  std::vector<size_t> bucket_ends_;  // where each row's edges end in order_
  std::vector<Edge> incoming_, pending_, active_;
  size_t taken_ = 0;                 // of pending_, moved to active_
  std::vector<int> delta_;
  std::vector<uint8_t> cover_;
  Box clip_{0, 0, -1, -1};
  bool winding_ = false;
  int rows_per_pixel_ = kSub;
  int first_row_ = 0, last_row_ = -1, y_ = 0;
};

}  // namespace lumo::server::pixels

#endif
