// Vector figures from a window's display list.  The list is replayed onto a
// CairoCanvas that draws every figure as a cairo path (no pixel rules):
// PDF and EPS through cairo's own surfaces (text as text with the font
// embedded), SVG through SvgSink, which writes each filled or stroked path
// as an SVG element and each text as a <text> element (cairo's SVG surface
// would turn text into glyph outlines).
#include <cairo-pdf.h>
#include <cairo-ps.h>
#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "server/canvas/ansi_text.h"
#include "server/canvas/cairo_canvas.h"
#include "server/canvas/file_output.h"
#include "server/canvas/pixel_rules.h"
#include "server/core/figure_files.h"

namespace lumo::server {
namespace {

std::string number(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.3f", std::fabs(v) < 5e-4 ? 0.0 : v);
  std::string s = buf;
  s.erase(s.find_last_not_of('0') + 1);
  if (!s.empty() && s.back() == '.') s.pop_back();
  return s;
}

std::string hex(Rgb c) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "#%02x%02x%02x", c.r, c.g, c.b);
  return buf;
}

std::string escaped(const std::string& text) {
  std::string out;
  for (const char ch : text) {
    const unsigned char c = static_cast<unsigned char>(ch);
    switch (ch) {
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '&': out += "&amp;"; break;
      case '"': out += "&quot;"; break;
      default:
        // Control characters are not allowed in XML 1.0.
        if (c >= 0x20 || ch == '\t') out += ch;
    }
  }
  return out;
}

std::string base64(const std::string& bytes) {
  static const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    const uint32_t v = (static_cast<uint8_t>(bytes[i]) << 16) | (static_cast<uint8_t>(bytes[i + 1]) << 8) |
                       static_cast<uint8_t>(bytes[i + 2]);
    out += digits[v >> 18], out += digits[(v >> 12) & 63], out += digits[(v >> 6) & 63], out += digits[v & 63];
  }
  if (i < bytes.size()) {
    const uint32_t v = (static_cast<uint8_t>(bytes[i]) << 16) |
                       (i + 1 < bytes.size() ? static_cast<uint8_t>(bytes[i + 1]) << 8 : 0);
    out += digits[v >> 18], out += digits[(v >> 12) & 63];
    out += i + 1 < bytes.size() ? digits[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

cairo_surface_t* image_of(int w, int h, const uint32_t* pixels) {
  cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
  cairo_surface_flush(image);
  unsigned char* data = cairo_image_surface_get_data(image);
  const int stride = cairo_image_surface_get_stride(image);
  for (int j = 0; j < h; ++j) {
    std::memcpy(data + static_cast<size_t>(j) * stride, pixels + static_cast<size_t>(j) * w, 4 * static_cast<size_t>(w));
  }
  cairo_surface_mark_dirty(image);
  return image;
}

class SvgSink : public VectorSink {
 public:
  SvgSink(int width, int height) : width_(width), height_(height) {}

  void fill(cairo_t* cr, const Brush& brush, bool half) override {
    const std::string d = path_of(cr);
    if (d.empty()) return;
    body_ += "<path d=\"" + d + "\" fill=\"" + paint_of(brush) + "\"";
    if (cairo_get_fill_rule(cr) == CAIRO_FILL_RULE_EVEN_ODD) body_ += " fill-rule=\"evenodd\"";
    if (half) body_ += " fill-opacity=\"0.5\"";
    body_ += "/>\n";
  }

  void stroke(cairo_t* cr, Rgb colour) override {
    const std::string d = path_of(cr);
    if (d.empty()) return;
    cairo_matrix_t m;
    cairo_get_matrix(cr, &m);
    // A line width in user space, in device pixels (the mean scale).
    const double scale = std::sqrt(std::fabs(m.xx * m.yy - m.xy * m.yx));
    body_ += "<path d=\"" + d + "\" fill=\"none\" stroke=\"" + hex(colour) + "\" stroke-width=\"" +
             number(cairo_get_line_width(cr) * scale) + "\"";
    body_ += cairo_get_line_cap(cr) == CAIRO_LINE_CAP_ROUND ? " stroke-linecap=\"round\"" : "";
    body_ += cairo_get_line_join(cr) == CAIRO_LINE_JOIN_ROUND ? " stroke-linejoin=\"round\"" : "";
    const int dashes = cairo_get_dash_count(cr);
    if (dashes > 0) {
      double runs[8], offset = 0;
      cairo_get_dash(cr, runs, &offset);
      body_ += " stroke-dasharray=\"";
      for (int i = 0; i < dashes && i < 8; ++i) body_ += (i ? "," : "") + number(runs[i] * scale);
      body_ += "\"";
    }
    body_ += "/>\n";
  }

  void text(const cairo_matrix_t& m, double x, double y, const Font& font,
            const std::string& utf8) override {
    body_ += "<text transform=\"matrix(" + number(m.xx) + " " + number(m.yx) + " " + number(m.xy) +
             " " + number(m.yy) + " " + number(m.x0) + " " + number(m.y0) + ")\" x=\"" + number(x) +
             "\" y=\"" + number(y) + "\" font-family=\"" +
             escaped(font.face.empty() ? "sans-serif" : to_utf8(font.face)) + "\" font-size=\"" +
             number(std::clamp(font.height, 1, 2000)) + "\"" +
             (font.weight >= 700 ? " font-weight=\"bold\"" : "") + " fill=\"" + hex(font.colour) +
             "\" xml:space=\"preserve\">" + escaped(utf8) + "</text>\n";
  }

  void image(int x, int y, int w, int h, const uint32_t* pixels) override {
    cairo_surface_t* image = image_of(w, h, pixels);
    std::string png;
    auto append = [](void* closure, const unsigned char* data, unsigned int length) {
      static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
      return CAIRO_STATUS_SUCCESS;
    };
    cairo_surface_write_to_png_stream(image, append, &png);
    cairo_surface_destroy(image);
    body_ += "<image x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(y) + "\" width=\"" +
             std::to_string(w) + "\" height=\"" + std::to_string(h) +
             "\" preserveAspectRatio=\"none\" style=\"image-rendering:pixelated\" "
             "xlink:href=\"data:image/png;base64," + base64(png) + "\"/>\n";
  }

  void clear(Rgb background) override {
    body_.clear();
    body_ += "<rect x=\"0\" y=\"0\" width=\"" + std::to_string(width_) + "\" height=\"" +
             std::to_string(height_) + "\" fill=\"" + hex(background) + "\"/>\n";
  }

  std::string document(int dpi) const {
    const double to_points = 72.0 / dpi;
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\" "
           "version=\"1.1\" width=\"" + number(width_ * to_points) + "pt\" height=\"" +
           number(height_ * to_points) + "pt\" viewBox=\"0 0 " + std::to_string(width_) + " " +
           std::to_string(height_) + "\">\n" +
           (defs_.empty() ? "" : "<defs>\n" + defs_ + "</defs>\n") + body_ + "</svg>\n";
  }

 private:
  // The current path in device pixels.
  static std::string path_of(cairo_t* cr) {
    cairo_save(cr);
    cairo_identity_matrix(cr);
    cairo_path_t* path = cairo_copy_path(cr);
    cairo_restore(cr);
    std::string d;
    for (int i = 0; i < path->num_data; i += path->data[i].header.length) {
      const cairo_path_data_t* p = &path->data[i];
      auto xy = [&](int k) { return number(p[k].point.x) + " " + number(p[k].point.y); };
      switch (p->header.type) {
        case CAIRO_PATH_MOVE_TO: d += "M" + xy(1); break;
        case CAIRO_PATH_LINE_TO: d += "L" + xy(1); break;
        case CAIRO_PATH_CURVE_TO: d += "C" + xy(1) + " " + xy(2) + " " + xy(3); break;
        case CAIRO_PATH_CLOSE_PATH: d += "Z"; break;
      }
    }
    cairo_path_destroy(path);
    return d;
  }

  // A hatch is an 8 x 8 tile anchored on the page's corner, as on screen.
  std::string paint_of(const Brush& brush) {
    if (brush.style != kBrushHatched) return hex(brush.colour);
    const std::string id = "hatch" + std::to_string(brush.hatch) + "-" + hex(brush.colour).substr(1);
    if (defs_.find("id=\"" + id + "\"") == std::string::npos) {
      defs_ += "<pattern id=\"" + id + "\" width=\"8\" height=\"8\" patternUnits=\"userSpaceOnUse\">";
      for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
          if (!pixels::hatch_bit(brush.hatch, x, y)) continue;
          int run = x;
          while (run + 1 < 8 && pixels::hatch_bit(brush.hatch, run + 1, y)) ++run;
          defs_ += "<rect x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(y) + "\" width=\"" +
                   std::to_string(run - x + 1) + "\" height=\"1\" fill=\"" + hex(brush.colour) + "\"/>";
          x = run;
        }
      }
      defs_ += "</pattern>\n";
    }
    return "url(#" + id + ")";
  }

  int width_, height_;
  std::string defs_, body_;
};

cairo_status_t to_file(void* closure, const unsigned char* data, unsigned int length) {
  return static_cast<FileOutput*>(closure)->write(data, length) ? CAIRO_STATUS_SUCCESS
                                                               : CAIRO_STATUS_WRITE_ERROR;
}

}  // namespace

bool write_vector_figure(RecordingCanvas& list, FigureFormat format, const std::string& path,
                         int dpi) {
  if (format == FigureFormat::kPng || !list.complete()) return false;
  dpi = std::clamp(dpi, 1, 10000);
  const int w = list.width(), h = list.height();
  FileOutput out(path);
  if (!out.open()) return false;
  if (format == FigureFormat::kSvg) {
    cairo_surface_t* scratch = cairo_recording_surface_create(CAIRO_CONTENT_COLOR, nullptr);
    SvgSink sink(w, h);
    {
      CairoCanvas canvas(scratch, w, h, &sink);
      list.replay(canvas, true);
    }
    cairo_surface_destroy(scratch);
    const std::string doc = sink.document(dpi);
    return out.write(doc.data(), doc.size()) && out.commit();
  }
  const double points = 72.0 / dpi;
  cairo_surface_t* surface =
      format == FigureFormat::kPdf
          ? cairo_pdf_surface_create_for_stream(to_file, &out, w * points, h * points)
          : cairo_ps_surface_create_for_stream(to_file, &out, w * points, h * points);
  if (format == FigureFormat::kEps) cairo_ps_surface_set_eps(surface, 1);
  if (format == FigureFormat::kPdf) cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_CREATOR, "lumoview");
  cairo_surface_set_device_scale(surface, points, points);
  cairo_surface_set_fallback_resolution(surface, dpi, dpi);
  {
    CairoCanvas canvas(surface, w, h, nullptr);
    list.replay(canvas, true);
  }
  cairo_surface_finish(surface);
  const bool ok = cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(surface);
  return ok && out.commit();
}

}  // namespace lumo::server
