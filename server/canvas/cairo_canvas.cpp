// Drawing with cairo.  Integer device coordinates name pixels; paths run
// through pixel centres so that one-pixel lines and outlines are crisp.
#include "server/canvas/cairo_canvas.h"

#include "server/canvas/ansi_text.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace lumo::server {
namespace {

constexpr double kLimit = 1 << 20;  // coordinates beyond this are clamped

double coord(int32_t v) { return std::clamp(static_cast<double>(v), -kLimit, kLimit) + 0.5; }

void set_colour(cairo_t* cr, Rgb c, double alpha = 1.0) {
  cairo_set_source_rgba(cr, c.r / 255.0, c.g / 255.0, c.b / 255.0, alpha);
}

// How a pen or brush combines with the picture.
void apply_blend(cairo_t* cr, Blend blend, Rgb colour) {
  cairo_set_antialias(cr, blend == Blend::kSmooth ? CAIRO_ANTIALIAS_DEFAULT : CAIRO_ANTIALIAS_NONE);
  switch (blend) {
    case Blend::kInvert:
      cairo_set_operator(cr, CAIRO_OPERATOR_DIFFERENCE);
      set_colour(cr, Rgb{255, 255, 255});
      break;
    case Blend::kXor:
      cairo_set_operator(cr, CAIRO_OPERATOR_DIFFERENCE);
      set_colour(cr, colour);
      break;
    case Blend::kBlack:
      cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
      set_colour(cr, Rgb{0, 0, 0});
      break;
    case Blend::kWhite:
      cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
      set_colour(cr, Rgb{255, 255, 255});
      break;
    default:
      cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
      set_colour(cr, colour);
      break;
  }
}

void set_dashes(cairo_t* cr, int style, double width) {
  const double u = width < 1 ? 1 : width;
  const double dash[] = {6 * u, 3 * u};
  const double dot[] = {1 * u, 2 * u};
  const double dash_dot[] = {6 * u, 2 * u, 1 * u, 2 * u};
  const double dash_dot_dot[] = {6 * u, 2 * u, 1 * u, 2 * u, 1 * u, 2 * u};
  const double long_dash[] = {12 * u, 4 * u};
  const double fine_dot[] = {1 * u, 1 * u};
  const double dash_dash_dot[] = {6 * u, 2 * u, 6 * u, 2 * u, 1 * u, 2 * u};
  switch (style) {
    case kDash: cairo_set_dash(cr, dash, 2, 0); break;
    case kDot: cairo_set_dash(cr, dot, 2, 0); break;
    case kDashDot: cairo_set_dash(cr, dash_dot, 4, 0); break;
    case kDashDotDot: cairo_set_dash(cr, dash_dot_dot, 6, 0); break;
    case kLongDash: cairo_set_dash(cr, long_dash, 2, 0); break;
    case kFineDot: cairo_set_dash(cr, fine_dot, 2, 0); break;
    case kDashDashDot: cairo_set_dash(cr, dash_dash_dot, 6, 0); break;
    default: cairo_set_dash(cr, nullptr, 0, 0); break;
  }
}

cairo_pattern_t* hatch_pattern(const Brush& brush) {
  cairo_surface_t* tile = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 8, 8);
  cairo_t* cr = cairo_create(tile);
  set_colour(cr, brush.colour);
  cairo_set_line_width(cr, 1);
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
  const int h = brush.hatch;
  if (h == 0 || h == 4) {
    cairo_move_to(cr, 0, 3.5);
    cairo_line_to(cr, 8, 3.5);
  }
  if (h == 1 || h == 4) {
    cairo_move_to(cr, 3.5, 0);
    cairo_line_to(cr, 3.5, 8);
  }
  if (h == 2 || h == 5) {
    cairo_move_to(cr, 0, 8);
    cairo_line_to(cr, 8, 0);
  }
  if (h == 3 || h == 5) {
    cairo_move_to(cr, 0, 0);
    cairo_line_to(cr, 8, 8);
  }
  cairo_stroke(cr);
  cairo_destroy(cr);
  cairo_pattern_t* p = cairo_pattern_create_for_surface(tile);
  cairo_pattern_set_extend(p, CAIRO_EXTEND_REPEAT);
  cairo_surface_destroy(tile);
  return p;
}

}  // namespace

CairoCanvas::CairoCanvas(int width, int height, Rgb background)
    : width_(width < 1 ? 1 : width), height_(height < 1 ? 1 : height) {
  surface_ = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width_, height_);
  cr_ = cairo_create(surface_);
  cairo_matrix_init_identity(&matrix_);
  clear(background);
}

CairoCanvas::~CairoCanvas() {
  cairo_destroy(cr_);
  cairo_surface_destroy(surface_);
}

void CairoCanvas::resize(int width, int height, Rgb background) {
  width = width < 1 ? 1 : width;
  height = height < 1 ? 1 : height;
  cairo_surface_t* next = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
  cairo_t* cr = cairo_create(next);
  set_colour(cr, background);
  cairo_paint(cr);
  cairo_set_source_surface(cr, surface_, 0, 0);
  cairo_paint(cr);
  cairo_destroy(cr_);
  cairo_surface_destroy(surface_);
  surface_ = next;
  cr_ = cr;
  width_ = width;
  height_ = height;
}

void CairoCanvas::clear(Rgb background) {
  cairo_save(cr_);
  cairo_identity_matrix(cr_);
  cairo_set_operator(cr_, CAIRO_OPERATOR_SOURCE);
  set_colour(cr_, background);
  cairo_paint(cr_);
  cairo_restore(cr_);
}

void CairoCanvas::set_transform(const Transform& t) {
  // A transformation that cannot be inverted would stop all drawing: ignored.
  if (!invertible(t)) {
    cairo_matrix_init_identity(&matrix_);
    return;
  }
  cairo_matrix_init(&matrix_, t.m11, t.m12, t.m21, t.m22, t.dx, t.dy);
}

void CairoCanvas::begin() {
  cairo_new_path(cr_);
  cairo_set_matrix(cr_, &matrix_);
}

void CairoCanvas::stroke(const Pen& pen) {
  if (pen.style == kInvisible) {
    cairo_new_path(cr_);
    return;
  }
  const double width = std::clamp(pen.width, 1, 1000);
  apply_blend(cr_, pen.blend, pen.colour);
  cairo_set_line_width(cr_, width);
  cairo_set_line_cap(cr_, CAIRO_LINE_CAP_ROUND);
  cairo_set_line_join(cr_, CAIRO_LINE_JOIN_ROUND);
  set_dashes(cr_, pen.style, width);
  if (pen.style != kSolid && pen.style != kInsideFrame) cairo_set_line_cap(cr_, CAIRO_LINE_CAP_BUTT);
  cairo_stroke(cr_);
}

void CairoCanvas::fill_and_stroke(const Pen& pen, const Brush& brush) {
  if (brush.style != kBrushHollow) {
    apply_blend(cr_, pen.blend, brush.colour);
    cairo_pattern_t* hatch = nullptr;
    if (brush.style == kBrushHatched && pen.blend != Blend::kInvert) {
      hatch = hatch_pattern(brush);
      cairo_set_source(cr_, hatch);
    } else if (brush.style == kBrushHalf) {
      set_colour(cr_, brush.colour, 0.5);
    }
    cairo_fill_preserve(cr_);
    if (hatch) cairo_pattern_destroy(hatch);
  }
  stroke(pen);
}

void CairoCanvas::line(const Pen& pen, Point a, Point b) {
  begin();
  cairo_move_to(cr_, coord(a.x), coord(a.y));
  cairo_line_to(cr_, coord(b.x), coord(b.y));
  stroke(pen);
}

void CairoCanvas::polyline(const Pen& pen, const Point* p, int count) {
  if (count < 2) return;
  begin();
  cairo_move_to(cr_, coord(p[0].x), coord(p[0].y));
  for (int i = 1; i < count; ++i) cairo_line_to(cr_, coord(p[i].x), coord(p[i].y));
  stroke(pen);
}

void CairoCanvas::polygon(const Pen& pen, const Brush& brush, const Point* p, int count,
                          bool winding) {
  if (count < 2) return;
  begin();
  cairo_set_fill_rule(cr_, winding ? CAIRO_FILL_RULE_WINDING : CAIRO_FILL_RULE_EVEN_ODD);
  cairo_move_to(cr_, coord(p[0].x), coord(p[0].y));
  for (int i = 1; i < count; ++i) cairo_line_to(cr_, coord(p[i].x), coord(p[i].y));
  cairo_close_path(cr_);
  fill_and_stroke(pen, brush);
}

void CairoCanvas::bezier(const Pen& pen, const Point* p, int count) {
  if (count < 4) return;
  begin();
  cairo_move_to(cr_, coord(p[0].x), coord(p[0].y));
  for (int i = 1; i + 2 < count; i += 3) {
    cairo_curve_to(cr_, coord(p[i].x), coord(p[i].y), coord(p[i + 1].x), coord(p[i + 1].y),
                   coord(p[i + 2].x), coord(p[i + 2].y));
  }
  stroke(pen);
}

void CairoCanvas::rect(const Pen& pen, const Brush& brush, Point a, Point b) {
  begin();
  const double x1 = coord(std::min(a.x, b.x)), x2 = coord(std::max(a.x, b.x)) - 1;
  const double y1 = coord(std::min(a.y, b.y)), y2 = coord(std::max(a.y, b.y)) - 1;
  cairo_rectangle(cr_, x1, y1, std::max(0.0, x2 - x1), std::max(0.0, y2 - y1));
  if (pen.style == kInvisible && brush.style != kBrushHollow) {
    // Without an outline the inside covers the whole rectangle.
    cairo_new_path(cr_);
    cairo_rectangle(cr_, x1 - 0.5, y1 - 0.5, std::max(0.0, x2 - x1 + 1), std::max(0.0, y2 - y1 + 1));
  }
  fill_and_stroke(pen, brush);
}

void CairoCanvas::round_rect(const Pen& pen, const Brush& brush, Point a, Point b, int cw,
                             int ch) {
  begin();
  const double x1 = coord(std::min(a.x, b.x)), x2 = coord(std::max(a.x, b.x)) - 1;
  const double y1 = coord(std::min(a.y, b.y)), y2 = coord(std::max(a.y, b.y)) - 1;
  const double rx = std::clamp(std::fabs(static_cast<double>(cw)) / 2.0, 0.0, (x2 - x1) / 2);
  const double ry = std::clamp(std::fabs(static_cast<double>(ch)) / 2.0, 0.0, (y2 - y1) / 2);
  if (rx <= 0 || ry <= 0) {
    rect(pen, brush, a, b);
    return;
  }
  auto corner = [&](double cx, double cy, double from) {
    cairo_save(cr_);
    cairo_translate(cr_, cx, cy);
    cairo_scale(cr_, rx, ry);
    cairo_arc(cr_, 0, 0, 1, from, from + M_PI / 2);
    cairo_restore(cr_);
  };
  corner(x2 - rx, y1 + ry, -M_PI / 2);
  corner(x2 - rx, y2 - ry, 0);
  corner(x1 + rx, y2 - ry, M_PI / 2);
  corner(x1 + rx, y1 + ry, M_PI);
  cairo_close_path(cr_);
  fill_and_stroke(pen, brush);
}

void CairoCanvas::ellipse(const Pen& pen, const Brush& brush, Point a, Point b) {
  begin();
  const double cx = (coord(a.x) + coord(b.x) - 1) / 2, cy = (coord(a.y) + coord(b.y) - 1) / 2;
  const double rx = std::max(0.5, std::fabs(coord(b.x) - coord(a.x) - 1) / 2);
  const double ry = std::max(0.5, std::fabs(coord(b.y) - coord(a.y) - 1) / 2);
  cairo_save(cr_);
  cairo_translate(cr_, cx, cy);
  cairo_scale(cr_, rx, ry);
  cairo_arc(cr_, 0, 0, 1, 0, 2 * M_PI);
  cairo_restore(cr_);
  cairo_close_path(cr_);
  fill_and_stroke(pen, brush);
}

void CairoCanvas::arc(ArcKind kind, const Pen& pen, const Brush& brush, Point a, Point b,
                      Point start, Point end) {
  begin();
  const double cx = (coord(a.x) + coord(b.x) - 1) / 2, cy = (coord(a.y) + coord(b.y) - 1) / 2;
  const double rx = std::max(0.5, std::fabs(coord(b.x) - coord(a.x) - 1) / 2);
  const double ry = std::max(0.5, std::fabs(coord(b.y) - coord(a.y) - 1) / 2);
  const double from = std::atan2((coord(start.y) - cy) / ry, (coord(start.x) - cx) / rx);
  double to = std::atan2((coord(end.y) - cy) / ry, (coord(end.x) - cx) / rx);
  // Counter-clockwise on screen is the decreasing angle with y down.
  if (to >= from - 1e-9) to -= 2 * M_PI;
  if (kind == ArcKind::kPie) cairo_move_to(cr_, cx, cy);
  cairo_save(cr_);
  cairo_translate(cr_, cx, cy);
  cairo_scale(cr_, rx, ry);
  cairo_arc_negative(cr_, 0, 0, 1, from, to);
  cairo_restore(cr_);
  if (kind == ArcKind::kArc) {
    stroke(pen);
    return;
  }
  cairo_close_path(cr_);
  fill_and_stroke(pen, brush);
}

void CairoCanvas::use_font(const Font& font) {
  cairo_select_font_face(cr_, font.face.empty() ? "sans-serif" : to_utf8(font.face).c_str(),
                         CAIRO_FONT_SLANT_NORMAL,
                         font.weight >= 700 ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr_, std::clamp(font.height, 1, 2000));
}

void CairoCanvas::text(const Font& font, Point at, const std::string& text) {
  if (text.empty()) return;
  begin();
  use_font(font);
  const std::string utf8 = to_utf8(text);
  cairo_text_extents_t te;
  cairo_font_extents_t fe;
  cairo_text_extents(cr_, utf8.c_str(), &te);
  cairo_font_extents(cr_, &fe);
  const int h = ((font.align % 3) + 3) % 3;
  const int v = ((font.align / 3) % 3 + 3) % 3;
  const double dx = h == 0 ? 0 : h == 1 ? -te.x_advance / 2 : -te.x_advance;
  const double dy = v == 0 ? 0 : v == 1 ? (fe.ascent - fe.descent) / 2 : fe.ascent;
  cairo_translate(cr_, coord(at.x) - 0.5, coord(at.y) - 0.5);
  cairo_rotate(cr_, -font.angle * M_PI / 1800.0);
  cairo_move_to(cr_, dx, dy);
  cairo_set_operator(cr_, CAIRO_OPERATOR_OVER);
  cairo_set_antialias(cr_, CAIRO_ANTIALIAS_DEFAULT);
  set_colour(cr_, font.colour);
  cairo_show_text(cr_, utf8.c_str());
  cairo_new_path(cr_);
}

TextSize CairoCanvas::measure(const Font& font, const std::string& text) {
  begin();
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
  cairo_surface_flush(surface_);
  unsigned char* row = cairo_image_surface_get_data(surface_) +
                       static_cast<size_t>(p.y) * cairo_image_surface_get_stride(surface_);
  const uint32_t v = (static_cast<uint32_t>(c.r) << 16) | (c.g << 8) | c.b;
  std::memcpy(row + 4 * p.x, &v, 4);
  cairo_surface_mark_dirty_rectangle(surface_, p.x, p.y, 1, 1);
}

bool CairoCanvas::get_pixel(Point p, Rgb* c) {
  if (p.x < 0 || p.y < 0 || p.x >= width_ || p.y >= height_) return false;
  cairo_surface_flush(surface_);
  const unsigned char* row = cairo_image_surface_get_data(surface_) +
                             static_cast<size_t>(p.y) * cairo_image_surface_get_stride(surface_);
  uint32_t v;
  std::memcpy(&v, row + 4 * p.x, 4);
  *c = Rgb{static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
  return true;
}

bool CairoCanvas::save_png(const std::string& path) {
  cairo_surface_flush(surface_);
  return cairo_surface_write_to_png(surface_, path.c_str()) == CAIRO_STATUS_SUCCESS;
}

bool CairoCanvas::load_png(const std::string& path) {
  cairo_surface_t* image = cairo_image_surface_create_from_png(path.c_str());
  const bool ok = cairo_surface_status(image) == CAIRO_STATUS_SUCCESS;
  if (ok) {
    cairo_save(cr_);
    cairo_identity_matrix(cr_);
    cairo_set_operator(cr_, CAIRO_OPERATOR_OVER);
    cairo_set_source_surface(cr_, image, 0, 0);
    cairo_paint(cr_);
    cairo_restore(cr_);
  }
  cairo_surface_destroy(image);
  return ok;
}

}  // namespace lumo::server
