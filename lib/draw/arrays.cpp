// Polygons, polylines, Bézier curves and value series: data blocks whose
// values stream through the window's data area in 2048-byte chunks.
#include "include/lumo.h"
#include "lib/draw/coords.h"
#include "lib/link/link.h"

using namespace lumo;
using namespace lumo::wire;

namespace {

constexpr int kValuesPerChunk = kDataSize / 4;  // 512 int32 values
// Byte offsets of a block must stay within int32.
constexpr int32_t kMaxValues = 1 << 28;
constexpr int kMinPolygon = 3;
constexpr int kMinPolyline = 2;
constexpr int kMinBezier = 4;

void apply_fill_rule(int w, int rule) {
  unsigned char* v = window_view(w);
  if (!v) return;
  if (rule == 0) write_i32(v, kFillMode, 1);
  if (rule == 1) write_i32(v, kFillMode, 2);
}

// Converts and sends `count` values (value(j) gives value j) as the chunks
// of an announced block, then commits it.  0 when a chunk was refused.
template <typename Value>
int32_t stream_values(int32_t w, int32_t count, Value value) {
  int32_t offset = 0;
  int buffered = 0;
  for (int32_t j = 0; j < count; ++j) {
    unsigned char* v = window_view(w);
    if (!v) return 0;
    write_i32(v, kDataArea + 4 * buffered, value(j));
    ++buffered;
    if (buffered == kValuesPerChunk || j == count - 1) {
      const int32_t bytes = 4 * buffered;
      if (send_window_command3(w, kCmdRequest, kBlockChunk, offset, bytes) == 0) {
        send_window_command1(w, kCmdRequest, kBlockCancel);
        return 0;
      }
      offset += bytes;
      buffered = 0;
    }
  }
  send_window_command1(w, kCmdRequest, kBlockCommit);
  return w;
}

// The point figures of window w: x values through X, y values through Y of
// m (float world points, or double device points through device_mapping).
template <typename Coord>
int points_through(int32_t w, const Mapping& m, int kind, const Coord* xy, int n) {
  const unsigned char* v = window_view(w);
  if (!v || !xy || n > kMaxValues / 2) return 0;
  // In the smooth pen mode the points travel between pixels when every one
  // of them can.
  bool subpixel = subpixel_mode(v);
  for (int j = 0; subpixel && j < 2 * n; ++j) {
    if (j % 2 == 0) {
      subpixel_x(m, xy[j], &subpixel);
    } else {
      subpixel_y(m, xy[j], &subpixel);
    }
  }
  if (send_window_command2(w, kCmdBlock, kind + (subpixel ? kBlockSubpixel : 0), n) == 0) return 0;
  if (subpixel) {
    return stream_values(w, 2 * n, [&](int32_t j) {
      bool ok = true;
      return (j % 2 == 0) ? subpixel_x(m, xy[j], &ok) : subpixel_y(m, xy[j], &ok);
    });
  }
  return stream_values(w, 2 * n, [&](int32_t j) {
    return (j % 2 == 0) ? map_x(m, xy[j]) : map_y(m, xy[j]);
  });
}

int point_figure(int kind, const float* xy, int n) {
  const unsigned char* v = g_link.current_view;
  if (!v) return 0;
  return points_through(g_link.current_window, mapping_of(v), kind, xy, n);
}

int dev_point_figure(int w, int kind, const int* xy, int n) {
  unsigned char* v = window_view(w);
  if (!v || !xy || n > kMaxValues / 2) return 0;
  write_i32(v, kArg2, n);
  return send_window_block(w, kind, xy, 8 * n);
}

}  // namespace

namespace lumo {

int device_polyline(int w, const double* xy, int n) {
  if (n < kMinPolyline) return 0;
  return points_through(w, device_mapping(), kBlockPolyline, xy, n);
}

}  // namespace lumo

extern "C" {

int LmPolygon(const float* xy, int n, int rule) {
  if (n < kMinPolygon || !g_link.current_view) return 0;
  apply_fill_rule(g_link.current_window, rule);
  return point_figure(kBlockPolygon, xy, n);
}

int LmPolyline(const float* xy, int n) {
  if (n < kMinPolyline) return 0;
  return point_figure(kBlockPolyline, xy, n);
}

int LmBezier(const float* xy, int n) {
  if (n < kMinBezier || (n - 1) % 3 != 0) return 0;
  return point_figure(kBlockBezier, xy, n);
}

int LmDevPolygon(int w, const int* xy, int n, int rule) {
  if (n < kMinPolygon) return 0;
  apply_fill_rule(w, rule);
  return dev_point_figure(w, kBlockPolygon, xy, n);
}

int LmDevPolyline(int w, const int* xy, int n) {
  if (n < kMinPolyline) return 0;
  return dev_point_figure(w, kBlockPolyline, xy, n);
}

int LmDevBezier(int w, const int* xy, int n) {
  if (n < kMinBezier) return 0;
  return dev_point_figure(w, kBlockBezier, xy, n);
}

int LmSeries(int kind, int c, float b1, float b2, float d, float e, float scale, float offset,
             const float* values) {
  unsigned char* v = g_link.current_view;
  if (c == 0 || !v || !values || c > kMaxValues || c < -kMaxValues) return 0;
  const int32_t w = g_link.current_window;
  const Mapping m = mapping_of(v);
  // Along x for c > 0, along y for c < 0.
  const bool along_x = c > 0;
  auto along = [&](double p) { return along_x ? map_x(m, p) : map_y(m, p); };
  auto across = [&](double p) { return along_x ? map_y(m, p) : map_x(m, p); };
  auto length = [&](double p) { return along_x ? map_lx(m, p) : map_ly(m, p); };
  write_i32(v, kResult0, along(b1));
  write_i32(v, kResult1, along(b2));
  if (kind == -1 || kind >= 1) {
    write_i32(v, kResult2, to_int32(d));
    write_i32(v, kResult3, to_int32(e));
  } else {
    write_i32(v, kResult2, length(d));
    write_i32(v, kResult3, across(e));
  }
  if (send_window_command3(w, kCmdBlock, kBlockSeries, c, kind) == 0) return 0;
  const int32_t count = c > 0 ? c : -c;
  return stream_values(w, count, [&](int32_t j) { return along(scale * values[j] + offset); });
}

int LmDevSeries(int w, int kind, int c, int p1, int p2, int p3, int p4, const int* values) {
  unsigned char* v = window_view(w);
  if (c == 0 || !v || !values || c > kMaxValues || c < -kMaxValues) return 0;
  write_i32(v, kResult0, p1);
  write_i32(v, kResult1, p2);
  write_i32(v, kResult2, p3);
  write_i32(v, kResult3, p4);
  write_i32(v, kArg2, c);
  write_i32(v, kArg3, kind);
  return send_window_block(w, kBlockSeries, values, 4 * (c > 0 ? c : -c));
}

}  // extern "C"
