#include "server/canvas/svg_page.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "server/canvas/pixel_rules.h"
#include "server/canvas/png_writer.h"

namespace lumo::server {
namespace {

std::string hex(Rgb c) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "#%02x%02x%02x", c.r, c.g, c.b);
  return buf;
}

std::string base64(const std::string& bytes) {
  static const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    const size_t n = std::min<size_t>(3, bytes.size() - i);
    uint32_t v = 0;
    for (size_t k = 0; k < 3; ++k) v = (v << 8) | (k < n ? static_cast<uint8_t>(bytes[i + k]) : 0);
    for (size_t k = 0; k < 4; ++k) out += k <= n ? digits[(v >> (18 - 6 * k)) & 63] : '=';
  }
  return out;
}

// The window's face first, then the generic family a reader without it
// should use instead (the server's default is sans-serif).
std::string family(const std::string& face) {
  if (face.empty() || face == "sans-serif") return "sans-serif";
  if (face == "serif" || face == "monospace") return face;
  const bool quote = face.find_first_of(" ,") != std::string::npos;
  return (quote ? "'" + face + "'" : face) + ", sans-serif";
}

}  // namespace

std::string figure_number(double v) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.3f", std::fabs(v) < 5e-4 ? 0.0 : v);
  std::string s = buf;
  s.erase(s.find_last_not_of('0') + 1);
  if (!s.empty() && s.back() == '.') s.pop_back();
  return s;
}

std::string xml_escaped(const std::string& text) {
  std::string out;
  for (const char ch : text) {
    switch (ch) {
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '&': out += "&amp;"; break;
      case '"': out += "&quot;"; break;
      default:
        // Control characters are not allowed in XML 1.0.
        if (static_cast<unsigned char>(ch) >= 0x20 || ch == '\t') out += ch;
    }
  }
  return out;
}

void SvgPage::clear(Rgb background) {
  body_ = "<rect x=\"0\" y=\"0\" width=\"" + std::to_string(width_) + "\" height=\"" +
          std::to_string(height_) + "\" fill=\"" + hex(background) + "\"/>\n";
}

void SvgPage::fill(const std::string& d, const Brush& brush, bool even_odd) {
  if (d.empty()) return;
  body_ += "<path d=\"" + d + "\" fill=\"" + paint(brush) + "\"" + (even_odd ? " fill-rule=\"evenodd\"" : "") +
           (brush.style == kBrushHalf ? " fill-opacity=\"0.5\"" : "") + "/>\n";
}

void SvgPage::stroke(const std::string& d, Rgb colour, double width, bool round_cap, bool round_join,
                     const double* dashes, int dash_count) {
  if (d.empty()) return;
  body_ += "<path d=\"" + d + "\" fill=\"none\" stroke=\"" + hex(colour) + "\" stroke-width=\"" +
           figure_number(width) + "\"" + (round_cap ? " stroke-linecap=\"round\"" : "") +
           (round_join ? " stroke-linejoin=\"round\"" : "");
  if (dash_count > 0) {
    body_ += " stroke-dasharray=\"";
    for (int i = 0; i < dash_count; ++i) body_ += (i ? "," : "") + figure_number(dashes[i]);
    body_ += "\"";
  }
  body_ += "/>\n";
}

void SvgPage::text(const double m[6], double x, double y, const Font& font, const std::string& face_utf8,
                   const std::string& utf8) {
  body_ += "<text transform=\"matrix(" + figure_number(m[0]) + " " + figure_number(m[1]) + " " +
           figure_number(m[2]) + " " + figure_number(m[3]) + " " + figure_number(m[4]) + " " +
           figure_number(m[5]) + ")\" x=\"" + figure_number(x) + "\" y=\"" + figure_number(y) +
           "\" font-family=\"" + xml_escaped(family(face_utf8)) +
           "\" font-size=\"" + std::to_string(std::clamp(font.height, 1, 2000)) + "\"" +
           (font.weight >= 700 ? " font-weight=\"bold\"" : "") + " fill=\"" + hex(font.colour) +
           "\" xml:space=\"preserve\">" + xml_escaped(utf8) + "</text>\n";
}

void SvgPage::image(int x, int y, int w, int h, const uint32_t* pixels) {
  body_ += "<image x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(y) + "\" width=\"" +
           std::to_string(w) + "\" height=\"" + std::to_string(h) +
           "\" preserveAspectRatio=\"none\" style=\"image-rendering:pixelated\" "
           "xlink:href=\"data:image/png;base64," + base64(encode_png(pixels, w, h, w)) + "\"/>\n";
}

std::string SvgPage::document(int dpi) const {
  const double pt = 72.0 / dpi;
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\" "
         "version=\"1.1\" width=\"" + figure_number(width_ * pt) + "pt\" height=\"" +
         figure_number(height_ * pt) + "pt\" viewBox=\"0 0 " + std::to_string(width_) + " " +
         std::to_string(height_) + "\">\n" + (defs_.empty() ? "" : "<defs>\n" + defs_ + "</defs>\n") +
         body_ + "</svg>\n";
}

// A hatch is an 8 x 8 tile anchored on the page's corner, as on screen.
std::string SvgPage::paint(const Brush& brush) {
  if (brush.style != kBrushHatched) return hex(brush.colour);
  const std::string id = "hatch" + std::to_string(brush.hatch) + "-" + hex(brush.colour).substr(1);
  if (defs_.find("\"" + id + "\"") == std::string::npos) {
    defs_ += "<pattern id=\"" + id + "\" width=\"8\" height=\"8\" patternUnits=\"userSpaceOnUse\">";
    pixels::hatch_runs(brush.hatch, [&](int x, int y, int n) {
      defs_ += "<rect x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(y) + "\" width=\"" +
               std::to_string(n) + "\" height=\"1\" fill=\"" + hex(brush.colour) + "\"/>";
    });
    defs_ += "</pattern>\n";
  }
  return "url(#" + id + ")";
}

}  // namespace lumo::server
