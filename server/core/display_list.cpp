// The display list: records in a byte buffer, one after the other.  Each
// starts with its operation's byte; the fields follow in the order `put`
// wrote them, and `replay` reads them back in the same order.
#include "server/core/display_list.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace lumo::server {

RecordingCanvas::RecordingCanvas(std::unique_ptr<Canvas> picture, Rgb background, size_t limit)
    : picture_(std::move(picture)), limit_(limit) {
  clear(background);
}

template <typename T>
void RecordingCanvas::put(const T& v) {
  list_.append(&v, sizeof v);
}

void RecordingCanvas::put_points(const Point* p, int count) {
  // Many points that all lie within 16 bits (the usual drawing) are kept in
  // half the bytes, their count complemented: a million points went into
  // 8 MB of fresh list, 22 ms under Wine.
  const bool shorts = count >= kShortPointsFrom && std::all_of(p, p + count, short_ok);
  put<int32_t>(shorts ? ~count : count);
  if (count <= 0) return;
  if (!shorts) {
    list_.append(p, sizeof(Point) * static_cast<size_t>(count));
    return;
  }
  list_.reserve_more(sizeof(int16_t) * 2 * static_cast<size_t>(count));
  int16_t piece[2048];
  for (int from = 0; from < count; from += 1024) {
    const int n = std::min(1024, count - from);
    for (int i = 0; i < n; ++i) {
      piece[2 * i] = static_cast<int16_t>(p[from + i].x);
      piece[2 * i + 1] = static_cast<int16_t>(p[from + i].y);
    }
    list_.append(piece, sizeof(int16_t) * 2 * static_cast<size_t>(n));
  }
}

void RecordingCanvas::put_pen(const Pen& pen) {
  put(pen.colour.r), put(pen.colour.g), put(pen.colour.b);
  put<int32_t>(pen.style);
  put<int32_t>(pen.width);
  put(static_cast<uint8_t>(pen.blend));
}

void RecordingCanvas::put_brush(const Brush& brush) {
  put(brush.colour.r), put(brush.colour.g), put(brush.colour.b);
  put<int32_t>(brush.style);
  put<int32_t>(brush.hatch);
}

void RecordingCanvas::take_touched_pixels() {
  if (!dirty_) return;
  dirty_ = false;
  await_writer();
  // A raster figure drawn in slices (a long xor or inverting fill) is
  // taken whole: the rows it has yet to change would be in no image.
  picture_->finish_work();
  take_image(dirty_x0_, dirty_y0_, dirty_x1_, dirty_y1_);
}

void RecordingCanvas::begin(Op op, const Pen* pen, const Brush* brush) {
  take_touched_pixels();
  // A pen or brush is recorded when it differs from the one in force.
  if (pen && !(has_pen_ && *pen == pen_)) {
    put(kOpPen);
    put_pen(*pen);
    pen_ = *pen;
    has_pen_ = true;
  }
  if (brush && !(has_brush_ && *brush == brush_)) {
    put(kOpBrush);
    put_brush(*brush);
    brush_ = *brush;
    has_brush_ = true;
  }
  put(op);
}

void RecordingCanvas::end() {
  if (list_.size() - base_ <= limit_ && list_.complete()) return;
  if (!overflowed_) {
    overflowed_ = true;
    if (on_overflow) on_overflow();
  }
  restart_with_picture();
}

void RecordingCanvas::take_image(int x0, int y0, int x1, int y1) {
  x0 = std::max(x0, 0);
  y0 = std::max(y0, 0);
  x1 = std::min(x1, width() - 1);
  y1 = std::min(y1, height() - 1);
  if (x0 > x1 || y0 > y1) return;
  const int w = x1 - x0 + 1, h = y1 - y0 + 1;
  put(kOpImage);
  put<int32_t>(x0), put<int32_t>(y0), put<int32_t>(w), put<int32_t>(h);
  std::vector<uint32_t> pixels(static_cast<size_t>(w) * h);
  picture_->read_pixels(x0, y0, w, h, pixels.data());
  list_.append(pixels.data(), 4 * pixels.size());
  ++images_;
}

void RecordingCanvas::start_list(Rgb background) {
  list_.clear();
  ++list_number_;
  dirty_ = false;
  has_pen_ = has_brush_ = has_font_ = false;
  put(kOpClear);
  put(background);
  put<int32_t>(width()), put<int32_t>(height());
}

void RecordingCanvas::restart_with_picture() {
  // The image holds a figure drawn in slices whole: the rest of it would be
  // in neither the image nor the list.
  picture_->finish_work();
  start_list(Rgb{255, 255, 255});  // the clear only gives the size the image covers
  take_image(0, 0, width() - 1, height() - 1);
  if (!transform_.identity()) {
    put(kOpTransform);
    put(transform_);
  }
  base_ = list_.size();
}

void RecordingCanvas::touched(double x0, double y0, double x1, double y1, bool transformed) {
  if (transformed && !transform_.identity()) {
    const double xs[4] = {x0, x1, x0, x1}, ys[4] = {y0, y0, y1, y1};
    x0 = y0 = 1e300;
    x1 = y1 = -1e300;
    for (int i = 0; i < 4; ++i) {
      double x = xs[i], y = ys[i];
      transform_.apply(&x, &y);
      x0 = std::min(x0, x), x1 = std::max(x1, x);
      y0 = std::min(y0, y), y1 = std::max(y1, y);
    }
  }
  const double w = width(), h = height();
  const int bx0 = static_cast<int>(std::clamp(std::floor(x0), 0.0, w));
  const int by0 = static_cast<int>(std::clamp(std::floor(y0), 0.0, h));
  const int bx1 = static_cast<int>(std::clamp(std::ceil(x1), -1.0, w - 1));
  const int by1 = static_cast<int>(std::clamp(std::ceil(y1), -1.0, h - 1));
  if (bx0 > bx1 || by0 > by1) return;
  touched_box(bx0, by0, bx1, by1);
}

void RecordingCanvas::touched_box(int x0, int y0, int x1, int y1) {
  if (!dirty_) {
    dirty_ = true;
    dirty_x0_ = x0, dirty_y0_ = y0, dirty_x1_ = x1, dirty_y1_ = y1;
    return;
  }
  dirty_x0_ = std::min(dirty_x0_, x0), dirty_y0_ = std::min(dirty_y0_, y0);
  dirty_x1_ = std::max(dirty_x1_, x1), dirty_y1_ = std::max(dirty_y1_, y1);
}

void RecordingCanvas::touched_points(const Pen& pen, const Point* p, int count) {
  if (count <= 0) return;
  double x0 = p[0].x, y0 = p[0].y, x1 = x0, y1 = y0;
  for (int i = 1; i < count; ++i) {
    x0 = std::min<double>(x0, p[i].x), x1 = std::max<double>(x1, p[i].x);
    y0 = std::min<double>(y0, p[i].y), y1 = std::max<double>(y1, p[i].y);
  }
  const double reach = std::clamp(pen.width, 1, 1000) + 2.0;
  touched(x0 - reach, y0 - reach, x1 + reach, y1 + reach);
}

void RecordingCanvas::resize(int width, int height, Rgb background) {
  await_writer();
  picture_->resize(width, height, background);
  begin(kOpResize);
  put<int32_t>(picture_->width()), put<int32_t>(picture_->height());
  put(background.r), put(background.g), put(background.b);
  end();
}

void RecordingCanvas::clear(Rgb background) {
  await_writer();
  picture_->clear(background);
  start_list(background);
  base_ = 0;
  if (!transform_.identity()) {
    put(kOpTransform);
    put(transform_);
  }
}

void RecordingCanvas::set_transform(const Transform& t) {
  picture_->set_transform(t);
  transform_ = invertible(t) ? t : Transform{};
  begin(kOpTransform);
  put(transform_);
  end();
}

void RecordingCanvas::line(const Pen& pen, Point a, Point b) {
  const Point p[2] = {a, b};
  polyline(pen, p, 2);
}

// A figure: recorded (its pen and brush where they changed, then its
// fields), or, drawn in a mode that depends on the pixels there, the box
// around `extent` marked as touched.  Then drawn.
template <typename Fields, typename Draw>
void RecordingCanvas::figure(Op op, const Pen& pen, const Brush* brush, const Point* extent, int n,
                             Fields fields, Draw draw) {
  await_writer();
  const bool pixels = raster(pen);
  if (pixels) {
    touched_points(pen, extent, n);
  } else {
    begin(op, &pen, brush);
    fields();
  }
  draw();
  if (!pixels) end();
}

void RecordingCanvas::take_polyline(const Pen& pen, std::vector<Point>* points) {
  const int count = static_cast<int>(points->size());
  if (count == 2) {
    polyline(pen, points->data(), count);
    return;
  }
  // Recorded before the picture takes the points.
  figure(kOpPolyline, pen, nullptr, points->data(), count, [&] { put_points(points->data(), count); },
         [&] { picture_->take_polyline(pen, points); });
}

void RecordingCanvas::polyline(const Pen& pen, const Point* points, int count) {
  if (count != 2) {
    figure(kOpPolyline, pen, nullptr, points, count, [&] { put_points(points, count); },
           [&] { picture_->polyline(pen, points, count); });
    return;
  }
  const Point a = points[0], b = points[1];
  const auto draw = [&] { picture_->line(pen, a, b); };
  if (short_ok(a) && short_ok(b)) {
    // Most lines: four 16-bit coordinates.
    const int16_t c[4] = {static_cast<int16_t>(a.x), static_cast<int16_t>(a.y), static_cast<int16_t>(b.x),
                          static_cast<int16_t>(b.y)};
    figure(kOpShortLine, pen, nullptr, points, 2, [&] { put(c); }, draw);
  } else {
    figure(kOpLine, pen, nullptr, points, 2, [&] { put(a), put(b); }, draw);
  }
}

void RecordingCanvas::polygon(const Pen& pen, const Brush& brush, const Point* points, int count,
                              bool winding) {
  figure(kOpPolygon, pen, &brush, points, count,
         [&] {
           put<uint8_t>(winding ? 1 : 0);
           put_points(points, count);
         },
         [&] { picture_->polygon(pen, brush, points, count, winding); });
}

void RecordingCanvas::take_polygon(const Pen& pen, const Brush& brush, std::vector<Point>* points, bool winding) {
  const int count = static_cast<int>(points->size());
  // Recorded before the picture takes the points.
  figure(kOpPolygon, pen, &brush, points->data(), count,
         [&] {
           put<uint8_t>(winding ? 1 : 0);
           put_points(points->data(), count);
         },
         [&] { picture_->take_polygon(pen, brush, points, winding); });
}

void RecordingCanvas::bezier(const Pen& pen, const Point* points, int count) {
  figure(kOpBezier, pen, nullptr, points, count, [&] { put_points(points, count); },
         [&] { picture_->bezier(pen, points, count); });
}

void RecordingCanvas::rect(const Pen& pen, const Brush& brush, Point a, Point b) {
  const Point box[2] = {a, b};
  figure(kOpRect, pen, &brush, box, 2, [&] { put(a), put(b); }, [&] { picture_->rect(pen, brush, a, b); });
}

void RecordingCanvas::round_rect(const Pen& pen, const Brush& brush, Point a, Point b, int cw,
                                 int ch) {
  const Point box[2] = {a, b};
  figure(kOpRoundRect, pen, &brush, box, 2,
         [&] {
           put(a), put(b);
           put<int32_t>(cw), put<int32_t>(ch);
         },
         [&] { picture_->round_rect(pen, brush, a, b, cw, ch); });
}

void RecordingCanvas::ellipse(const Pen& pen, const Brush& brush, Point a, Point b) {
  const Point box[2] = {a, b};
  figure(kOpEllipse, pen, &brush, box, 2, [&] { put(a), put(b); },
         [&] { picture_->ellipse(pen, brush, a, b); });
}

void RecordingCanvas::arc(ArcKind kind, const Pen& pen, const Brush& brush, Point a, Point b,
                          Point start, Point end_at) {
  const Point box[2] = {a, b};
  figure(kOpArc, pen, &brush, box, 2,
         [&] {
           put(static_cast<uint8_t>(kind));
           put(a), put(b), put(start), put(end_at);
         },
         [&] { picture_->arc(kind, pen, brush, a, b, start, end_at); });
}

template <typename Fields, typename Draw>
void RecordingCanvas::subpixel_figure(Op op, const Pen& pen, const Brush* brush, const SubPoint* extent,
                                      int n, Fields fields, Draw draw) {
  await_writer();
  const bool pixels = raster(pen);
  if (pixels) {
    const std::vector<Point> whole = whole_points(extent, n);
    touched_points(pen, whole.data(), n);
  } else {
    begin(kOpSubpixel, &pen, brush);
    put(op);
    fields();
  }
  draw();
  if (!pixels) end();
}

void RecordingCanvas::line_at(const Pen& pen, SubPoint a, SubPoint b) {
  const SubPoint p[2] = {a, b};
  subpixel_figure(kOpLine, pen, nullptr, p, 2, [&] { put(a), put(b); },
                  [&] { picture_->line_at(pen, a, b); });
}

void RecordingCanvas::polyline_at(const Pen& pen, const SubPoint* points, int count) {
  subpixel_figure(kOpPolyline, pen, nullptr, points, count,
                  [&] { put_points(reinterpret_cast<const Point*>(points), count); },
                  [&] { picture_->polyline_at(pen, points, count); });
}

void RecordingCanvas::take_polyline_at(const Pen& pen, std::vector<SubPoint>* points) {
  const int count = static_cast<int>(points->size());
  subpixel_figure(kOpPolyline, pen, nullptr, points->data(), count,
                  [&] { put_points(reinterpret_cast<const Point*>(points->data()), count); },
                  [&] { picture_->take_polyline_at(pen, points); });
}

void RecordingCanvas::polygon_at(const Pen& pen, const Brush& brush, const SubPoint* points, int count,
                                 bool winding) {
  subpixel_figure(kOpPolygon, pen, &brush, points, count,
                  [&] {
                    put<uint8_t>(winding ? 1 : 0);
                    put_points(reinterpret_cast<const Point*>(points), count);
                  },
                  [&] { picture_->polygon_at(pen, brush, points, count, winding); });
}

void RecordingCanvas::bezier_at(const Pen& pen, const SubPoint* points, int count) {
  subpixel_figure(kOpBezier, pen, nullptr, points, count,
                  [&] { put_points(reinterpret_cast<const Point*>(points), count); },
                  [&] { picture_->bezier_at(pen, points, count); });
}

void RecordingCanvas::ellipse_at(const Pen& pen, const Brush& brush, SubPoint a, SubPoint b) {
  const SubPoint box[2] = {a, b};
  subpixel_figure(kOpEllipse, pen, &brush, box, 2, [&] { put(a), put(b); },
                  [&] { picture_->ellipse_at(pen, brush, a, b); });
}

void RecordingCanvas::arc_at(ArcKind kind, const Pen& pen, const Brush& brush, SubPoint a, SubPoint b,
                             SubPoint start, SubPoint end_at) {
  const SubPoint box[2] = {a, b};
  subpixel_figure(kOpArc, pen, &brush, box, 2,
                  [&] {
                    put(static_cast<uint8_t>(kind));
                    put(a), put(b), put(start), put(end_at);
                  },
                  [&] { picture_->arc_at(kind, pen, brush, a, b, start, end_at); });
}

void RecordingCanvas::text_at(const Font& font, SubPoint at, const std::string& text) {
  await_writer();
  put_font(font);
  begin(kOpSubpixel);
  put(kOpText);
  put(at);
  put<uint32_t>(static_cast<uint32_t>(text.size()));
  list_.append(text.data(), text.size());
  picture_->text_at(font, at, text);
  end();
}

void RecordingCanvas::put_font(const Font& font) {
  if (!has_font_ || !(font == font_)) {
    begin(kOpFont);
    put<uint32_t>(static_cast<uint32_t>(font.face.size()));
    list_.append(font.face.data(), font.face.size());
    put<int32_t>(font.height), put<int32_t>(font.angle), put<int32_t>(font.align);
    put<int32_t>(font.weight);
    put(font.colour.r), put(font.colour.g), put(font.colour.b);
    font_ = font;
    has_font_ = true;
  }
}

void RecordingCanvas::text(const Font& font, Point at, const std::string& text) {
  await_writer();
  put_font(font);
  begin(kOpText);
  put(at);
  put<uint32_t>(static_cast<uint32_t>(text.size()));
  list_.append(text.data(), text.size());
  picture_->text(font, at, text);
  end();
}

void RecordingCanvas::set_pixel(Point p, Rgb colour) {
  await_writer();
  picture_->set_pixel(p, colour);
  // Placed in device pixels, untransformed.
  if (p.x >= 0 && p.y >= 0 && p.x < width() && p.y < height()) touched_box(p.x, p.y, p.x, p.y);
}

bool RecordingCanvas::get_pixel(Point p, Rgb* colour) { return picture_->get_pixel(p, colour); }

bool RecordingCanvas::save_png(const std::string& path) { return picture_->save_png(path); }

bool RecordingCanvas::load_png(const std::string& path) {
  await_writer();
  if (!picture_->load_png(path)) return false;
  restart_with_picture();
  return true;
}

bool RecordingCanvas::put_png_read(BesideTask& read) {
  await_writer();
  if (!picture_->put_png_read(read)) return false;
  restart_with_picture();
  return true;
}

void RecordingCanvas::draw_image(int x, int y, int w, int h, const uint32_t* pixels) {
  await_writer();
  picture_->draw_image(x, y, w, h, pixels);
  touched(x, y, x + w - 1, y + h - 1, false);
}

// The picture's PNG written beside the loop, with the pixels as they are:
// whatever would change them waits until it is written.
class RecordingCanvas::PngWrite : public BesideTask {
 public:
  PngWrite(RecordingCanvas* canvas, std::unique_ptr<BesideTask> task) : canvas_(canvas), task_(std::move(task)) {}
  ~PngWrite() override {
    task_.reset();  // ended
    if (canvas_) canvas_->writer_ = nullptr;
  }
  bool wait(double seconds) override { return task_->wait(seconds); }
  bool succeeded() const override { return task_->succeeded(); }
  int error() const override { return task_->error(); }
  RecordingCanvas* canvas_;

 private:
  std::unique_ptr<BesideTask> task_;
};

std::unique_ptr<BesideTask> RecordingCanvas::start_png_write(const std::string& path) {
  take_touched_pixels();
  await_writer();  // one writer at a time
  std::unique_ptr<BesideTask> task = picture_->start_png_write(path);
  if (!task) return nullptr;
  auto write = std::make_unique<PngWrite>(this, std::move(task));
  if (writer_) writer_->canvas_ = nullptr;
  writer_ = write.get();
  return write;
}

bool RecordingCanvas::writing() const { return writer_ && !writer_->wait(0); }

void RecordingCanvas::await_writer() {
  if (!writer_) return;
  while (!writer_->wait(1.0)) {
  }
}

RecordingCanvas::~RecordingCanvas() {
  await_writer();
  if (writer_) writer_->canvas_ = nullptr;
}

bool RecordingCanvas::continue_work() {
  if (picture_->work_left()) await_writer();
  return picture_->continue_work();
}

}  // namespace lumo::server
