// Colour values as programs pass them, and each window's colour table.
//
//   0x02bbggrr   a colour given by red, green and blue (palette-relative)
//   0x010000ii   colour-table entry ii
//   0 .. 255     colour-table entry of that number
//   0x00bbggrr   above 255 with a zero top byte: red, green and blue
//   anything else: the window's foreground (entry 2)
#ifndef LUMO_SERVER_CORE_COLOURS_H
#define LUMO_SERVER_CORE_COLOURS_H

#include <array>
#include <cstdint>

#include "server/core/canvas.h"

namespace lumo::server {

inline constexpr int kTableSize = 256;
inline constexpr int kBackgroundEntry = 1;
inline constexpr int kForegroundEntry = 2;

class ColourTable {
 public:
  ColourTable();
  Rgb resolve(int32_t value) const;
  bool set(int entry, int32_t value);  // false for an entry outside the table
  bool get(int entry, Rgb* colour) const;
  Rgb background() const { return entries_[kBackgroundEntry]; }

 private:
  std::array<Rgb, kTableSize> entries_;
};

// 0x00RRGGBB, as colour-table reads answer.
int32_t reply_word(Rgb c);
// 0x02bbggrr, as pixel reads answer (equal to the library's LmRgb).
int32_t palette_relative(Rgb c);

}  // namespace lumo::server

#endif
