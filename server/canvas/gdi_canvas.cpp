// Drawing with GDI: every primitive of the protocol is one GDI call on a
// memory DC holding a 32-bit DIB section (rows top down).
#include "server/canvas/gdi_canvas.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "server/canvas/beside_thread.h"
#include "server/canvas/large_figures.h"
#include "server/canvas/pixel_rules.h"
#include "server/canvas/png_writer.h"

namespace lumo::server {
namespace {

COLORREF ref(Rgb c) { return RGB(c.r, c.g, c.b); }

int rop_of(Blend blend) {
  switch (blend) {
    case Blend::kInvert: return R2_NOT;
    case Blend::kXor: return R2_XORPEN;
    case Blend::kBlack: return R2_BLACK;
    case Blend::kWhite: return R2_WHITE;
    default: return R2_COPYPEN;
  }
}

// GDI's own styles for dash, dot, dash-dot and dash-dot-dot; the kit's
// other patterns as user styles (in GDI's style unit of three pixels) and
// fine dots as the alternate style.  Wider pens are solid, as GDI's are.
// Every styled pen is cosmetic: one pixel wide and its pattern counted in
// pixels whatever the transformation (CreatePen's dashed pen of width 1 is
// geometric, and a scaling widens it).
HPEN make_pen(const Pen& pen) {
  const int width = std::clamp(pen.width, 1, 1000);
  const COLORREF colour = RGB(pen.colour.r, pen.colour.g, pen.colour.b);
  // Width 0 is GDI's cosmetic pen: one pixel whatever the transformation.
  const int gdi_width = width == 1 ? 0 : width;
  if (pen.style == kInvisible) return CreatePen(PS_NULL, 1, colour);
  if (pen.style == kInsideFrame) return CreatePen(PS_INSIDEFRAME, gdi_width, colour);
  const pixels::DashPattern* pattern = pixels::dash_pattern(pen.style, width);
  if (!pattern) return CreatePen(PS_SOLID, gdi_width, colour);
  LOGBRUSH lb{BS_SOLID, colour, 0};
  switch (pen.style) {
    case kDash: return ExtCreatePen(PS_COSMETIC | PS_DASH, 1, &lb, 0, nullptr);
    case kDot: return ExtCreatePen(PS_COSMETIC | PS_DOT, 1, &lb, 0, nullptr);
    case kDashDot: return ExtCreatePen(PS_COSMETIC | PS_DASHDOT, 1, &lb, 0, nullptr);
    case kDashDotDot: return ExtCreatePen(PS_COSMETIC | PS_DASHDOTDOT, 1, &lb, 0, nullptr);
    default: break;
  }
  if (pen.style == kFineDot) return ExtCreatePen(PS_COSMETIC | PS_ALTERNATE, 1, &lb, 0, nullptr);
  DWORD units[6];
  for (int i = 0; i < pattern->count; ++i) units[i] = static_cast<DWORD>(pattern->runs[i] / 3);
  return ExtCreatePen(PS_COSMETIC | PS_USERSTYLE, 1, &lb, static_cast<DWORD>(pattern->count), units);
}

int hatch_of(int hatch) {
  static const int kHatches[] = {HS_HORIZONTAL, HS_VERTICAL, HS_FDIAGONAL, HS_BDIAGONAL, HS_CROSS,
                                 HS_DIAGCROSS};
  return kHatches[std::clamp(hatch, 0, 5)];
}


// GDI (as Wine draws) takes seconds over an ellipse some million pixels
// across, and beyond that overruns its memory: an ellipse or arc figure
// whose box on the surface is larger than this, or that lies beyond
// kGdiReach, is drawn by the pixel rules instead, only its visible part.
constexpr double kGdiCurveLimit = 1 << 16;

// A picture of fewer bytes than this is written at once (under 50 ms in
// fresh memory under Wine).
constexpr size_t kPaintAtOnceBytes = size_t{16} << 20;

uint32_t colour_word(Rgb c) { return (static_cast<uint32_t>(c.r) << 16) | (c.g << 8) | c.b; }

}  // namespace

class GdiCanvas::Tools {
 public:
  Tools(HDC dc, const Pen& pen, const Brush* brush) : dc_(dc) {
    pen_ = make_pen(pen);
    if (!brush || brush->style == kBrushHollow || brush->style == kBrushHalf) {
      brush_ = nullptr;
    } else if (brush->style == kBrushHatched) {
      brush_ = CreateHatchBrush(hatch_of(brush->hatch), ref(brush->colour));
    } else {
      brush_ = CreateSolidBrush(ref(brush->colour));
    }
    old_pen_ = SelectObject(dc, pen_);
    old_brush_ = SelectObject(dc, brush_ ? static_cast<HGDIOBJ>(brush_) : GetStockObject(NULL_BRUSH));
    old_rop_ = SetROP2(dc, rop_of(pen.blend));
    SetBkMode(dc, TRANSPARENT);
  }
  ~Tools() {
    SetROP2(dc_, old_rop_);
    SelectObject(dc_, old_brush_);
    SelectObject(dc_, old_pen_);
    DeleteObject(pen_);
    if (brush_) DeleteObject(brush_);
  }
  Tools(const Tools&) = delete;
  Tools& operator=(const Tools&) = delete;

 private:
  HDC dc_;
  HPEN pen_;
  HBRUSH brush_;
  HGDIOBJ old_pen_;
  HGDIOBJ old_brush_;
  int old_rop_;
};

GdiCanvas::GdiCanvas(int width, int height, Rgb background)
    : width_(std::max(1, width)), height_(std::max(1, height)) {
  dc_ = CreateCompatibleDC(nullptr);
  SetGraphicsMode(dc_, GM_COMPATIBLE);
  make_surface(width_, height_);
  clear(background);
}

GdiCanvas::~GdiCanvas() {
  if (paint_.old_bitmap) DeleteObject(paint_.old_bitmap);
  SelectObject(dc_, old_bitmap_);
  DeleteObject(bitmap_);
  DeleteDC(dc_);
}

void GdiCanvas::make_surface(int width, int height) {
  BITMAPINFO info;
  std::memset(&info, 0, sizeof info);
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  bits_ = static_cast<uint32_t*>(bits);
  HGDIOBJ previous = SelectObject(dc_, bitmap_);
  if (!old_bitmap_) old_bitmap_ = previous;
}

void GdiCanvas::resize(int width, int height, Rgb background) {
  settle();  // the old picture whole
  width = std::max(1, width);
  height = std::max(1, height);
  const int old_w = width_, old_h = height_;
  HBITMAP previous = bitmap_;
  const uint32_t* previous_bits = bits_;
  make_surface(width, height);
  width_ = width;
  height_ = height;
  start_paint(colour_word(background), previous, previous_bits, old_w, old_h);
}

void GdiCanvas::clear(Rgb background) {
  job_ = Job{};  // what is left of a long figure would be cleared away
  start_paint(colour_word(background), nullptr, nullptr, 0, 0);
}

void GdiCanvas::start_paint(uint32_t background, HBITMAP old, const uint32_t* old_bits, int old_width,
                            int old_height) {
  if (paint_.old_bitmap) DeleteObject(paint_.old_bitmap);  // a resize's, not needed now
  paint_ = Paint{true, background, 0, old, old_bits, old_width, old_height};
  // A large one waits for the slices, or for its first use.
  if (static_cast<size_t>(width_) * height_ * 4 < kPaintAtOnceBytes) {
    settle();
  } else {
    ++work_serial_;
  }
}

void GdiCanvas::paint_rows(int rows) {
  Paint& p = paint_;
  GdiFlush();
  const int end = std::min(height_, p.next + rows);
  const int kept_width = std::min(p.old_width, width_);
  for (int y = p.next; y < end; ++y) {
    uint32_t* row = bits_ + static_cast<size_t>(y) * width_;
    int kept = 0;
    if (p.old_bits && y < p.old_height) {
      kept = kept_width;
      std::memcpy(row, p.old_bits + static_cast<size_t>(y) * p.old_width, sizeof(uint32_t) * kept);
    }
    std::fill(row + kept, row + width_, p.background);
  }
  p.next = end;
  if (p.next < height_) return;
  if (p.old_bitmap) DeleteObject(p.old_bitmap);
  paint_ = Paint{};
}

// Without a transformation the DC stays in the compatible mode, whose
// figures cover x1..x2-1; a transformation needs the advanced mode, where a
// rectangle also covers its right and bottom edge (rect() makes up for it).
// A move by whole pixels is the viewport's origin in the compatible mode:
// every figure is then the untransformed one, moved (the advanced mode
// would start a rectangle's dashes elsewhere).
void GdiCanvas::set_transform(const Transform& t) {
  given_ = t;
  const bool identity = t.identity();
  ModifyWorldTransform(dc_, nullptr, MWT_IDENTITY);
  SetViewportOrgEx(dc_, 0, 0, nullptr);
  advanced_ = false;
  transform_ = Transform{};
  if (identity || !invertible(t) || pixels::whole_pixel_move(t)) {
    SetGraphicsMode(dc_, GM_COMPATIBLE);
    if (!identity && pixels::whole_pixel_move(t)) {
      SetViewportOrgEx(dc_, static_cast<int>(t.dx), static_cast<int>(t.dy), nullptr);
    }
    return;
  }
  XFORM x;
  x.eM11 = static_cast<FLOAT>(t.m11);
  x.eM12 = static_cast<FLOAT>(t.m12);
  x.eM21 = static_cast<FLOAT>(t.m21);
  x.eM22 = static_cast<FLOAT>(t.m22);
  x.eDx = static_cast<FLOAT>(t.dx);
  x.eDy = static_cast<FLOAT>(t.dy);
  SetGraphicsMode(dc_, GM_ADVANCED);
  if (SetWorldTransform(dc_, &x)) {
    advanced_ = true;
    transform_ = t;
  } else {
    SetGraphicsMode(dc_, GM_COMPATIBLE);
  }
}

void GdiCanvas::end_pixel(const Pen& pen, Point p, int64_t steps) {
  if (pen.style == kInvisible || !(pen.blend == Blend::kSmooth || pen.blend == Blend::kCrisp)) return;
  const int width = std::clamp(pen.width, 1, 1000);
  if (width > 1 || !pixels::dash_on(pixels::dash_pattern(pen.style, width), steps)) return;
  SetPixelV(dc_, gdi_coord(p.x), gdi_coord(p.y), ref(pen.colour));
}

void GdiCanvas::half_fill(const Brush& brush, const std::function<void(HDC)>& figure) {
  if (brush.style != kBrushHalf) return;
  HDC scratch = CreateCompatibleDC(dc_);
  BITMAPINFO info;
  std::memset(&info, 0, sizeof info);
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width_;
  info.bmiHeader.biHeight = -height_;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* raw = nullptr;
  HBITMAP bitmap = CreateDIBSection(scratch, &info, DIB_RGB_COLORS, &raw, nullptr, 0);
  if (!bitmap || !raw) {
    DeleteDC(scratch);
    return;
  }
  HGDIOBJ old_bitmap = SelectObject(scratch, bitmap);
  uint32_t* marks = static_cast<uint32_t*>(raw);
  std::fill(marks, marks + static_cast<size_t>(width_) * height_, 0u);
  POINT origin{0, 0};
  GetViewportOrgEx(dc_, &origin);
  SetViewportOrgEx(scratch, origin.x, origin.y, nullptr);
  if (advanced_) {
    XFORM x{static_cast<FLOAT>(transform_.m11), static_cast<FLOAT>(transform_.m12),
            static_cast<FLOAT>(transform_.m21), static_cast<FLOAT>(transform_.m22),
            static_cast<FLOAT>(transform_.dx), static_cast<FLOAT>(transform_.dy)};
    SetGraphicsMode(scratch, GM_ADVANCED);
    SetWorldTransform(scratch, &x);
  }
  SetPolyFillMode(scratch, fill_mode_);
  HGDIOBJ old_pen = SelectObject(scratch, GetStockObject(NULL_PEN));
  HGDIOBJ old_brush = SelectObject(scratch, GetStockObject(WHITE_BRUSH));
  figure(scratch);
  GdiFlush();
  SelectObject(scratch, old_brush);
  SelectObject(scratch, old_pen);
  pixels::Painter painter(bits_, width_, Blend::kCrisp, brush.colour, -1, true);
  for (int y = 0; y < height_; ++y) {
    const uint32_t* row = marks + static_cast<size_t>(y) * width_;
    for (int x = 0; x < width_; ++x) {
      if (row[x]) painter.span(y, x, x);
    }
  }
  SelectObject(scratch, old_bitmap);
  DeleteObject(bitmap);
  DeleteDC(scratch);
}

void GdiCanvas::with_pen(const Pen& pen, const std::function<void(HDC)>& draw, HDC dc) {
  if (!dc) dc = dc_;
  Tools tools(dc, pen, nullptr);
  draw(dc);
}

void GdiCanvas::line(const Pen& pen, Point a, Point b) {
  settle();
  const Point p[2] = {a, b};
  polyline(pen, p, 2);
}

void GdiCanvas::polyline(const Pen& pen, const Point* p, int count) {
  settle();
  if (count < 2 || slice_outline(pen, p, count, false)) return;
  std::vector<POINT> pts(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) pts[static_cast<size_t>(i)] = {gdi_coord(p[i].x), gdi_coord(p[i].y)};
  {
    Tools tools(dc_, pen, nullptr);
    Polyline(dc_, pts.data(), count);
  }
  end_pixel(pen, p[count - 1], pattern_steps(pts.data(), pts.size()));
}

void GdiCanvas::take_polyline(const Pen& pen, std::vector<Point>* points) {
  settle();
  const int count = static_cast<int>(points->size());
  if (count >= 2 && slice_outline(pen, points->data(), count, false, false, points)) return;
  polyline(pen, points->data(), count);
}

void GdiCanvas::take_polygon(const Pen& pen, const Brush& brush, std::vector<Point>* points, bool winding) {
  settle();
  const int count = static_cast<int>(points->size());
  if (count >= 2 && slice_polygon(pen, brush, points->data(), count, winding, points)) return;
  polygon(pen, brush, points->data(), count, winding);
}

void GdiCanvas::polygon(const Pen& pen, const Brush& brush, const Point* p, int count,
                        bool winding) {
  settle();
  if (count < 2 || slice_polygon(pen, brush, p, count, winding)) return;
  if (brush.style == kBrushHollow && slice_outline(pen, p, count, false, true)) return;
  fill_mode_ = winding ? WINDING : ALTERNATE;
  SetPolyFillMode(dc_, fill_mode_);
  half_fill(brush, [&](HDC dc) { Polygon(dc, reinterpret_cast<const POINT*>(p), count); });
  Tools tools(dc_, pen, &brush);
  Polygon(dc_, reinterpret_cast<const POINT*>(p), count);
}

void GdiCanvas::bezier(const Pen& pen, const Point* p, int count) {
  settle();
  if (count < 4) return;
  const int used = count - (count - 1) % 3;
  if (slice_outline(pen, p, used, true)) return;
  {
    Tools tools(dc_, pen, nullptr);
    PolyBezier(dc_, reinterpret_cast<const POINT*>(p), static_cast<DWORD>(used));
  }
  if (pixels::dash_pattern(pen.style, pen.width) == nullptr) end_pixel(pen, p[used - 1], 0);
}

void GdiCanvas::rect(const Pen& pen, const Brush& brush, Point a, Point b) {
  settle();
  // Covering x1..x2-1: without an outline the compatible mode leaves the
  // right and bottom pixel out, with one the advanced mode adds them.
  const int grow = (pen.style == kInvisible && !advanced_ ? 1 : 0) - (pen.style != kInvisible && advanced_ ? 1 : 0);
  const int x1 = gdi_coord(std::min(a.x, b.x)), y1 = gdi_coord(std::min(a.y, b.y));
  const int x2 = gdi_coord(std::max(a.x, b.x)) + grow, y2 = gdi_coord(std::max(a.y, b.y)) + grow;
  if (x2 <= x1 || y2 <= y1) return;
  // The scratch has no outline: in the compatible mode one more pixel.
  const int right = gdi_coord(std::max(a.x, b.x)) + (advanced_ ? 0 : 1);
  const int bottom = gdi_coord(std::max(a.y, b.y)) + (advanced_ ? 0 : 1);
  half_fill(brush, [&](HDC dc) { Rectangle(dc, x1, y1, right, bottom); });
  Tools tools(dc_, pen, &brush);
  Rectangle(dc_, x1, y1, x2, y2);
}

void GdiCanvas::round_rect(const Pen& pen, const Brush& brush, Point a, Point b, int cw, int ch) {
  settle();
  half_fill(brush, [&](HDC dc) {
    RoundRect(dc, gdi_coord(a.x), gdi_coord(a.y), gdi_coord(b.x), gdi_coord(b.y),
              std::clamp(cw, 0, kGdiReach), std::clamp(ch, 0, kGdiReach));
  });
  Tools tools(dc_, pen, &brush);
  RoundRect(dc_, gdi_coord(a.x), gdi_coord(a.y), gdi_coord(b.x), gdi_coord(b.y),
            std::clamp(cw, 0, kGdiReach), std::clamp(ch, 0, kGdiReach));
}

bool GdiCanvas::too_large(Point a, Point b) const {
  double xs[4] = {static_cast<double>(a.x), static_cast<double>(b.x), static_cast<double>(a.x),
                  static_cast<double>(b.x)};
  double ys[4] = {static_cast<double>(a.y), static_cast<double>(a.y), static_cast<double>(b.y),
                  static_cast<double>(b.y)};
  double lo_x = 1e300, lo_y = 1e300, hi_x = -1e300, hi_y = -1e300;
  for (int i = 0; i < 4; ++i) {
    if (std::fabs(xs[i]) > kGdiReach || std::fabs(ys[i]) > kGdiReach) return true;
    if (advanced_) transform_.apply(&xs[i], &ys[i]);
    lo_x = std::min(lo_x, xs[i]);
    hi_x = std::max(hi_x, xs[i]);
    lo_y = std::min(lo_y, ys[i]);
    hi_y = std::max(hi_y, ys[i]);
  }
  return hi_x - lo_x > kGdiCurveLimit || hi_y - lo_y > kGdiCurveLimit || lo_x < -kGdiReach ||
         lo_y < -kGdiReach || hi_x > kGdiReach || hi_y > kGdiReach;
}

void GdiCanvas::draw_large(const pixels::LargeFigure& f, const Pen& pen, const Brush& brush) {
  GdiFlush();
  pixels::draw_large(bits_, width_, height_, f, pen, brush, advanced_ ? &transform_ : nullptr);
}

void GdiCanvas::ellipse(const Pen& pen, const Brush& brush, Point a, Point b) {
  settle();
  if (too_large(a, b)) {
    draw_large({true, ArcKind::kArc, a.x, a.y, b.x, b.y, 0, 0, 0, 0}, pen, brush);
    return;
  }
  half_fill(brush, [&](HDC dc) {
    Ellipse(dc, gdi_coord(a.x), gdi_coord(a.y), gdi_coord(b.x), gdi_coord(b.y));
  });
  Tools tools(dc_, pen, &brush);
  Ellipse(dc_, gdi_coord(a.x), gdi_coord(a.y), gdi_coord(b.x), gdi_coord(b.y));
}

void GdiCanvas::arc(ArcKind kind, const Pen& pen, const Brush& brush, Point a, Point b,
                    Point start, Point end) {
  settle();
  if (too_large(a, b)) {
    draw_large({false, kind, a.x, a.y, b.x, b.y, start.x, start.y, end.x, end.y}, pen, brush);
    return;
  }
  // Without an outline GDI leaves a chord's and a pie's right and bottom
  // pixel out: their box grows by one.
  const int grow = kind != ArcKind::kArc && pen.style == kInvisible ? 1 : 0;
  const int x1 = gdi_coord(std::min(a.x, b.x)), y1 = gdi_coord(std::min(a.y, b.y));
  const int x2 = gdi_coord(std::max(a.x, b.x)) + grow, y2 = gdi_coord(std::max(a.y, b.y)) + grow;
  const int sx = gdi_coord(start.x), sy = gdi_coord(start.y);
  const int ex = gdi_coord(end.x), ey = gdi_coord(end.y);
  SetArcDirection(dc_, AD_COUNTERCLOCKWISE);
  if (kind != ArcKind::kArc) {
    half_fill(brush, [&](HDC dc) {
      SetArcDirection(dc, AD_COUNTERCLOCKWISE);
      if (kind == ArcKind::kChord) {
        Chord(dc, x1, y1, x2 + 1 - grow, y2 + 1 - grow, sx, sy, ex, ey);
      } else {
        Pie(dc, x1, y1, x2 + 1 - grow, y2 + 1 - grow, sx, sy, ex, ey);
      }
    });
  }
  Tools tools(dc_, pen, &brush);
  switch (kind) {
    case ArcKind::kArc: Arc(dc_, x1, y1, x2, y2, sx, sy, ex, ey); break;
    case ArcKind::kChord: Chord(dc_, x1, y1, x2, y2, sx, sy, ex, ey); break;
    case ArcKind::kPie: Pie(dc_, x1, y1, x2, y2, sx, sy, ex, ey); break;
  }
}

HFONT GdiCanvas::make_font(const Font& font) const {
  return CreateFontA(-std::clamp(font.height, 1, 2000), 0, font.angle, font.angle,
                     font.weight >= 700 ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                     DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY,
                     DEFAULT_PITCH | FF_SWISS, font.face.empty() ? "Arial" : font.face.c_str());
}

void GdiCanvas::text(const Font& font, Point at, const std::string& text) {
  settle();
  if (text.empty()) return;
  HFONT f = make_font(font);
  HGDIOBJ old = SelectObject(dc_, f);
  const int h = ((font.align % 3) + 3) % 3;
  const int v = ((font.align / 3) % 3 + 3) % 3;
  SetTextAlign(dc_, (h == 0 ? TA_LEFT : h == 1 ? TA_CENTER : TA_RIGHT) |
                        (v == 0 ? TA_BASELINE : v == 1 ? TA_BASELINE : TA_TOP));
  SetTextColor(dc_, ref(font.colour));
  SetBkMode(dc_, TRANSPARENT);
  int x = at.x, y = at.y;
  if (v == 1) {
    // Middle: the baseline moved by half of ascent less descent along the
    // text's own downward direction (down the screen only when unturned).
    TEXTMETRICA tm;
    GetTextMetricsA(dc_, &tm);
    const double shift = (tm.tmAscent - tm.tmDescent) / 2;
    const double angle = font.angle * 3.14159265358979323846 / 1800.0;
    x += static_cast<int>(std::lround(shift * std::sin(angle)));
    y += static_cast<int>(std::lround(shift * std::cos(angle)));
  }
  TextOutA(dc_, gdi_coord(x), gdi_coord(y), text.c_str(), static_cast<int>(text.size()));
  SelectObject(dc_, old);
  DeleteObject(f);
}

TextSize GdiCanvas::measure(const Font& font, const std::string& text) {
  HFONT f = make_font(font);
  HGDIOBJ old = SelectObject(dc_, f);
  SIZE size{0, 0};
  GetTextExtentPoint32A(dc_, text.c_str(), static_cast<int>(text.size()), &size);
  TEXTMETRICA tm;
  GetTextMetricsA(dc_, &tm);
  SelectObject(dc_, old);
  DeleteObject(f);
  TextSize s;
  s.width = size.cx;
  s.ascent = tm.tmAscent;
  s.descent = tm.tmDescent;
  s.height = tm.tmAscent + tm.tmDescent;
  return s;
}

void GdiCanvas::set_pixel(Point p, Rgb c) {
  settle();
  if (p.x < 0 || p.y < 0 || p.x >= width_ || p.y >= height_) return;
  GdiFlush();
  bits_[static_cast<size_t>(p.y) * width_ + p.x] = colour_word(c);
}

bool GdiCanvas::get_pixel(Point p, Rgb* c) {
  settle();
  if (p.x < 0 || p.y < 0 || p.x >= width_ || p.y >= height_) return false;
  GdiFlush();
  const uint32_t v = bits_[static_cast<size_t>(p.y) * width_ + p.x];
  *c = Rgb{static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
  return true;
}

bool GdiCanvas::save_png(const std::string& path) {
  finish_work();  // a file holds whole figures
  GdiFlush();
  return write_png(path, bits_, width_, height_, width_);
}

std::unique_ptr<BesideTask> GdiCanvas::start_png_write(const std::string& path) {
  finish_work();
  GdiFlush();
  // The pixels written as they are on a thread of their own (the display
  // list keeps them so until the task has ended).
  const uint32_t* bits = bits_;
  const int width = width_, height = height_;
  return std::make_unique<ThreadTask>([path, bits, width, height](const std::atomic<bool>&) {
    return write_png(path, bits, width, height, width);
  });
}

// Reading PNG files needs a decompressor the Windows server does not carry.
bool GdiCanvas::load_png(const std::string&) { return false; }

}  // namespace lumo::server
