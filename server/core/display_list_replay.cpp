// The display list read back: its records drawn again onto a canvas (the
// window's own picture, a figure file's page, a view at another scale), all
// at once or a budget at a time.
#include "server/core/display_list.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace lumo::server {
namespace {

class Reader {
 public:
  Reader(const unsigned char* data, size_t size) : p_(data), end_(data + size) {}
  bool more() const { return p_ < end_; }
  const unsigned char* at() const { return p_; }
  template <typename T>
  T get() {
    T v;
    std::memcpy(&v, p_, sizeof v);
    p_ += sizeof v;
    return v;
  }
  const unsigned char* take(size_t n) {
    const unsigned char* at = p_;
    p_ += n;
    return at;
  }
  Rgb rgb() {
    Rgb c;
    c.r = get<uint8_t>();
    c.g = get<uint8_t>();
    c.b = get<uint8_t>();
    return c;
  }
  Point point() {
    const int32_t x = get<int32_t>();
    return {x, get<int32_t>()};
  }
  Pen pen() {
    Pen p;
    p.colour = rgb();
    p.style = get<int32_t>();
    p.width = get<int32_t>();
    p.blend = static_cast<Blend>(get<uint8_t>());
    return p;
  }
  Brush brush() {
    Brush b;
    b.colour = rgb();
    b.style = get<int32_t>();
    b.hatch = get<int32_t>();
    return b;
  }
  std::vector<Point> points() {
    const int32_t n = get<int32_t>();
    if (n < 0) {
      // Kept in 16 bits (RecordingCanvas::put_points).
      std::vector<Point> out(static_cast<size_t>(~n));
      const unsigned char* at = take(2 * sizeof(int16_t) * out.size());
      for (Point& q : out) {
        int16_t xy[2];
        std::memcpy(xy, at, sizeof xy);
        at += sizeof xy;
        q = Point{xy[0], xy[1]};
      }
      return out;
    }
    std::vector<Point> out(static_cast<size_t>(n));
    std::memcpy(out.data(), take(sizeof(Point) * out.size()), sizeof(Point) * out.size());
    return out;
  }
  std::string text() {
    const uint32_t n = get<uint32_t>();
    return std::string(reinterpret_cast<const char*>(take(n)), n);
  }

 private:
  const unsigned char* p_;
  const unsigned char* end_;
};

// What a pen means on a surface without pixels to combine with.
Pen plain(Pen pen, bool vector) {
  if (!vector) return pen;
  if (pen.blend == Blend::kBlack) pen.colour = Rgb{0, 0, 0};
  if (pen.blend == Blend::kWhite) pen.colour = Rgb{255, 255, 255};
  pen.blend = Blend::kSmooth;
  return pen;
}

Brush plain(Brush brush, const Pen& pen, bool vector) {
  if (vector && pen.blend == Blend::kBlack) brush.colour = Rgb{0, 0, 0};
  if (vector && pen.blend == Blend::kWhite) brush.colour = Rgb{255, 255, 255};
  return brush;
}

std::vector<SubPoint> sub_points(const std::vector<Point>& p) {
  std::vector<SubPoint> out(p.size());
  for (size_t i = 0; i < p.size(); ++i) out[i] = {p[i].x, p[i].y};
  return out;
}

SubPoint sub_point(Reader& r) {
  const Point p = r.point();
  return {p.x, p.y};
}

// The figure after kOpSubpixel, drawn at its sub-pixel positions.
void replay_subpixel(Reader& r, Canvas& target, const Pen& pen, const Brush& brush, const Font& font) {
  const uint8_t op = r.get<uint8_t>();
  if (op == RecordingCanvas::kOpLine) {
    const SubPoint a = sub_point(r);
    target.line_at(pen, a, sub_point(r));
  } else if (op == RecordingCanvas::kOpPolyline || op == RecordingCanvas::kOpBezier) {
    const std::vector<SubPoint> p = sub_points(r.points());
    if (op == RecordingCanvas::kOpPolyline) {
      target.polyline_at(pen, p.data(), static_cast<int>(p.size()));
    } else {
      target.bezier_at(pen, p.data(), static_cast<int>(p.size()));
    }
  } else if (op == RecordingCanvas::kOpPolygon) {
    const bool winding = r.get<uint8_t>() != 0;
    const std::vector<SubPoint> p = sub_points(r.points());
    target.polygon_at(pen, brush, p.data(), static_cast<int>(p.size()), winding);
  } else if (op == RecordingCanvas::kOpEllipse) {
    const SubPoint a = sub_point(r);
    target.ellipse_at(pen, brush, a, sub_point(r));
  } else if (op == RecordingCanvas::kOpArc) {
    const ArcKind kind = static_cast<ArcKind>(r.get<uint8_t>());
    const SubPoint a = sub_point(r), b = sub_point(r), s = sub_point(r);
    target.arc_at(kind, pen, brush, a, b, s, sub_point(r));
  } else if (op == RecordingCanvas::kOpText) {
    const SubPoint at = sub_point(r);
    target.text_at(font, at, r.text());
  }
}

}  // namespace

void RecordingCanvas::replay(Canvas& target, bool vector) {
  ReplayCursor cursor;
  replay_more(target, cursor, vector);
}

bool RecordingCanvas::replay_more(Canvas& target, ReplayCursor& cursor, bool vector, size_t budget) {
  take_touched_pixels();
  const bool whole = cursor.list != list_number_ || cursor.offset > list_.size();
  if (whole) {
    cursor = ReplayCursor{};
    cursor.list = list_number_;
    cursor.width = target.width();
    cursor.height = target.height();
    target.set_transform(cursor.transform);
  }
  return replay_bytes(list_.data(), list_.size(), target, cursor, vector, budget);
}

RecordingCanvas::Snapshot RecordingCanvas::snapshot() {
  take_touched_pixels();
  Snapshot s;
  s.bytes = list_.share();
  s.size = list_.size();
  s.width = width();
  s.height = height();
  s.complete = list_.complete();
  return s;
}

void RecordingCanvas::replay(const Snapshot& list, Canvas& target, bool vector) {
  ReplayCursor cursor;
  cursor.width = target.width();
  cursor.height = target.height();
  target.set_transform(cursor.transform);
  replay_bytes(list.bytes.get(), list.size, target, cursor, vector, SIZE_MAX);
}

bool RecordingCanvas::replay_bytes(const unsigned char* data, size_t size, Canvas& target, ReplayCursor& cursor,
                                   bool vector, size_t budget) {
  Reader r(data + cursor.offset, size - cursor.offset);
  Transform& transform = cursor.transform;
  Pen &recorded_pen = cursor.recorded_pen, &pen = cursor.pen;
  Brush &recorded_brush = cursor.recorded_brush, &brush = cursor.brush;
  Font& font = cursor.font;
  int &w = cursor.width, &h = cursor.height;
  const unsigned char* const from = data + cursor.offset;
  while (r.more() && static_cast<size_t>(r.at() - from) < budget) {
    const uint8_t op = r.get<uint8_t>();
    if (op == kOpSubpixel) {
      replay_subpixel(r, target, pen, brush, font);
      continue;
    }
    switch (op) {
      case kOpClear: {
        const Rgb bg = r.rgb();
        w = r.get<int32_t>();
        h = r.get<int32_t>();
        if (!vector && (w != target.width() || h != target.height())) target.resize(w, h, bg);
        target.clear(bg);
        break;
      }
      case kOpResize: {
        const int nw = r.get<int32_t>(), nh = r.get<int32_t>();
        const Rgb bg = r.rgb();
        if (!vector) {
          // A surface of pixels takes every size the picture had: figures
          // clipped to a smaller picture come out the same.
          target.resize(nw, nh, bg);
          w = nw, h = nh;
          break;
        }
        // On a page, what the picture gained is the background.
        Pen none;
        none.style = kInvisible;
        Brush fill;
        fill.colour = bg;
        fill.style = kBrushSolid;
        target.set_transform(Transform{});
        if (nw > w) target.rect(none, fill, {w, 0}, {nw, nh});
        if (nh > h) target.rect(none, fill, {0, h}, {std::min(w, nw), nh});
        target.set_transform(transform);
        w = nw, h = nh;
        break;
      }
      case kOpTransform:
        transform = r.get<Transform>();
        target.set_transform(transform);
        break;
      case kOpPen:
        recorded_pen = r.pen();
        pen = plain(recorded_pen, vector);
        brush = plain(recorded_brush, recorded_pen, vector);
        break;
      case kOpBrush:
        recorded_brush = r.brush();
        brush = plain(recorded_brush, recorded_pen, vector);
        break;
      case kOpFont:
        font.face = r.text();
        font.height = r.get<int32_t>();
        font.angle = r.get<int32_t>();
        font.align = r.get<int32_t>();
        font.weight = r.get<int32_t>();
        font.colour = r.rgb();
        break;
      case kOpShortLine: {
        const int16_t c0 = r.get<int16_t>(), c1 = r.get<int16_t>(), c2 = r.get<int16_t>();
        target.line(pen, {c0, c1}, {c2, r.get<int16_t>()});
        break;
      }
      case kOpLine: {
        const Point a = r.point();
        target.line(pen, a, r.point());
        break;
      }
      case kOpPolyline: {
        const std::vector<Point> p = r.points();
        target.polyline(pen, p.data(), static_cast<int>(p.size()));
        break;
      }
      case kOpPolygon: {
        const bool winding = r.get<uint8_t>() != 0;
        const std::vector<Point> p = r.points();
        target.polygon(pen, brush, p.data(), static_cast<int>(p.size()),
                       winding);
        break;
      }
      case kOpBezier: {
        const std::vector<Point> p = r.points();
        target.bezier(pen, p.data(), static_cast<int>(p.size()));
        break;
      }
      case kOpRect:
      case kOpEllipse: {
        const Point a = r.point(), b = r.point();
        if (op == kOpEllipse) {
          target.ellipse(pen, brush, a, b);
        } else {
          target.rect(pen, brush, a, b);
        }
        break;
      }
      case kOpRoundRect: {
        const Point a = r.point(), b = r.point();
        const int cw = r.get<int32_t>();
        target.round_rect(pen, brush, a, b, cw, r.get<int32_t>());
        break;
      }
      case kOpArc: {
        const ArcKind kind = static_cast<ArcKind>(r.get<uint8_t>());
        const Point a = r.point(), b = r.point(), s = r.point();
        target.arc(kind, pen, brush, a, b, s, r.point());
        break;
      }
      case kOpText: {
        const Point at = r.point();
        target.text(font, at, r.text());
        break;
      }
      case kOpImage: {
        const int x = r.get<int32_t>(), y = r.get<int32_t>();
        const int iw = r.get<int32_t>(), ih = r.get<int32_t>();
        std::vector<uint32_t> pixels(static_cast<size_t>(iw) * ih);
        std::memcpy(pixels.data(), r.take(4 * pixels.size()), 4 * pixels.size());
        target.draw_image(x, y, iw, ih, pixels.data());
        break;
      }
      default:
        break;
    }
  }
  cursor.offset = static_cast<size_t>(r.at() - data);
  return cursor.offset == size;
}

}  // namespace lumo::server
