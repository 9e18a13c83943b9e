#include "server/core/colours.h"

namespace lumo::server {
namespace {

// The default table: white background, black foreground, then colours that
// read well on white.  Entries 20..35 (the user entries) follow a
// qualitative palette; the rest repeat a grey ramp.
constexpr Rgb kDefaults[36] = {
    {0, 0, 0},        // 0 black
    {255, 255, 255},  // 1 background
    {0, 0, 0},        // 2 foreground
    {200, 30, 30},    // 3 red
    {30, 140, 50},    // 4 green
    {30, 70, 200},    // 5 blue
    {220, 90, 20},    // 6 orange
    {140, 40, 160},   // 7 purple
    {0, 140, 150},    // 8 teal
    {192, 192, 192},  // 9 light grey
    {128, 128, 128},  // 10 grey
    {255, 0, 0},      // 11 bright red
    {0, 200, 0},      // 12 bright green
    {110, 125, 150},  // 13 slate (axes and grids)
    {0, 0, 255},      // 14 bright blue
    {255, 0, 255},    // 15 magenta
    {40, 110, 190},   // 16 steel blue
    {0, 200, 200},    // 17 cyan
    {230, 200, 0},    // 18 yellow
    {130, 80, 30},    // 19 brown
    {31, 119, 180},  {255, 127, 14}, {44, 160, 44},   {214, 39, 40},   // 20..23
    {148, 103, 189}, {140, 86, 75},  {227, 119, 194}, {127, 127, 127},  // 24..27
    {188, 189, 34},  {23, 190, 207}, {174, 199, 232}, {255, 187, 120},  // 28..31
    {152, 223, 138}, {255, 152, 150}, {197, 176, 213}, {196, 156, 148},  // 32..35
};

Rgb from_bgr(int32_t v) {
  return {static_cast<uint8_t>(v & 0xFF), static_cast<uint8_t>((v >> 8) & 0xFF),
          static_cast<uint8_t>((v >> 16) & 0xFF)};
}

}  // namespace

ColourTable::ColourTable() {
  for (int i = 0; i < kTableSize; ++i) {
    if (i < 36) {
      entries_[i] = kDefaults[i];
    } else {
      const uint8_t g = static_cast<uint8_t>((i * 37) % 256);
      entries_[i] = {g, g, g};
    }
  }
}

Rgb ColourTable::resolve(int32_t value) const {
  const uint32_t v = static_cast<uint32_t>(value);
  const uint32_t kind = v >> 24;
  if (kind == 0x02) return from_bgr(value);
  if (kind == 0x01) return entries_[v & 0xFF];
  if (kind == 0x00) return v < kTableSize ? entries_[v] : from_bgr(value);
  return entries_[kForegroundEntry];
}

bool ColourTable::set(int entry, int32_t value) {
  if (entry < 0 || entry >= kTableSize) return false;
  entries_[entry] = resolve(value);
  return true;
}

bool ColourTable::get(int entry, Rgb* colour) const {
  if (entry < 0 || entry >= kTableSize) return false;
  *colour = entries_[entry];
  return true;
}

int32_t reply_word(Rgb c) { return (c.r << 16) | (c.g << 8) | c.b; }

int32_t palette_relative(Rgb c) { return 0x02000000 | c.r | (c.g << 8) | (c.b << 16); }

}  // namespace lumo::server
