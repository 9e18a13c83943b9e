// The cairo canvas: the surface, text, single pixels, and the two ways a
// figure reaches the surface (anti-aliased through cairo, or exactly through
// the pixel rules).  The figures themselves are in cairo_figures.cpp, its
// PNG files in cairo_png.cpp.
#include "server/canvas/cairo_canvas.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "server/canvas/ansi_text.h"
#include "server/canvas/picture_memory.h"

namespace lumo::server {
namespace {

void set_colour(cairo_t* cr, Rgb c, double alpha = 1.0) {
  cairo_set_source_rgba(cr, c.r / 255.0, c.g / 255.0, c.b / 255.0, alpha);
}

// A hatch as an 8 x 8 tile of rectangles, for vector surfaces: readers
// smooth an image tile.
cairo_pattern_t* vector_hatch_pattern(const Brush& brush) {
  cairo_rectangle_t extent{0, 0, 8, 8};
  cairo_surface_t* tile = cairo_recording_surface_create(CAIRO_CONTENT_COLOR_ALPHA, &extent);
  cairo_t* cr = cairo_create(tile);
  set_colour(cr, brush.colour);
  pixels::hatch_runs(brush.hatch, [&](int x, int y, int n) { cairo_rectangle(cr, x, y, n, 1); });
  cairo_fill(cr);
  cairo_destroy(cr);
  cairo_pattern_t* p = cairo_pattern_create_for_surface(tile);
  cairo_pattern_set_extend(p, CAIRO_EXTEND_REPEAT);
  cairo_surface_destroy(tile);
  return p;
}

// A hatch as an 8 x 8 tile, repeated from the surface's origin.
cairo_pattern_t* hatch_pattern(const Brush& brush) {
  cairo_surface_t* tile = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 8, 8);
  cairo_surface_flush(tile);
  unsigned char* data = cairo_image_surface_get_data(tile);
  const int stride = cairo_image_surface_get_stride(tile);
  const uint32_t ink = 0xFF000000u | (static_cast<uint32_t>(brush.colour.r) << 16) |
                       (brush.colour.g << 8) | brush.colour.b;
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) {
      const uint32_t v = pixels::hatch_bit(brush.hatch, x, y) ? ink : 0;
      std::memcpy(data + y * stride + 4 * x, &v, 4);
    }
  }
  cairo_surface_mark_dirty(tile);
  cairo_pattern_t* p = cairo_pattern_create_for_surface(tile);
  cairo_pattern_set_extend(p, CAIRO_EXTEND_REPEAT);
  cairo_pattern_set_filter(p, CAIRO_FILTER_NEAREST);
  cairo_surface_destroy(tile);
  return p;
}

}  // namespace

CairoCanvas::CairoCanvas(int width, int height, Rgb background)
    : width_(width < 1 ? 1 : width), height_(height < 1 ? 1 : height) {
  surface_ = picture_memory::create_rgb24(width_, height_);
  cr_ = cairo_create(surface_);
  cairo_matrix_init_identity(&matrix_);
  clear(background);
}

CairoCanvas::CairoCanvas(cairo_surface_t* vector_surface, int width, int height, VectorSink* sink)
    : width_(width < 1 ? 1 : width), height_(height < 1 ? 1 : height), vector_(true), sink_(sink) {
  surface_ = cairo_surface_reference(vector_surface);
  cr_ = cairo_create(surface_);
  cairo_matrix_init_identity(&matrix_);
}

std::unique_ptr<BesideTask> CairoCanvasFactory::prepare(int width, int height) {
  return picture_memory::prepare(width < 1 ? 1 : width, height < 1 ? 1 : height);
}

void CairoCanvasFactory::offer(const BesideTask* prepared) { picture_memory::offer(prepared); }

CairoCanvas::~CairoCanvas() {
  if (mask_) cairo_surface_destroy(mask_);
  cairo_destroy(cr_);
  cairo_surface_destroy(surface_);
}

void CairoCanvas::resize(int width, int height, Rgb background) {
  finish();
  width = width < 1 ? 1 : width;
  height = height < 1 ? 1 : height;
  cairo_surface_t* next = picture_memory::create_rgb24(width, height);
  if (cairo_surface_status(next) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(next);  // no memory for it: the picture stays
    return;
  }
  cairo_t* cr = cairo_create(next);
  set_colour(cr, background);
  cairo_paint(cr);
  cairo_set_source_surface(cr, surface_, 0, 0);
  cairo_paint(cr);
  cairo_destroy(cr_);
  cairo_surface_destroy(surface_);
  if (mask_) cairo_surface_destroy(mask_);
  mask_ = nullptr;
  surface_ = next;
  cr_ = cr;
  font_chosen_ = false;
  width_ = width;
  height_ = height;
}

void CairoCanvas::clear(Rgb background) {
  finish();
  job_ = StrokeJob{};  // what is left of a long figure would be cleared away
  fill_job_ = FillJob{};
  if (sink_) {
    sink_->clear(background);
    return;
  }
  cairo_save(cr_);
  cairo_identity_matrix(cr_);
  cairo_set_operator(cr_, vector_ ? CAIRO_OPERATOR_OVER : CAIRO_OPERATOR_SOURCE);
  set_colour(cr_, background);
  cairo_paint(cr_);
  cairo_restore(cr_);
}

// A whole-pixel translation only moves the points: figures keep the pixel
// rules, exactly as they are drawn untranslated.  Any other transformation
// goes to cairo with the path.
void CairoCanvas::set_transform(const Transform& t) {
  const bool moves_only = pixels::whole_pixel_move(t);
  transform_ = invertible(t) ? t : Transform{};
  transformed_ = invertible(t) && !moves_only;
  offset_ = moves_only ? Point{static_cast<int32_t>(t.dx), static_cast<int32_t>(t.dy)} : Point{0, 0};
  const Transform& m = transformed_ ? transform_ : Transform{};
  cairo_matrix_init(&matrix_, m.m11, m.m12, m.m21, m.m22, m.dx, m.dy);
}

Point CairoCanvas::to_device(Point p) const {
  return pixels::device_point(p, transformed_, offset_, transform_);
}

CairoCanvas::DevicePoint CairoCanvas::to_device_exact(Point p) const {
  const Transform& t = transform_;
  return {t.m11 * p.x + t.m21 * p.y + t.dx, t.m12 * p.x + t.m22 * p.y + t.dy};
}

void CairoCanvas::begin() {
  cairo_new_path(cr_);
  cairo_set_matrix(cr_, &matrix_);
}

uint32_t* CairoCanvas::begin_pixels() {
  finish();
  cairo_surface_flush(surface_);
  return reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(surface_));
}

void CairoCanvas::end_pixels() { cairo_surface_mark_dirty(surface_); }

uint32_t* CairoCanvas::open_pixels() {
  if (!pixels_open_) {
    cairo_surface_flush(surface_);
    pixels_open_ = true;
    open_data_ = reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(surface_));
    open_stride_ = cairo_image_surface_get_stride(surface_) / 4;
  }
  return open_data_;
}

void CairoCanvas::finish() {
  draw_queued_lines();
  if (pixels_open_) {
    cairo_surface_mark_dirty(surface_);
    pixels_open_ = false;
  }
}

pixels::Painter CairoCanvas::pen_painter(const Pen& pen) {
  return pixels::Painter(begin_pixels(), cairo_image_surface_get_stride(surface_) / 4, pen.blend,
                         pen.colour);
}

pixels::Painter CairoCanvas::brush_painter(const Pen& pen, const Brush& brush) {
  return pixels::Painter(begin_pixels(), cairo_image_surface_get_stride(surface_) / 4, pen.blend,
                         brush.colour, brush.style == kBrushHatched ? brush.hatch : -1,
                         brush.style == kBrushHalf);
}

void CairoCanvas::set_source(const Pen& pen, const Brush& brush) {
  cairo_set_operator(cr_, CAIRO_OPERATOR_OVER);
  cairo_set_antialias(cr_, CAIRO_ANTIALIAS_DEFAULT);
  (void)pen;
  if (brush.style == kBrushHatched) {
    cairo_pattern_t* hatch = vector_ ? vector_hatch_pattern(brush) : hatch_pattern(brush);
    cairo_matrix_t device;
    cairo_get_matrix(cr_, &device);
    cairo_pattern_set_matrix(hatch, &device);  // anchored on the surface
    cairo_set_source(cr_, hatch);
    cairo_pattern_destroy(hatch);
  } else {
    set_colour(cr_, brush.colour, brush.style == kBrushHalf ? 0.5 : 1.0);
  }
}

void CairoCanvas::fill_and_stroke(const Pen& pen, const Brush& brush) {
  if (brush.style != kBrushHollow) {
    if (pen.blend != Blend::kSmooth) {
      pixels::Painter painter = brush_painter(pen, brush);
      paint_through_mask(true, pen, painter);
      end_pixels();
    } else {
      set_source(pen, brush);
      fill_path(brush, true);
    }
  }
  stroke(pen);
}

void CairoCanvas::stroke(const Pen& pen) {
  const int width = std::clamp(pen.width, 1, 1000);
  // A one-pixel pen is one pixel wide whatever the transformation (GDI's
  // cosmetic pen); a wider one scales with it.
  if (width == 1) cairo_identity_matrix(cr_);
  cairo_set_line_width(cr_, width);
  cairo_set_line_cap(cr_, CAIRO_LINE_CAP_ROUND);
  cairo_set_line_join(cr_, CAIRO_LINE_JOIN_ROUND);
  if (const pixels::DashPattern* d = pixels::dash_pattern(pen.style, width)) {
    double runs[6];
    for (int i = 0; i < d->count; ++i) runs[i] = d->runs[i];
    cairo_set_dash(cr_, runs, d->count, 0);
    cairo_set_line_cap(cr_, CAIRO_LINE_CAP_BUTT);
  } else {
    cairo_set_dash(cr_, nullptr, 0, 0);
  }
  if (pen.style != kInvisible) paint_stroke(pen);
  cairo_new_path(cr_);
}

void CairoCanvas::paint_stroke(const Pen& pen) {
  if (pen.blend != Blend::kSmooth) {
    pixels::Painter painter = pen_painter(pen);
    paint_through_mask(false, pen, painter);
    end_pixels();
  } else {
    cairo_set_operator(cr_, CAIRO_OPERATOR_OVER);
    cairo_set_antialias(cr_, CAIRO_ANTIALIAS_DEFAULT);
    set_colour(cr_, pen.colour);
    if (sink_) {
      sink_->stroke(cr_, pen.colour);
      cairo_new_path(cr_);
    } else {
      cairo_stroke(cr_);
    }
  }
}

void CairoCanvas::fill_path(const Brush& brush, bool keep) {
  if (sink_) {
    sink_->fill(cr_, brush);
    if (!keep) cairo_new_path(cr_);
  } else if (keep) {
    cairo_fill_preserve(cr_);
  } else {
    cairo_fill(cr_);
  }
}

// Fills or strokes the current path without anti-aliasing into a mask of
// the surface's size, hands the covered pixels to `painter` and clears the
// mask again.  The path stays.
void CairoCanvas::paint_through_mask(bool fill, const Pen& pen, pixels::Sink& painter) {
  (void)pen;
  if (!mask_) mask_ = cairo_image_surface_create(CAIRO_FORMAT_A8, width_, height_);
  cairo_t* m = cairo_create(mask_);
  cairo_matrix_t ctm;
  cairo_get_matrix(cr_, &ctm);
  cairo_path_t* path = cairo_copy_path(cr_);
  cairo_set_matrix(m, &ctm);
  cairo_append_path(m, path);
  cairo_path_destroy(path);
  cairo_set_antialias(m, CAIRO_ANTIALIAS_NONE);
  cairo_set_operator(m, CAIRO_OPERATOR_SOURCE);
  cairo_set_source_rgba(m, 0, 0, 0, 1);
  double x1, y1, x2, y2;
  if (fill) {
    cairo_set_fill_rule(m, cairo_get_fill_rule(cr_));
    cairo_fill_extents(m, &x1, &y1, &x2, &y2);
  } else {
    cairo_set_line_width(m, cairo_get_line_width(cr_));
    cairo_set_line_cap(m, cairo_get_line_cap(cr_));
    cairo_set_line_join(m, cairo_get_line_join(cr_));
    const int dashes = cairo_get_dash_count(cr_);
    if (dashes > 0) {
      double runs[8], offset = 0;
      cairo_get_dash(cr_, runs, &offset);
      cairo_set_dash(m, runs, dashes, offset);
    }
    cairo_stroke_extents(m, &x1, &y1, &x2, &y2);
  }
  // The extents in device space: the box around the four corners.
  double xs[4] = {x1, x2, x1, x2}, ys[4] = {y1, y1, y2, y2};
  double lo_x = 1e300, lo_y = 1e300, hi_x = -1e300, hi_y = -1e300;
  for (int i = 0; i < 4; ++i) {
    cairo_user_to_device(m, &xs[i], &ys[i]);
    lo_x = std::min(lo_x, xs[i]);
    hi_x = std::max(hi_x, xs[i]);
    lo_y = std::min(lo_y, ys[i]);
    hi_y = std::max(hi_y, ys[i]);
  }
  if (fill) {
    cairo_fill(m);
  } else {
    cairo_stroke(m);
  }
  cairo_destroy(m);
  cairo_surface_flush(mask_);
  const int bx0 = std::max(0, static_cast<int>(std::floor(lo_x)) - 1);
  const int by0 = std::max(0, static_cast<int>(std::floor(lo_y)) - 1);
  const int bx1 = std::min(width_ - 1, static_cast<int>(std::ceil(hi_x)) + 1);
  const int by1 = std::min(height_ - 1, static_cast<int>(std::ceil(hi_y)) + 1);
  unsigned char* data = cairo_image_surface_get_data(mask_);
  const int stride = cairo_image_surface_get_stride(mask_);
  for (int y = by0; y <= by1; ++y) {
    unsigned char* row = data + static_cast<size_t>(y) * stride;
    int x = bx0;
    while (x <= bx1) {
      if (!row[x]) {
        ++x;
        continue;
      }
      const int start = x;
      while (x <= bx1 && row[x]) row[x++] = 0;
      painter.span(y, start, x - 1);
    }
  }
  cairo_surface_mark_dirty(mask_);
}

// The face and size stay in the context from one text to the next; they
// are chosen again only when they change (no code saves and restores the
// context around a text, and a new context starts with none chosen).
void CairoCanvas::use_font(const Font& font) {
  const bool bold = font.weight >= 700;
  const int size = std::clamp(font.height, 1, 2000);
  if (font_chosen_ && font.face == font_face_ && bold == font_bold_ && size == font_size_) return;
  cairo_select_font_face(cr_, font.face.empty() ? "sans-serif" : to_utf8(font.face).c_str(),
                         CAIRO_FONT_SLANT_NORMAL,
                         bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr_, size);
  font_chosen_ = true;
  font_face_ = font.face;
  font_bold_ = bold;
  font_size_ = size;
}

// FreeType makes no glyph of 65536 pixels or more, and cairo keeps such a
// failure in the face it shares between all canvases: from then on no new
// size of that face draws anything, in any window.  Text whose glyphs the
// transformation would stretch that far (no window shows them) is therefore
// not drawn, and measured untransformed.
bool CairoCanvas::glyphs_possible(const Font& font) const {
  if (!transformed_) return true;
  constexpr double kMostPixels = 32768;
  const double size = std::clamp(font.height, 1, 2000);
  const double a = matrix_.xx * size, b = matrix_.yx * size, c = matrix_.xy * size, d = matrix_.yy * size;
  // The larger singular value of the glyphs' matrix.
  const double sum = a * a + b * b + c * c + d * d;
  const double diff = a * a + b * b - c * c - d * d;
  const double cross = a * c + b * d;
  const double largest = std::sqrt((sum + std::sqrt(diff * diff + 4 * cross * cross)) / 2);
  return std::isfinite(largest) && largest < kMostPixels;
}

void CairoCanvas::text(const Font& font, Point at, const std::string& text) {
  if (!transformed_) at = to_device(at);
  draw_text(font, at.x, at.y, text);
}

void CairoCanvas::draw_text(const Font& font, double x, double y, const std::string& text, bool between) {
  finish();
  if (text.empty() || !glyphs_possible(font)) return;
  begin();
  use_font(font);
  const std::string utf8 = to_utf8(text);
  const int h = ((font.align % 3) + 3) % 3;
  const int v = ((font.align / 3) % 3 + 3) % 3;
  // Left and baseline text (the usual kind) needs no measuring.
  cairo_text_extents_t te{};
  cairo_font_extents_t fe{};
  if (h != 0) cairo_text_extents(cr_, utf8.c_str(), &te);
  if (v != 0) cairo_font_extents(cr_, &fe);
  const double dx = h == 0 ? 0 : h == 1 ? -te.x_advance / 2 : -te.x_advance;
  const double dy = v == 0 ? 0 : v == 1 ? (fe.ascent - fe.descent) / 2 : fe.ascent;
  constexpr double kLimit = 1 << 20;
  cairo_translate(cr_, std::clamp(x, -kLimit, kLimit), std::clamp(y, -kLimit, kLimit));
  cairo_rotate(cr_, -font.angle * 3.14159265358979323846 / 1800.0);
  cairo_move_to(cr_, dx, dy);
  cairo_set_operator(cr_, CAIRO_OPERATOR_OVER);
  cairo_set_antialias(cr_, CAIRO_ANTIALIAS_DEFAULT);
  set_colour(cr_, font.colour);
  if (sink_) {
    cairo_matrix_t m;
    cairo_get_matrix(cr_, &m);
    sink_->text(m, dx, dy, font, utf8);
  } else if (between && !vector_) {
    // Glyphs land on whole pixels on an image surface: text between pixels
    // is filled as the outlines of its glyphs, where it lies.
    cairo_text_path(cr_, utf8.c_str());
    cairo_fill(cr_);
  } else {
    cairo_show_text(cr_, utf8.c_str());
  }
  cairo_new_path(cr_);
}

TextSize CairoCanvas::measure(const Font& font, const std::string& text) {
  begin();
  if (!glyphs_possible(font)) cairo_identity_matrix(cr_);
  use_font(font);
  cairo_text_extents_t te;
  cairo_font_extents_t fe;
  cairo_text_extents(cr_, to_utf8(text).c_str(), &te);
  cairo_font_extents(cr_, &fe);
  TextSize s;
  s.width = static_cast<int>(std::lround(te.x_advance));
  s.ascent = static_cast<int>(std::lround(fe.ascent));
  s.descent = static_cast<int>(std::lround(fe.descent));
  s.height = s.ascent + s.descent;
  return s;
}

void CairoCanvas::set_pixel(Point p, Rgb c) {
  if (p.x < 0 || p.y < 0 || p.x >= width_ || p.y >= height_) return;
  if (vector_) {
    const uint32_t v = (static_cast<uint32_t>(c.r) << 16) | (c.g << 8) | c.b;
    draw_image(p.x, p.y, 1, 1, &v);
    return;
  }
  // Left open: a run of single pixels is flushed and marked once.
  draw_queued_lines();
  uint32_t* data = open_pixels();
  data[static_cast<size_t>(p.y) * open_stride_ + p.x] = (static_cast<uint32_t>(c.r) << 16) | (c.g << 8) | c.b;
}

bool CairoCanvas::get_pixel(Point p, Rgb* c) {
  finish();
  if (vector_ || p.x < 0 || p.y < 0 || p.x >= width_ || p.y >= height_) return false;
  cairo_surface_flush(surface_);
  const unsigned char* row = cairo_image_surface_get_data(surface_) +
                             static_cast<size_t>(p.y) * cairo_image_surface_get_stride(surface_);
  uint32_t v;
  std::memcpy(&v, row + 4 * p.x, 4);
  *c = Rgb{static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
  return true;
}

bool CairoCanvas::read_pixels(int x, int y, int w, int h, uint32_t* out) {
  finish();
  if (vector_ || x < 0 || y < 0 || w < 0 || h < 0 || x + w > width_ || y + h > height_) return false;
  cairo_surface_flush(surface_);
  const unsigned char* data = cairo_image_surface_get_data(surface_);
  const int stride = cairo_image_surface_get_stride(surface_);
  for (int j = 0; j < h; ++j) {
    const uint32_t* row = reinterpret_cast<const uint32_t*>(data + static_cast<size_t>(y + j) * stride) + x;
    for (int i = 0; i < w; ++i) out[static_cast<size_t>(j) * w + i] = row[i] & 0xFFFFFFu;
  }
  return true;
}

void CairoCanvas::draw_image(int x, int y, int w, int h, const uint32_t* pixels) {
  finish();
  if (w <= 0 || h <= 0) return;
  if (sink_) {
    sink_->image(x, y, w, h, pixels);
    return;
  }
  cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
  cairo_surface_flush(image);
  unsigned char* data = cairo_image_surface_get_data(image);
  const int stride = cairo_image_surface_get_stride(image);
  for (int j = 0; j < h; ++j) std::memcpy(data + static_cast<size_t>(j) * stride, pixels + static_cast<size_t>(j) * w, 4 * static_cast<size_t>(w));
  cairo_surface_mark_dirty(image);
  cairo_save(cr_);
  cairo_identity_matrix(cr_);
  // The image is opaque: drawn over, which vector surfaces write as it is
  // (copying would make them fall back to pixels).
  cairo_set_operator(cr_, CAIRO_OPERATOR_OVER);
  cairo_set_source_surface(cr_, image, x, y);
  cairo_pattern_set_filter(cairo_get_source(cr_), CAIRO_FILTER_NEAREST);
  // Painted, not filled: some readers blur an image that fills a path.
  cairo_paint(cr_);
  cairo_restore(cr_);
  cairo_surface_destroy(image);
}

}  // namespace lumo::server
