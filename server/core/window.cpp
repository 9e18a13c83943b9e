// Drawing commands ("A"), metrics ("E"), pixel reads ("F") and data blocks.
#include "server/core/window.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "common/block_access.h"
#include "common/lumo_wire.h"

namespace lumo::server {

using namespace wire;

namespace {

Blend blend_of(int mode) {
  switch (mode) {
    case 0:
    case 13: return Blend::kCrisp;
    case 1: return Blend::kBlack;
    case 6: return Blend::kInvert;
    case 7: return Blend::kXor;
    case 16: return Blend::kWhite;
    default: return Blend::kSmooth;
  }
}

}  // namespace

uint64_t Window::next_serial() {
  static uint64_t serial = 0;
  return ++serial;
}

Window::Window(int number, unsigned char* block, std::unique_ptr<Canvas> canvas,
               Frontend& frontend)
    : serial(next_serial()),
      number_(number),
      block_(block),
      canvas_(std::make_unique<RecordingCanvas>(std::move(canvas), Rgb{255, 255, 255})),
      frontend_(frontend) {}

int32_t Window::word(int offset) const { return read_i32(block_, offset); }
void Window::set_word(int offset, int32_t value) { write_i32(block_, offset, value); }
Point Window::point_at(int offset) const { return {word(offset), word(offset + 4)}; }

std::string Window::data_text() const {
  const char* data = reinterpret_cast<const char*>(block_ + kDataArea);
  size_t n = 0;
  while (n < static_cast<size_t>(kMaxText) && data[n]) ++n;
  return std::string(data, n);
}

void Window::set_data_text(const std::string& text) {
  const size_t n = text.size() < static_cast<size_t>(kMaxText) ? text.size() : kMaxText;
  std::memcpy(block_ + kDataArea, text.data(), n);
  block_[kDataArea + n] = '\0';
}

void Window::initialise(int width, int height) {
  std::memset(block_, 0, kStateSize);
  set_word(kAreaWidth, width);
  set_word(kAreaHeight, height);
  const int unit = width < height ? width : height;
  set_word(kUnit, unit);
  // Pixel mode over the whole area until the program sets a world.
  set_word(kPixelMode, 1);
  write_f32(block_, kWorldX2, static_cast<float>(width - 1));
  write_f32(block_, kWorldY2, static_cast<float>(height - 1));
  write_f32(block_, kViewX2, static_cast<float>(width) / unit);
  write_f32(block_, kViewY2, static_cast<float>(height) / unit);
  set_word(kPosX, kNoPosition);
  set_word(kPosY, kNoPosition);
  set_word(kFillMode, 1);
  set_word(kPenColour, kForegroundEntry);
  set_word(kPenWidth, 1);
  set_word(kPenMode, 4);
  set_word(kBrushColour, kForegroundEntry);
  set_word(kBrushStyle, kBrushHollow);
  set_word(kMarkerType, marker_.type);
  set_word(kMarkerSize, marker_.size);
  set_word(kMarkerColour1, kForegroundEntry);
  set_word(kMarkerColour2, kBackgroundEntry);
  // A modest default: labels of charts stay apart.
  const int text_height = height / 40 > 8 ? height / 40 : 8;
  set_word(kTextHeight, text_height);
  set_word(kTextColour, kForegroundEntry);
  set_word(kSymbolHeight, text_height);
  set_word(kSymbolColour, kForegroundEntry);
  set_word(kSymbolCode, '*');
  set_word(kChanged, 0x0FFF);
  apply_attributes();
  apply_font(false);
  apply_font(true);
  update_origin();
}

// The origin from the viewport the program wrote, whatever it wrote: in
// double precision, rounded, and held inside the int32 range (a viewport far
// outside the area puts the origin far outside too, never wrapped around).
void Window::update_origin() {
  const double unit = word(kUnit);
  auto to_int = [](double v) {
    if (!(v == v)) return int32_t{0};  // not a number
    return static_cast<int32_t>(std::clamp(std::round(v), -2147483648.0, 2147483647.0));
  };
  set_word(kOriginX, to_int(static_cast<double>(read_f32(block_, kViewX1)) * unit));
  set_word(kOriginY, to_int(word(kAreaHeight) - static_cast<double>(read_f32(block_, kViewY1)) * unit));
}

bool Window::resize(int width, int height) {
  canvas_->resize(width, height, colours_.background());
  if (canvas_->width() != width || canvas_->height() != height) {
    notice = "window " + std::to_string(number_) + " cannot be made " + std::to_string(width) + " x " +
             std::to_string(height) + " pixels: no memory could be had for its picture";
    return false;
  }
  set_word(kAreaWidth, width);
  set_word(kAreaHeight, height);
  set_word(kUnit, width < height ? width : height);
  update_origin();
  drawn();
  return true;
}

void Window::drawn() {
  picture_saved = false;
  ++changes;
  frontend_.window_drawn(*this);
}

void Window::apply_attributes() {
  const uint32_t changed = static_cast<uint32_t>(word(kChanged));
  if (changed & (kChangedPenColour | kChangedPenStyle | kChangedPenWidth | kChangedPenMode)) {
    pen_.colour = colours_.resolve(word(kPenColour));
    pen_.style = word(kPenStyle);
    pen_.width = word(kPenWidth) > 0 ? word(kPenWidth) : 1;
    pen_.blend = blend_of(word(kPenMode));
  }
  if (changed & (kChangedBrushColour | kChangedBrushStyle | kChangedBrushHatch)) {
    brush_.colour = colours_.resolve(word(kBrushColour));
    brush_.style = word(kBrushStyle);
    brush_.hatch = word(kBrushHatch);
  }
  if (changed & 0xF80) {
    marker_.type = word(kMarkerType);
    marker_.size = word(kMarkerSize);
    marker_.colour1 = colours_.resolve(word(kMarkerColour1));
    marker_.colour2 = colours_.resolve(word(kMarkerColour2));
  }
  set_word(kChanged, 0);
}

Font Window::font_from(int angle_field, int height_field, int align_field, int colour_field,
                       int param_field, bool symbol) const {
  Font f;
  f.angle = word(angle_field);
  f.height = word(height_field) > 0 ? word(height_field) : 1;
  if (f.height > 2000) f.height = 2000;
  f.align = word(align_field);
  f.colour = colours_.resolve(word(colour_field));
  f.weight = word(param_field);
  f.face = symbol ? "serif" : "";
  return f;
}

void Window::apply_font(bool symbol) {
  Font f = symbol ? font_from(kSymbolAngle, kSymbolHeight, kSymbolAlign, kSymbolColour,
                              kSymbolParam, true)
                  : font_from(kTextAngle, kTextHeight, kTextAlign, kTextColour, kTextParam, false);
  const std::string face = data_text();
  if (!face.empty()) f.face = face;
  (symbol ? symbol_font_ : text_font_) = f;
}

Point Window::transformed(Point p) const {
  const Transform& t = transform_;
  if (t.identity() || !invertible(t)) return p;
  const double x = t.m11 * p.x + t.m21 * p.y + t.dx;
  const double y = t.m12 * p.x + t.m22 * p.y + t.dy;
  constexpr double kReach = 1 << 30;
  return {static_cast<int32_t>(std::lround(std::clamp(x, -kReach, kReach))),
          static_cast<int32_t>(std::lround(std::clamp(y, -kReach, kReach)))};
}

Window::MarkerLook Window::marker_look() const {
  MarkerLook look;
  look.outline.colour = marker_.colour1;
  look.outline.blend = pen_.blend;
  look.none = look.outline;
  look.none.style = kInvisible;
  look.fill.colour = marker_.colour2;
  look.fill.style = kBrushSolid;
  look.dot.colour = marker_.colour1;
  look.dot.style = kBrushSolid;
  return look;
}

void Window::draw_marker(Point p) {
  // Markers far outside the picture are drawn at its border region.
  constexpr int32_t kReach = 1 << 20;
  p.x = std::clamp(p.x, -kReach, kReach);
  p.y = std::clamp(p.y, -kReach, kReach);
  const int s = std::clamp(marker_.size, 1, 1000);
  const int h = s / 2;
  const auto [outline, none, fill, dot] = marker_look();
  const Point a{p.x - h, p.y - h}, b{p.x - h + s, p.y - h + s};
  switch (marker_.type) {
    case 0: canvas_->rect(none, dot, a, b); break;
    case 1:
      canvas_->line(outline, {p.x - h, p.y}, {p.x + h, p.y});
      canvas_->line(outline, {p.x, p.y - h}, {p.x, p.y + h});
      break;
    case 2:
      canvas_->line(outline, {p.x - h, p.y - h}, {p.x + h, p.y + h});
      canvas_->line(outline, {p.x - h, p.y + h}, {p.x + h, p.y - h});
      break;
    case 3: canvas_->ellipse(outline, fill, a, b); break;
    case 4: canvas_->rect(outline, fill, a, b); break;
    case 5: {
      const Point t[3] = {{p.x, p.y - h}, {p.x + h, p.y + h}, {p.x - h, p.y + h}};
      canvas_->polygon(outline, fill, t, 3, false);
      break;
    }
    default: {
      const Point d[4] = {{p.x, p.y - h}, {p.x + h, p.y}, {p.x, p.y + h}, {p.x - h, p.y}};
      canvas_->polygon(outline, fill, d, 4, false);
      break;
    }
  }
}

int32_t Window::draw(int32_t code) {
  if (is_subpixel_draw(code)) return draw_subpixel(plain_draw_code(code));
  const Point a = point_at(kResult0);
  const Point b = point_at(kResult2);
  const Point at = point_at(kArg2);
  switch (code) {
    case kDrawWindowOp: return 1;
    case kDrawColourEntry: return colours_.set(word(kArg3), word(kArg2)) ? 1 : 0;
    case kDrawAttributes: apply_attributes(); return 1;
    case kDrawTransform:
      transform_ = {word(kResult0) / 65536.0, word(kResult1) / 65536.0,
                    word(kResult2) / 65536.0, word(kResult3) / 65536.0,
                    static_cast<double>(word(kArg2)), static_cast<double>(word(kArg3))};
      canvas_->set_transform(transform_);
      return 1;
    case kDrawRectMode: {
      Pen p = pen_;
      Brush f = brush_;
      switch (word(kArg2)) {
        case 0: f.style = kBrushHollow; break;  // outline only
        case 1:                                 // inside only
          p.style = kInvisible;
          if (f.style == kBrushHollow) f.style = kBrushSolid;
          break;
        case 2:  // outline and inside
          if (f.style == kBrushHollow) f.style = kBrushSolid;
          break;
        case 3:  // invert what is there
          p = Pen{};
          p.style = kInvisible;
          p.blend = Blend::kInvert;
          f = Brush{Rgb{}, kBrushSolid, 0};
          break;
        default:  // clear to the background
          p.style = kInvisible;
          f = Brush{colours_.background(), kBrushSolid, 0};
          break;
      }
      canvas_->rect(p, f, a, b);
      break;
    }
    case kDrawFont: apply_font(false); return 1;
    case kDrawSymbolFont: apply_font(true); return 1;
    case kDrawMove:
      position_ = at;
      subpixel_position_ = false;
      return 1;
    case kDrawMarker: draw_marker(point_at(kResult1)); break;
    case kDrawText:
      if (at.x == kFarAwayPosition && at.y == kFarAwayPosition) return 1;
      canvas_->text(text_font_, at, data_text());
      break;
    case kDrawSymbol: {
      const char c[2] = {static_cast<char>(block_[kDataArea]), 0};
      canvas_->text(symbol_font_, at, c);
      break;
    }
    case kDrawPointOp: canvas_->set_pixel(transformed(at), pen_.colour); break;
    case kDrawAction18: return 1;
    case kDrawPixel: draw_pixel(at, word(kResult0)); return 1;
    case kDrawLine:
      if (is_position(position_.x, position_.y)) canvas_->line(pen_, position_, at);
      position_ = at;
      subpixel_position_ = false;
      break;
    case kDrawRect: canvas_->rect(pen_, brush_, a, b); break;
    case kDrawRectEx: {
      Brush f = brush_;
      Rgb c;
      if (colours_.get(word(kArg2), &c)) {
        f.colour = c;
        f.style = kBrushSolid;
      }
      canvas_->rect(pen_, f, a, b);
      break;
    }
    case kDrawRoundRect: canvas_->round_rect(pen_, brush_, a, b, word(kArg2), word(kArg3)); break;
    case kDrawEllipse: canvas_->ellipse(pen_, brush_, a, b); break;
    case kDrawArc:
    case kDrawChord:
    case kDrawPie: {
      const ArcKind kind =
          code == kDrawArc ? ArcKind::kArc : code == kDrawChord ? ArcKind::kChord : ArcKind::kPie;
      canvas_->arc(kind, pen_, brush_, a, b, point_at(kDataArea), point_at(kDataArea + 8));
      break;
    }
    default: return 0;
  }
  drawn();
  return 1;
}

void Window::draw_pixel(Point at, int32_t colour) {
  canvas_->set_pixel(transformed(at), colours_.resolve(colour));
  drawn();
}

int32_t Window::draw_detached(unsigned char* copy) {
  unsigned char* shared = block_;
  block_ = copy;
  const int32_t r = draw(word(kArg1));
  block_ = shared;
  return r;
}

int32_t Window::request_detached(char letter, unsigned char* copy) {
  unsigned char* shared = block_;
  block_ = copy;
  const int32_t r = letter == kCmdBlock ? announce_block() : request(word(kArg1));
  block_ = shared;
  return r;
}

int32_t Window::metric(int32_t what, int screen_w, int screen_h, int dpi) {
  int32_t a = 0, b = 0;
  switch (what) {
    case 1: a = word(kAreaWidth); b = word(kAreaHeight); break;
    case 2: a = screen_w; b = screen_h; break;
    case 3: a = canvas_->width(); b = canvas_->height(); break;
    case 4: a = x; b = y; break;
    case 5: a = word(kUnit); b = word(kPixelMode); break;
    case 10: a = dpi; b = dpi; break;
    case kMetricResizeToo:
    case kMetricResize:
      if (!size_ok(word(kArg2), word(kArg3)) ||
          (size_allowed && !size_allowed(word(kArg2), word(kArg3)))) {
        return 0;
      }
      if (!resize(word(kArg2), word(kArg3))) return 0;
      frontend_.window_resized(*this);
      return 1;
    case -4:
      x = word(kArg2);
      y = word(kArg3);
      frontend_.window_moved(*this);
      return 1;
    default:
      if (what < -14 || what > 14 || what == 0) return 0;
      if (what < 0) return 1;  // accepted, nothing to change
      break;
  }
  set_word(kResult0, a);
  set_word(kResult1, b);
  return 1;
}

int32_t Window::pixel() {
  Rgb c;
  // Read where a pixel set at the same place lands.
  if (!canvas_->get_pixel(transformed(point_at(kArg1)), &c)) return 0;
  set_word(kResult0, palette_relative(c));
  return 1;
}

}  // namespace lumo::server
