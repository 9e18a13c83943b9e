// An SVG page in the window's pixels, written element by element: what the
// cairo canvas's SVG sink and the figure writer both write.
#ifndef LUMO_SERVER_CANVAS_SVG_PAGE_H
#define LUMO_SERVER_CANVAS_SVG_PAGE_H

#include <cstdint>
#include <string>

#include "server/core/canvas.h"

namespace lumo::server {

// A coordinate or length with at most three decimals, no trailing zeros.
std::string figure_number(double v);
std::string xml_escaped(const std::string& text);

class SvgPage {
 public:
  SvgPage(int width, int height) : width_(width), height_(height) {}
  void clear(Rgb background);
  // A path ("M x y L ... Z") filled with the brush (hatches as patterns,
  // the half brush at half opacity).
  void fill(const std::string& d, const Brush& brush, bool even_odd);
  void stroke(const std::string& d, Rgb colour, double width, bool round_cap, bool round_join,
              const double* dashes, int dash_count);
  // Text at (x, y) of the user space that m (a b c d e f) maps to the page.
  void text(const double m[6], double x, double y, const Font& font, const std::string& face_utf8,
            const std::string& utf8);
  void image(int x, int y, int w, int h, const uint32_t* pixels);
  std::string document(int dpi) const;

 private:
  std::string paint(const Brush& brush);
  int width_, height_;
  std::string defs_, body_;
};

}  // namespace lumo::server

#endif
