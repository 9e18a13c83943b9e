// A polygon filled by the pixel rules a few rows at a time, so a polygon
// of a million points in the crisp and raster modes can be drawn in slices
// between other programs' requests.  Pixel (x, y) is inside when the point
// (x, y) is, with left and top edges in and right and bottom edges out
// (pixels::polygon is the same at once).  The edges go into buckets by
// their top row, so the start is linear; each row costs its crossings.
#ifndef LUMO_SERVER_CANVAS_POLYGON_FILL_H
#define LUMO_SERVER_CANVAS_POLYGON_FILL_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "server/canvas/pixel_rules.h"

namespace lumo::server::pixels {

class PolygonFill {
 public:
  // Takes the edges in: their numbers go into buckets by their top row;
  // an edge is worked out when its row comes.  The points must stay until
  // the fill is done.
  void start(const Point* points, int count, bool winding, const Box& clip);
  // Fills up to `rows` more rows into the sink; true once every row is.
  bool rows(Sink& sink, int rows);

 private:
  // An edge carried from row to row: on the current row it crosses at
  // column q (the first pixel at or right of the crossing), with rem = q dy
  // - (the exact crossing times dy) in [0, dy).  Kept small and by value: a
  // polygon of a million points has a third of a million edges on every
  // row, and they are walked row after row.
  struct Edge {
    int32_t bottom;  // the edge covers rows up to bottom - 1
    int32_t q, rem, dy, step_q, step_r;
    int32_t direction;
    void advance();
  };
  struct EdgeStart {
    int64_t top, x0, dx, dy;
    int32_t direction;
  };
  static Edge edge_at(const EdgeStart& s, int64_t y);
  // Edge i (from point i to the next); false when it is level.
  bool edge(int i, EdgeStart* e) const;

  const Point* points_ = nullptr;
  int count_ = 0;
  std::vector<uint32_t> order_;  // the edges' numbers by their top row (from the clip's first)
  size_t next_ = 0;
  std::vector<Edge> active_;
  std::vector<std::pair<int32_t, int32_t>> cross_;
  std::vector<int32_t> delta_;
  Box clip_{0, 0, -1, -1};
  bool winding_ = false;
  int64_t y_ = 0;
  bool done_ = true;
};

}  // namespace lumo::server::pixels

#endif
