// Compares two pictures of the test card region by region, each with the
// tolerance its region states (card_layout.h).  Prints one line per region;
// for every region that fails, writes "<out>/<n>-<region>.png" with both
// pictures and their differences side by side, enlarged.
//
//   card_compare LINUX.png WINDOWS.png [OUT_DIR]      exit status 0: all agree
//   card_compare --vector WINDOW.png RENDERED.png [OUT_DIR]
//
// With --vector the second picture is a vector figure of the window drawn
// back to pixels by another program: anti-aliased where the window drew
// crisp pixels, so every region but text is held to the vector tolerance
// (vector_check).
#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" {
#include "tests/card/card_layout.h"
}

namespace {

struct Picture {
  int width = 0, height = 0;
  std::vector<uint32_t> pixels;  // 0x00RRGGBB
  uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

bool load(const char* path, Picture* p) {
  cairo_surface_t* s = cairo_image_surface_create_from_png(path);
  if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(s);
    return false;
  }
  p->width = cairo_image_surface_get_width(s);
  p->height = cairo_image_surface_get_height(s);
  const int stride = cairo_image_surface_get_stride(s);
  const unsigned char* data = cairo_image_surface_get_data(s);
  p->pixels.resize(static_cast<size_t>(p->width) * p->height);
  for (int y = 0; y < p->height; ++y) {
    const uint32_t* row = reinterpret_cast<const uint32_t*>(data + static_cast<size_t>(y) * stride);
    for (int x = 0; x < p->width; ++x) p->pixels[static_cast<size_t>(y) * p->width + x] = row[x] & 0xFFFFFF;
  }
  cairo_surface_destroy(s);
  return true;
}

int channel(uint32_t c, int shift) { return static_cast<int>((c >> shift) & 0xFF); }

// How far a colour is from the background, 0..255.
int ink(uint32_t c, uint32_t background) {
  int d = 0;
  for (int shift : {0, 8, 16}) d = std::max(d, std::abs(channel(c, shift) - channel(background, shift)));
  return d;
}

struct Box {
  int x0 = 1 << 30, y0 = 1 << 30, x1 = -1, y1 = -1;
  void add(int x, int y) {
    x0 = std::min(x0, x);
    y0 = std::min(y0, y);
    x1 = std::max(x1, x);
    y1 = std::max(y1, y);
  }
  bool empty() const { return x1 < 0; }
};

class RegionCheck {
 public:
  RegionCheck(const card_region& r, const Picture& a, const Picture& b, bool vector)
      : r_(r), a_(a), b_(b), vector_(vector) {
    background_ = a.at(r.x, r.y);
  }

  // True when the region agrees; `why` says how it differs.
  bool run(std::string* why) {
    if (vector_ && r_.check == CARD_CRISP) {
      *why = "crisp pixels, not compared with a vector figure";
      return true;
    }
    if (vector_ && r_.check != CARD_TEXT) return vector_check(why);
    switch (r_.check) {
      case CARD_EXACT: return exact(why);
      case CARD_SHAPE:
      case CARD_CRISP: return near(why, 0, 1, true, 1, 1);
      case CARD_SMOOTH: return near(why, 2, 96, false, 16, 1);
      default: return text(why);
    }
  }

 private:
  bool exact(std::string* why) {
    int differing = 0;
    for (int y = r_.y; y < r_.y + r_.h; ++y) {
      for (int x = r_.x; x < r_.x + r_.w; ++x) differing += a_.at(x, y) != b_.at(x, y);
    }
    *why = std::to_string(differing) + " pixels differ";
    return differing == 0;
  }

  Box ink_box(const Picture& p, int threshold) const {
    Box box;
    for (int y = r_.y; y < r_.y + r_.h; ++y) {
      for (int x = r_.x; x < r_.x + r_.w; ++x) {
        if (ink(p.at(x, y), background_) >= threshold) box.add(x, y);
      }
    }
    return box;
  }

  // Whether pixel (x, y) of `from` has a counterpart in `to` within `reach`:
  // the same colour (same_colour), or any ink of at least `weak`.
  bool matched(const Picture& from, const Picture& to, int x, int y, int reach, bool same_colour,
               int weak) const {
    for (int dy = -reach; dy <= reach; ++dy) {
      for (int dx = -reach; dx <= reach; ++dx) {
        const int u = x + dx, v = y + dy;
        if (u < r_.x || v < r_.y || u >= r_.x + r_.w || v >= r_.y + r_.h) continue;
        if (same_colour ? to.at(u, v) == from.at(x, y) : ink(to.at(u, v), background_) >= weak) {
          return true;
        }
      }
    }
    return false;
  }

  bool near(std::string* why, int box_slack, int strong, bool same_colour, int weak, int reach) {
    const Box ba = ink_box(a_, strong), bb = ink_box(b_, strong);
    char text[200];
    if (ba.empty() != bb.empty() || std::abs(ba.x0 - bb.x0) > box_slack ||
        std::abs(ba.y0 - bb.y0) > box_slack || std::abs(ba.x1 - bb.x1) > box_slack ||
        std::abs(ba.y1 - bb.y1) > box_slack) {
      std::snprintf(text, sizeof text, "ink boxes (%d,%d)-(%d,%d) and (%d,%d)-(%d,%d)", ba.x0, ba.y0,
                    ba.x1, ba.y1, bb.x0, bb.y0, bb.x1, bb.y1);
      *why = text;
      return false;
    }
    int unmatched_a = 0, unmatched_b = 0, strong_a = 0, strong_b = 0;
    for (int y = r_.y; y < r_.y + r_.h; ++y) {
      for (int x = r_.x; x < r_.x + r_.w; ++x) {
        if (ink(a_.at(x, y), background_) >= strong) {
          ++strong_a;
          unmatched_a += !matched(a_, b_, x, y, reach, same_colour, weak);
        }
        if (ink(b_.at(x, y), background_) >= strong) {
          ++strong_b;
          unmatched_b += !matched(b_, a_, x, y, reach, same_colour, weak);
        }
      }
    }
    std::snprintf(text, sizeof text, "%d and %d inked pixels, %d and %d without a counterpart",
                  strong_a, strong_b, unmatched_a, unmatched_b);
    *why = text;
    // The tips of sharp corners and the ends of arcs, where GDI stops a
    // step early, may lack one: at most one pixel in a thousand (two).
    const int allowed = std::max(2, std::min(strong_a, strong_b) / 1000);
    return unmatched_a <= allowed && unmatched_b <= allowed;
  }

  // A figure drawn back from a vector file: every pixel inked at least half
  // in either picture has some ink (a sixteenth) within one pixel in the
  // other, the ink boxes agree within two pixels, the amount of ink agrees
  // (below), and colours are exact:
  // a pixel inside a flat area of the window (its 5 x 5 neighbourhood of
  // one colour) has that very colour in the other picture.  At most one
  // pixel in a thousand (two) may miss either rule.
  bool vector_check(std::string* why) {
    if (!near(why, 2, 128, false, 16, 1)) return false;
    int flat = 0, wrong = 0;
    for (int y = r_.y + 2; y < r_.y + r_.h - 2; ++y) {
      for (int x = r_.x + 2; x < r_.x + r_.w - 2; ++x) {
        const uint32_t c = a_.at(x, y);
        bool uniform = true;
        for (int dy = -2; dy <= 2 && uniform; ++dy) {
          for (int dx = -2; dx <= 2 && uniform; ++dx) uniform = a_.at(x + dx, y + dy) == c;
        }
        if (!uniform) continue;
        ++flat;
        wrong += b_.at(x, y) != c;
      }
    }
    *why += ", " + std::to_string(wrong) + " of " + std::to_string(flat) + " flat pixels in another colour";
    // Anti-aliasing spreads ink but keeps its amount: the regions' ink (in
    // whole pixels) agrees within a factor of 1.6 and ten pixels (some
    // renderers thicken hairlines by half; a pen twice as wide is caught).
    double ink_a = 0, ink_b = 0;
    for (int y = r_.y; y < r_.y + r_.h; ++y) {
      for (int x = r_.x; x < r_.x + r_.w; ++x) {
        ink_a += ink(a_.at(x, y), background_) / 255.0;
        ink_b += ink(b_.at(x, y), background_) / 255.0;
      }
    }
    char amounts[80];
    std::snprintf(amounts, sizeof amounts, ", ink %.0f and %.0f", ink_a, ink_b);
    *why += amounts;
    return wrong <= std::max(2, flat / 1000) &&
           std::max(ink_a, ink_b) <= 1.6 * std::min(ink_a, ink_b) + 10;
  }

  // Different fonts: the ink's boxes agree within a fifth of their size (and
  // four pixels).
  bool text(std::string* why) {
    const Box ba = ink_box(a_, 96), bb = ink_box(b_, 96);
    char buffer[200];
    std::snprintf(buffer, sizeof buffer, "ink boxes (%d,%d)-(%d,%d) and (%d,%d)-(%d,%d)", ba.x0,
                  ba.y0, ba.x1, ba.y1, bb.x0, bb.y0, bb.x1, bb.y1);
    *why = buffer;
    if (ba.empty() || bb.empty()) return false;
    const int slack_x = std::max(4, (ba.x1 - ba.x0) / 5), slack_y = std::max(4, (ba.y1 - ba.y0) / 5);
    return std::abs(ba.x0 - bb.x0) <= slack_x && std::abs(ba.x1 - bb.x1) <= slack_x &&
           std::abs(ba.y0 - bb.y0) <= slack_y && std::abs(ba.y1 - bb.y1) <= slack_y;
  }

  const card_region& r_;
  const Picture& a_;
  const Picture& b_;
  bool vector_;
  uint32_t background_;
};

// Both pictures of the region and a map of where they differ (red: only in
// the first, blue: only in the second, purple: in both, differently).
void write_failure(const std::string& path, const card_region& r, const Picture& a, const Picture& b) {
  const int scale = 4, gap = 8;
  const int w = r.w * scale, h = r.h * scale;
  cairo_surface_t* out = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 3 * w + 2 * gap, h);
  unsigned char* data = cairo_image_surface_get_data(out);
  const int stride = cairo_image_surface_get_stride(out);
  for (int y = 0; y < h; ++y) {
    uint32_t* row = reinterpret_cast<uint32_t*>(data + static_cast<size_t>(y) * stride);
    for (int x = 0; x < 3 * w + 2 * gap; ++x) row[x] = 0x606060;
  }
  const uint32_t bg = a.at(r.x, r.y);
  for (int y = 0; y < r.h; ++y) {
    for (int x = 0; x < r.w; ++x) {
      const uint32_t pa = a.at(r.x + x, r.y + y), pb = b.at(r.x + x, r.y + y);
      const uint32_t diff = pa == pb ? 0xFFFFFF : pb == bg ? 0xE02020 : pa == bg ? 0x2040E0 : 0x9020A0;
      for (int dy = 0; dy < scale; ++dy) {
        uint32_t* row = reinterpret_cast<uint32_t*>(data + static_cast<size_t>(y * scale + dy) * stride);
        for (int dx = 0; dx < scale; ++dx) {
          row[x * scale + dx] = pa;
          row[w + gap + x * scale + dx] = pb;
          row[2 * (w + gap) + x * scale + dx] = diff;
        }
      }
    }
  }
  cairo_surface_mark_dirty(out);
  cairo_surface_write_to_png(out, path.c_str());
  cairo_surface_destroy(out);
}

// The picture with region `from` copied onto the place of region `to`.
Picture with_region_at(const Picture& p, const card_region& from, const card_region& to) {
  Picture out = p;
  for (int y = 0; y < from.h; ++y) {
    for (int x = 0; x < from.w; ++x) {
      out.pixels[static_cast<size_t>(to.y + y) * p.width + to.x + x] = p.at(from.x + x, from.y + y);
    }
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  const bool vector = argc > 1 && std::string(argv[1]) == "--vector";
  if (vector) {
    --argc;
    ++argv;
  }
  if (argc < 3) {
    std::fprintf(stderr, "usage: card_compare [--vector] PICTURE.png OTHER.png [OUT_DIR]\n");
    return 2;
  }
  Picture a, b;
  if (!load(argv[1], &a) || !load(argv[2], &b)) {
    std::fprintf(stderr, "card_compare: cannot read %s or %s\n", argv[1], argv[2]);
    return 2;
  }
  if (a.width != CARD_WIDTH || a.height != CARD_HEIGHT || b.width != a.width || b.height != a.height) {
    std::fprintf(stderr, "card_compare: pictures of %dx%d and %dx%d, not %dx%d\n", a.width, a.height,
                 b.width, b.height, CARD_WIDTH, CARD_HEIGHT);
    return 1;
  }
  static const char* const kChecks[] = {"exact", "shape", "smooth", "text", "shape"};
  int failed = 0;
  for (int i = 0; i < CARD_REGIONS + CARD_MOVE_REGIONS; ++i) {
    const card_region& r = i < CARD_REGIONS ? card_regions[i] : card_move_regions[i - CARD_REGIONS];
    std::string why;
    const bool ok = RegionCheck(r, a, b, vector).run(&why);
    std::printf("%s %-30s %-6s %s\n", ok ? "agree " : "DIFFER", r.name,
                vector && r.check != CARD_TEXT ? "vector" : kChecks[r.check], why.c_str());
    if (!ok) {
      ++failed;
      if (argc > 3) {
        std::string name = r.name;
        for (char& c : name) c = (c == ' ' || c == ',') ? '_' : c;
        write_failure(std::string(argv[3]) + "/" + std::to_string(i) + "-" + name + ".png", r, a, b);
      }
    }
  }
  // Within each picture (the window's alone with --vector) the translated
  // outlines are the moved ones, pixel for pixel.
  const card_region& moved = card_move_regions[CARD_MOVED];
  const card_region& translated = card_move_regions[CARD_TRANSLATED];
  int moves = 0, moves_failed = 0;
  for (const Picture* p : {&a, &b}) {
    if (vector && p == &b) break;
    int differing = 0;
    for (int y = 0; y < moved.h; ++y) {
      for (int x = 0; x < moved.w; ++x) {
        differing += p->at(moved.x + x, moved.y + y) != p->at(translated.x + x, translated.y + y);
      }
    }
    ++moves;
    moves_failed += differing != 0;
    std::printf("%s %-30s %-6s %d pixels differ in %s\n", differing ? "DIFFER" : "agree ",
                "translated as moved", "exact", differing, argv[p == &a ? 1 : 2]);
    if (differing && argc > 3) {
      write_failure(std::string(argv[3]) + "/translated_as_moved-" + std::to_string(moves) + ".png", moved,
                    *p, with_region_at(*p, translated, moved));
    }
  }
  std::printf("%d of %d regions agree\n", CARD_REGIONS + CARD_MOVE_REGIONS - failed,
              CARD_REGIONS + CARD_MOVE_REGIONS);
  return failed == 0 && moves_failed == 0 ? 0 : 1;
}
