// A window's figures between pixels: the sub-pixel form of its drawing
// commands.
#include "server/core/window.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "common/block_access.h"
#include "common/lumo_wire.h"

namespace lumo::server {

using namespace wire;

// The sub-pixel form of a drawing command: figures that come to lie on
// whole pixels take the whole-pixel path, so both forms agree there.
int32_t Window::draw_subpixel(int32_t code) {
  const SubPoint a = sub_at(kResult0), b = sub_at(kResult2), at = sub_at(kArg2);
  const SubPoint corners[2] = {a, b};
  switch (code) {
    case kDrawMove:
      position_ = whole_point(at);
      position_at_ = at;
      subpixel_position_ = true;
      return 1;
    case kDrawLine: {
      const bool has = is_position(position_.x, position_.y);
      SubPoint from = position_at_;
      bool exact = subpixel_position_;
      if (!exact && std::llabs(position_.x) < kSubpixelReach && std::llabs(position_.y) < kSubpixelReach) {
        from = {position_.x * kSubpixelScale, position_.y * kSubpixelScale};
        exact = true;
      }
      const SubPoint ends[2] = {from, at};
      if (has && (!exact || on_whole_pixels(ends, 2))) {
        canvas_->line(pen_, position_, whole_point(at));
      } else if (has) {
        canvas_->line_at(pen_, from, at);
      }
      position_ = whole_point(at);
      position_at_ = at;
      subpixel_position_ = true;
      if (!has) return 1;
      break;
    }
    case kDrawMarker: draw_marker_at(sub_at(kResult1)); break;
    case kDrawText:
    case kDrawSymbol: {
      const Font& f = code == kDrawText ? text_font_ : symbol_font_;
      const char c[2] = {static_cast<char>(block_[kDataArea]), 0};
      const std::string s = code == kDrawText ? data_text() : std::string(c);
      // Text has no pen: outside the smooth mode it stays on whole pixels.
      if (on_whole_pixels(&at, 1) || pen_.blend != Blend::kSmooth) {
        canvas_->text(f, whole_point(at), s);
      } else {
        canvas_->text_at(f, at, s);
      }
      break;
    }
    case kDrawEllipse:
      if (on_whole_pixels(corners, 2)) {
        canvas_->ellipse(pen_, brush_, whole_point(a), whole_point(b));
      } else {
        canvas_->ellipse_at(pen_, brush_, a, b);
      }
      break;
    case kDrawArc:
    case kDrawChord:
    case kDrawPie: {
      const ArcKind kind =
          code == kDrawArc ? ArcKind::kArc : code == kDrawChord ? ArcKind::kChord : ArcKind::kPie;
      const SubPoint p[4] = {a, b, sub_at(kDataArea), sub_at(kDataArea + 8)};
      if (on_whole_pixels(p, 4)) {
        canvas_->arc(kind, pen_, brush_, whole_point(a), whole_point(b), whole_point(p[2]),
                     whole_point(p[3]));
      } else {
        canvas_->arc_at(kind, pen_, brush_, a, b, p[2], p[3]);
      }
      break;
    }
    default: return 0;
  }
  drawn();
  return 1;
}

// A marker centred between pixels: the shapes of draw_marker, moved.
void Window::draw_marker_at(SubPoint p) {
  if (on_whole_pixels(&p, 1)) {
    draw_marker(whole_point(p));
    return;
  }
  constexpr int32_t kReach = (1 << 20) * kSubpixelScale;
  p.x = std::clamp(p.x, -kReach, kReach);
  p.y = std::clamp(p.y, -kReach, kReach);
  const int32_t u = kSubpixelScale;
  const int s = std::clamp(marker_.size, 1, 1000);
  const int32_t h = s / 2 * u, su = s * u;
  const auto [outline, none, fill, dot] = marker_look();
  const SubPoint a{p.x - h, p.y - h}, b{p.x - h + su, p.y - h + su};
  auto box = [&](SubPoint lo, SubPoint hi, const Pen& pen, const Brush& brush) {
    const SubPoint c[4] = {{hi.x, lo.y}, lo, {lo.x, hi.y}, hi};
    canvas_->polygon_at(pen, brush, c, 4, false);
  };
  switch (marker_.type) {
    case 0:
      // A filled box without outline covers its pixels whole.
      box({a.x - u / 2, a.y - u / 2}, {b.x - u / 2, b.y - u / 2}, none, dot);
      break;
    case 1:
      canvas_->line_at(outline, {p.x - h, p.y}, {p.x + h, p.y});
      canvas_->line_at(outline, {p.x, p.y - h}, {p.x, p.y + h});
      break;
    case 2:
      canvas_->line_at(outline, {p.x - h, p.y - h}, {p.x + h, p.y + h});
      canvas_->line_at(outline, {p.x - h, p.y + h}, {p.x + h, p.y - h});
      break;
    case 3: canvas_->ellipse_at(outline, fill, a, b); break;
    case 4: box(a, {b.x - u, b.y - u}, outline, fill); break;
    case 5: {
      const SubPoint t[3] = {{p.x, p.y - h}, {p.x + h, p.y + h}, {p.x - h, p.y + h}};
      canvas_->polygon_at(outline, fill, t, 3, false);
      break;
    }
    default: {
      const SubPoint d[4] = {{p.x, p.y - h}, {p.x + h, p.y}, {p.x, p.y + h}, {p.x - h, p.y}};
      canvas_->polygon_at(outline, fill, d, 4, false);
      break;
    }
  }
}

}  // namespace lumo::server
