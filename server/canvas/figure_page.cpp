// The figure writer's PDF and EPS pages (figure_paths.h): the window's
// pixels as units through one scaling (y down, 72 / dpi points a pixel),
// the standard fonts, text as WinAnsi.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>
#include <vector>

#include "server/canvas/figure_paths.h"
#include "server/canvas/pixel_rules.h"
#include "server/canvas/png_writer.h"
#include "server/canvas/svg_page.h"

namespace lumo::server::figure {
namespace {

// The standard font nearest a window's face: these need not be embedded,
// and every reader has them (with their widths).
std::string standard_font(const Font& font) {
  std::string face;
  for (const char c : font.face) face += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const bool bold = font.weight >= 700;
  if (face.find("courier") != std::string::npos || face.find("mono") != std::string::npos) {
    return bold ? "Courier-Bold" : "Courier";
  }
  if (face == "serif" || face.find("times") != std::string::npos || face.find("roman") != std::string::npos ||
      face.find("mincho") != std::string::npos) {
    return bold ? "Times-Bold" : "Times-Roman";
  }
  return bold ? "Helvetica-Bold" : "Helvetica";
}

// Text as a string literal of PDF and PostScript: WinAnsi bytes, with
// the three special characters escaped.
std::string literal(const std::string& bytes, bool latin) {
  std::string out = "(";
  for (const char ch : bytes) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c == '(' || c == ')' || c == '\\') {
      out += '\\';
      out += ch;
    } else if (c < 0x20 || (c >= 0x80 && !latin)) {
      out += c < 0x20 ? " " : "?";
    } else if (c >= 0x80) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\%03o", c);
      out += buf;
    } else {
      out += ch;
    }
  }
  return out + ")";
}

std::string rgb(Rgb c) { return figure_number(c.r / 255.0) + " " + figure_number(c.g / 255.0) + " " + figure_number(c.b / 255.0); }

// The glyph names of WinAnsi's 0x80..0x9F (PostScript's ISO Latin 1 has
// none there); "" where WinAnsi has no character.
const char* const kWinAnsiHigh[32] = {
    "Euro", "", "quotesinglbase", "florin", "quotedblbase", "ellipsis", "dagger", "daggerdbl",
    "circumflex", "perthousand", "Scaron", "guilsinglleft", "OE", "", "Zcaron", "",
    "", "quoteleft", "quoteright", "quotedblleft", "quotedblright", "bullet", "endash", "emdash",
    "tilde", "trademark", "scaron", "guilsinglright", "oe", "", "zcaron", "Ydieresis"};

// PDF and PostScript draw with the same operators under different names;
// one writer makes both pages.
class PageWriter : public Writer {
 public:
  PageWriter(bool pdf, int width, int height, int dpi, const FigureText& text)
      : pdf_(pdf), width_(width), height_(height), dpi_(dpi), text_(text) {}

  void clear(Rgb background) override {
    page_.clear();
    Path p;
    p.move(0, 0), p.line(width_, 0), p.line(width_, height_), p.line(0, height_), p.close();
    Brush b;
    b.colour = background;
    b.style = kBrushSolid;
    fill(p, b, false);
  }
  void fill(const Path& path, const Brush& brush, bool even_odd) override {
    page_ += pdf_ ? "q\n" : "gsave\n";
    if (brush.style == kBrushHatched) {
      const std::string name = pattern(brush);
      page_ += pdf_ ? "/Pattern cs /" + name + " scn\n" : name + " setpattern\n";
    } else if (brush.style == kBrushHalf) {
      if (pdf_) {
        half_ = true;
        page_ += "/Half gs " + rgb(brush.colour) + " rg\n";
      } else {
        // PostScript has no transparency: half over white.
        const Rgb c{static_cast<uint8_t>((brush.colour.r + 255) / 2), static_cast<uint8_t>((brush.colour.g + 255) / 2),
                    static_cast<uint8_t>((brush.colour.b + 255) / 2)};
        page_ += rgb(c) + " setrgbcolor\n";
      }
    } else {
      page_ += rgb(brush.colour) + (pdf_ ? " rg\n" : " setrgbcolor\n");
    }
    add_path(path);
    page_ += pdf_ ? (even_odd ? "f*\nQ\n" : "f\nQ\n") : (even_odd ? "eofill\ngrestore\n" : "fill\ngrestore\n");
  }
  void stroke(const Path& path, const Stroke& s) override {
    page_ += pdf_ ? "q\n" + rgb(s.colour) + " RG " + figure_number(s.width) + " w " + (s.round ? "1 J" : "0 J") + " 1 j"
                  : "gsave\n" + rgb(s.colour) + " setrgbcolor " + figure_number(s.width) + " setlinewidth " +
                        (s.round ? "1" : "0") + " setlinecap 1 setlinejoin";
    if (!s.dashes.empty()) {
      page_ += " [";
      for (size_t i = 0; i < s.dashes.size(); ++i) page_ += (i ? " " : "") + figure_number(s.dashes[i]);
      page_ += pdf_ ? "] 0 d" : "] 0 setdash";
    }
    page_ += "\n";
    add_path(path);
    page_ += pdf_ ? "S\nQ\n" : "stroke\ngrestore\n";
  }
  void text(const Transform& m, double x, double y, const Font& font, const std::string& bytes) override {
    const std::string name = font_resource(standard_font(font));
    // The text's own space has y down like the page's; glyphs are drawn y up.
    const Transform at = m.then(Transform{1, 0, 0, -1, x, y});
    const std::string matrix = figure_number(at.m11) + " " + figure_number(at.m12) + " " + figure_number(at.m21) + " " +
                               figure_number(at.m22) + " " + figure_number(at.dx) + " " + figure_number(at.dy);
    const std::string size = std::to_string(std::clamp(font.height, 1, 2000));
    if (pdf_) {
      page_ += "q " + rgb(font.colour) + " rg BT /" + name + " " + size + " Tf " + matrix + " Tm " +
               literal(bytes, text_.latin) + " Tj ET Q\n";
    } else {
      page_ += "gsave " + rgb(font.colour) + " setrgbcolor [" + matrix + "] concat 0 0 moveto /" + name +
               " findfont " + size + " scalefont setfont " + literal(bytes, text_.latin) + " show grestore\n";
    }
  }
  void image(int x, int y, int w, int h, const uint32_t* pixels) override {
    std::string data;
    data.reserve(static_cast<size_t>(w) * h * (pdf_ ? 3 : 6));
    for (size_t i = 0; i < static_cast<size_t>(w) * h; ++i) {
      for (int shift = 16; shift >= 0; shift -= 8) {
        const unsigned char c = static_cast<unsigned char>(pixels[i] >> shift);
        if (pdf_) {
          data += static_cast<char>(c);
        } else {
          static const char* digits = "0123456789abcdef";
          data += digits[c >> 4];
          data += digits[c & 15];
          if (i % 40 == 39 && shift == 0) data += '\n';
        }
      }
    }
    if (pdf_) {
      const std::string name = "Im" + std::to_string(images_.size() + 1);
      images_.push_back("<< /Type /XObject /Subtype /Image /Width " + std::to_string(w) + " /Height " +
                        std::to_string(h) + " /ColorSpace /DeviceRGB /BitsPerComponent 8 /Interpolate false /Length " +
                        std::to_string(data.size()) + " >>\nstream\n" + data + "\nendstream");
      page_ += "q " + std::to_string(w) + " 0 0 -" + std::to_string(h) + " " + std::to_string(x) + " " +
               std::to_string(y + h) + " cm /" + name + " Do Q\n";
    } else {
      page_ += "gsave " + std::to_string(x) + " " + std::to_string(y) + " translate " + std::to_string(w) + " " +
               std::to_string(h) + " scale " + std::to_string(w) + " " + std::to_string(h) + " 8 [" +
               std::to_string(w) + " 0 0 " + std::to_string(h) + " 0 0] <\n" + data + "\n> false 3 colorimage grestore\n";
    }
  }
  std::string finish() override { return pdf_ ? pdf() : eps(); }

 private:
  void add_path(const Path& path) {
    for (const Segment& s : path.segments) {
      switch (s.op) {
        case 'M': page_ += figure_number(s.x[0]) + " " + figure_number(s.y[0]) + (pdf_ ? " m\n" : " moveto\n"); break;
        case 'L': page_ += figure_number(s.x[0]) + " " + figure_number(s.y[0]) + (pdf_ ? " l\n" : " lineto\n"); break;
        case 'C':
          for (int i = 0; i < 3; ++i) page_ += figure_number(s.x[i]) + " " + figure_number(s.y[i]) + " ";
          page_ += pdf_ ? "c\n" : "curveto\n";
          break;
        default: page_ += pdf_ ? "h\n" : "closepath\n";
      }
    }
  }
  std::string font_resource(const std::string& base) {
    for (size_t i = 0; i < fonts_.size(); ++i) {
      if (fonts_[i] == base) return pdf_ ? "F" + std::to_string(i + 1) : base + "-WinAnsi";
    }
    fonts_.push_back(base);
    return pdf_ ? "F" + std::to_string(fonts_.size()) : base + "-WinAnsi";
  }
  // An 8 x 8 tile of the hatch's pixels, in page pixels from the corner.
  std::string pattern(const Brush& brush) {
    std::string tile = rgb(brush.colour) + (pdf_ ? " rg\n" : " setrgbcolor\n");
    pixels::hatch_runs(brush.hatch, [&](int x, int y, int n) {
      tile += std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(n) +
              (pdf_ ? " 1 re\n" : " 1 rectfill\n");
    });
    if (pdf_) tile += "f\n";
    const std::string key = std::to_string(brush.hatch) + rgb(brush.colour);
    auto found = patterns_.find(key);
    if (found != patterns_.end()) return found->second.first;
    const std::string name = "P" + std::to_string(patterns_.size() + 1);
    patterns_[key] = {name, tile};
    return name;
  }
  double points() const { return 72.0 / dpi_; }

  std::string pdf() const {
    const double s = points();
    std::vector<std::string> objects;  // object n is objects[n - 1]
    objects.push_back("<< /Type /Catalog /Pages 2 0 R >>");
    objects.push_back("<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    objects.push_back("");  // the page, once its resources are numbered
    const std::string content = figure_number(s) + " 0 0 " + figure_number(-s) + " 0 " + figure_number(height_ * s) + " cm\n" + page_;
    objects.push_back("<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "\nendstream");
    std::string fonts, xobjects, patterns;
    for (size_t i = 0; i < fonts_.size(); ++i) {
      objects.push_back("<< /Type /Font /Subtype /Type1 /BaseFont /" + fonts_[i] +
                        " /Encoding /WinAnsiEncoding >>");
      fonts += "/F" + std::to_string(i + 1) + " " + std::to_string(objects.size()) + " 0 R ";
    }
    for (size_t i = 0; i < images_.size(); ++i) {
      objects.push_back(images_[i]);
      xobjects += "/Im" + std::to_string(i + 1) + " " + std::to_string(objects.size()) + " 0 R ";
    }
    for (const auto& entry : patterns_) {
      const std::string& tile = entry.second.second;
      objects.push_back("<< /Type /Pattern /PatternType 1 /PaintType 1 /TilingType 1 /BBox [0 0 8 8] "
                        "/XStep 8 /YStep 8 /Resources << >> /Matrix [" + figure_number(s) + " 0 0 " + figure_number(-s) + " 0 " +
                        figure_number(height_ * s) + "] /Length " + std::to_string(tile.size()) + " >>\nstream\n" + tile +
                        "\nendstream");
      patterns += "/" + entry.second.first + " " + std::to_string(objects.size()) + " 0 R ";
    }
    objects[2] = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + figure_number(width_ * s) + " " + figure_number(height_ * s) +
                 "] /Contents 4 0 R /Resources << /Font << " + fonts + ">> /XObject << " + xobjects +
                 ">> /Pattern << " + patterns + ">>" +
                 (half_ ? " /ExtGState << /Half << /ca 0.5 >> >>" : "") + " >> >>";
    std::string out = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
    std::vector<size_t> offsets;
    for (size_t i = 0; i < objects.size(); ++i) {
      offsets.push_back(out.size());
      out += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const size_t xref = out.size();
    out += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (size_t offset : offsets) {
      char line[24];
      std::snprintf(line, sizeof line, "%010zu 00000 n \n", offset);
      out += line;
    }
    out += "trailer\n<< /Size " + std::to_string(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
           std::to_string(xref) + "\n%%EOF\n";
    return out;
  }

  std::string eps() const {
    const double s = points();
    const int w = static_cast<int>(std::ceil(width_ * s)), h = static_cast<int>(std::ceil(height_ * s));
    std::string out = "%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 " + std::to_string(w) + " " + std::to_string(h) +
                      "\n%%HiResBoundingBox: 0 0 " + figure_number(width_ * s) + " " + figure_number(height_ * s) +
                      "\n%%Creator: lumoview\n%%LanguageLevel: 2\n%%Pages: 1\n%%EndComments\n%%BeginProlog\n";
    // Fonts with WinAnsi's characters: ISO Latin 1 with WinAnsi's 0x80..0x9F.
    out += "/WinAnsiEncoding ISOLatin1Encoding 256 array copy def\n";
    for (int i = 0; i < 32; ++i) {
      if (*kWinAnsiHigh[i]) out += "WinAnsiEncoding " + std::to_string(128 + i) + " /" + kWinAnsiHigh[i] + " put\n";
    }
    for (const std::string& base : fonts_) {
      out += "/" + base + "-WinAnsi /" + base +
             " findfont dup length dict begin {1 index /FID ne {def} {pop pop} ifelse} forall "
             "/Encoding WinAnsiEncoding def currentdict end definefont pop\n";
    }
    out += "%%EndProlog\n%%Page: 1 1\nsave\n[" + figure_number(s) + " 0 0 " + figure_number(-s) + " 0 " + figure_number(height_ * s) + "] concat\n";
    for (const auto& entry : patterns_) {
      out += "/" + entry.second.first +
             " << /PatternType 1 /PaintType 1 /TilingType 1 /BBox [0 0 8 8] /XStep 8 /YStep 8 "
             "/PaintProc { pop\n" + entry.second.second + "} >> matrix makepattern def\n";
    }
    out += page_;
    out += "restore\nshowpage\n%%EOF\n";
    return out;
  }

  bool pdf_;
  int width_, height_, dpi_;
  const FigureText& text_;
  std::string page_;
  std::vector<std::string> fonts_, images_;
  std::map<std::string, std::pair<std::string, std::string>> patterns_;  // key: name, tile
  bool half_ = false;
};

}  // namespace

std::unique_ptr<Writer> page_writer(bool pdf, int width, int height, int dpi, const FigureText& text) {
  return std::make_unique<PageWriter>(pdf, width, height, dpi, text);
}

}  // namespace lumo::server::figure
