// Drawing with GDI: every primitive of the protocol is one GDI call on a
// memory DC holding a 32-bit DIB section (rows top down).
#include "server/canvas/gdi_canvas.h"

#include <algorithm>
#include <cstring>
#include <vector>

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

int pen_style_of(int style) {
  switch (style) {
    case kDash:
    case kLongDash: return PS_DASH;
    case kDot:
    case kFineDot: return PS_DOT;
    case kDashDot:
    case kDashDashDot: return PS_DASHDOT;
    case kDashDotDot: return PS_DASHDOTDOT;
    case kInvisible: return PS_NULL;
    case kInsideFrame: return PS_INSIDEFRAME;
    default: return PS_SOLID;
  }
}

int hatch_of(int hatch) {
  static const int kHatches[] = {HS_HORIZONTAL, HS_VERTICAL, HS_FDIAGONAL, HS_BDIAGONAL, HS_CROSS,
                                 HS_DIAGCROSS};
  return kHatches[std::clamp(hatch, 0, 5)];
}

constexpr int kLimit = 1 << 20;
int clamp_coord(int v) { return std::clamp(v, -kLimit, kLimit); }

}  // namespace

class GdiCanvas::Tools {
 public:
  Tools(HDC dc, const Pen& pen, const Brush* brush) : dc_(dc) {
    pen_ = CreatePen(pen_style_of(pen.style), std::clamp(pen.width, 1, 1000), ref(pen.colour));
    if (!brush || brush->style == kBrushHollow) {
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
  SetGraphicsMode(dc_, GM_ADVANCED);
  make_surface(width_, height_);
  clear(background);
}

GdiCanvas::~GdiCanvas() {
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
  width = std::max(1, width);
  height = std::max(1, height);
  std::vector<uint32_t> old(bits_, bits_ + static_cast<size_t>(width_) * height_);
  const int old_w = width_, old_h = height_;
  HBITMAP previous = bitmap_;
  make_surface(width, height);
  DeleteObject(previous);
  width_ = width;
  height_ = height;
  clear(background);
  for (int y = 0; y < std::min(old_h, height); ++y) {
    std::memcpy(bits_ + static_cast<size_t>(y) * width, old.data() + static_cast<size_t>(y) * old_w,
                sizeof(uint32_t) * std::min(old_w, width));
  }
}

void GdiCanvas::clear(Rgb background) {
  const uint32_t v = (static_cast<uint32_t>(background.r) << 16) | (background.g << 8) | background.b;
  GdiFlush();
  std::fill(bits_, bits_ + static_cast<size_t>(width_) * height_, v);
}

void GdiCanvas::set_transform(const Transform& t) {
  XFORM x;
  x.eM11 = static_cast<FLOAT>(t.m11);
  x.eM12 = static_cast<FLOAT>(t.m12);
  x.eM21 = static_cast<FLOAT>(t.m21);
  x.eM22 = static_cast<FLOAT>(t.m22);
  x.eDx = static_cast<FLOAT>(t.dx);
  x.eDy = static_cast<FLOAT>(t.dy);
  if (!invertible(t) || !SetWorldTransform(dc_, &x)) ModifyWorldTransform(dc_, nullptr, MWT_IDENTITY);
}

void GdiCanvas::line(const Pen& pen, Point a, Point b) {
  Tools tools(dc_, pen, nullptr);
  MoveToEx(dc_, clamp_coord(a.x), clamp_coord(a.y), nullptr);
  LineTo(dc_, clamp_coord(b.x), clamp_coord(b.y));
  // GDI leaves the last pixel out; lines here include both ends.
  if (pen.style != kInvisible && (pen.blend == Blend::kSmooth || pen.blend == Blend::kCrisp)) {
    SetPixelV(dc_, clamp_coord(b.x), clamp_coord(b.y), ref(pen.colour));
  }
}

void GdiCanvas::polyline(const Pen& pen, const Point* p, int count) {
  if (count < 2) return;
  Tools tools(dc_, pen, nullptr);
  Polyline(dc_, reinterpret_cast<const POINT*>(p), count);
}

void GdiCanvas::polygon(const Pen& pen, const Brush& brush, const Point* p, int count,
                        bool winding) {
  if (count < 2) return;
  Tools tools(dc_, pen, &brush);
  SetPolyFillMode(dc_, winding ? WINDING : ALTERNATE);
  Polygon(dc_, reinterpret_cast<const POINT*>(p), count);
}

void GdiCanvas::bezier(const Pen& pen, const Point* p, int count) {
  if (count < 4) return;
  Tools tools(dc_, pen, nullptr);
  PolyBezier(dc_, reinterpret_cast<const POINT*>(p), static_cast<DWORD>(count - (count - 1) % 3));
}

void GdiCanvas::rect(const Pen& pen, const Brush& brush, Point a, Point b) {
  Tools tools(dc_, pen, &brush);
  // Without an outline GDI leaves the right and bottom pixel out: add it back.
  const int grow = pen.style == kInvisible ? 1 : 0;
  Rectangle(dc_, clamp_coord(std::min(a.x, b.x)), clamp_coord(std::min(a.y, b.y)),
            clamp_coord(std::max(a.x, b.x)) + grow, clamp_coord(std::max(a.y, b.y)) + grow);
}

void GdiCanvas::round_rect(const Pen& pen, const Brush& brush, Point a, Point b, int cw, int ch) {
  Tools tools(dc_, pen, &brush);
  RoundRect(dc_, clamp_coord(a.x), clamp_coord(a.y), clamp_coord(b.x), clamp_coord(b.y),
            std::clamp(cw, 0, kLimit), std::clamp(ch, 0, kLimit));
}

void GdiCanvas::ellipse(const Pen& pen, const Brush& brush, Point a, Point b) {
  Tools tools(dc_, pen, &brush);
  Ellipse(dc_, clamp_coord(a.x), clamp_coord(a.y), clamp_coord(b.x), clamp_coord(b.y));
}

void GdiCanvas::arc(ArcKind kind, const Pen& pen, const Brush& brush, Point a, Point b,
                    Point start, Point end) {
  Tools tools(dc_, pen, &brush);
  SetArcDirection(dc_, AD_COUNTERCLOCKWISE);
  const int x1 = clamp_coord(a.x), y1 = clamp_coord(a.y), x2 = clamp_coord(b.x), y2 = clamp_coord(b.y);
  const int sx = clamp_coord(start.x), sy = clamp_coord(start.y);
  const int ex = clamp_coord(end.x), ey = clamp_coord(end.y);
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
  if (text.empty()) return;
  HFONT f = make_font(font);
  HGDIOBJ old = SelectObject(dc_, f);
  const int h = ((font.align % 3) + 3) % 3;
  const int v = ((font.align / 3) % 3 + 3) % 3;
  SetTextAlign(dc_, (h == 0 ? TA_LEFT : h == 1 ? TA_CENTER : TA_RIGHT) |
                        (v == 0 ? TA_BASELINE : v == 1 ? TA_BASELINE : TA_TOP));
  SetTextColor(dc_, ref(font.colour));
  SetBkMode(dc_, TRANSPARENT);
  int y = at.y;
  if (v == 1) {
    TEXTMETRICA tm;
    GetTextMetricsA(dc_, &tm);
    y += (tm.tmAscent - tm.tmDescent) / 2;
  }
  TextOutA(dc_, clamp_coord(at.x), clamp_coord(y), text.c_str(), static_cast<int>(text.size()));
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
  if (p.x < 0 || p.y < 0 || p.x >= width_ || p.y >= height_) return;
  GdiFlush();
  bits_[static_cast<size_t>(p.y) * width_ + p.x] = (static_cast<uint32_t>(c.r) << 16) | (c.g << 8) | c.b;
}

bool GdiCanvas::get_pixel(Point p, Rgb* c) {
  if (p.x < 0 || p.y < 0 || p.x >= width_ || p.y >= height_) return false;
  GdiFlush();
  const uint32_t v = bits_[static_cast<size_t>(p.y) * width_ + p.x];
  *c = Rgb{static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
  return true;
}

bool GdiCanvas::save_png(const std::string& path) {
  GdiFlush();
  return write_png(path, bits_, width_, height_, width_);
}

// Reading PNG files needs a decompressor the Windows server does not carry.
bool GdiCanvas::load_png(const std::string&) { return false; }

}  // namespace lumo::server
