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
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "server/canvas/ansi_text.h"
#include "server/canvas/beside_thread.h"
#include "server/canvas/cairo_canvas.h"
#include "server/canvas/file_output.h"
#include "server/canvas/pixel_rules.h"
#include "server/canvas/svg_page.h"
#include "server/core/figure_files.h"

namespace lumo::server {
namespace {

// The figures of a CairoCanvas as SVG elements, from the paths cairo built.
class SvgSink : public VectorSink {
 public:
  SvgSink(int width, int height) : page_(width, height) {}

  void fill(cairo_t* cr, const Brush& brush) override {
    page_.fill(path_of(cr), brush, cairo_get_fill_rule(cr) == CAIRO_FILL_RULE_EVEN_ODD);
  }

  void stroke(cairo_t* cr, Rgb colour) override {
    cairo_matrix_t m;
    cairo_get_matrix(cr, &m);
    // A line width in user space, in device pixels (the mean scale).
    const double scale = std::sqrt(std::fabs(m.xx * m.yy - m.xy * m.yx));
    double runs[8] = {0}, offset = 0;
    const int dashes = std::min(cairo_get_dash_count(cr), 8);
    if (dashes > 0) cairo_get_dash(cr, runs, &offset);
    for (int i = 0; i < dashes; ++i) runs[i] *= scale;
    page_.stroke(path_of(cr), colour, cairo_get_line_width(cr) * scale,
                 cairo_get_line_cap(cr) == CAIRO_LINE_CAP_ROUND, cairo_get_line_join(cr) == CAIRO_LINE_JOIN_ROUND,
                 runs, dashes);
  }

  void text(const cairo_matrix_t& m, double x, double y, const Font& font,
            const std::string& utf8) override {
    const double matrix[6] = {m.xx, m.yx, m.xy, m.yy, m.x0, m.y0};
    page_.text(matrix, x, y, font, font.face.empty() ? "" : to_utf8(font.face), utf8);
  }

  void image(int x, int y, int w, int h, const uint32_t* pixels) override { page_.image(x, y, w, h, pixels); }
  void clear(Rgb background) override { page_.clear(background); }
  std::string document(int dpi) const { return page_.document(dpi); }

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
      auto xy = [&](int k) { return figure_number(p[k].point.x) + " " + figure_number(p[k].point.y); };
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

  SvgPage page_;
};

cairo_status_t to_file(void* closure, const unsigned char* data, unsigned int length) {
  return static_cast<FileOutput*>(closure)->write(data, length) ? CAIRO_STATUS_SUCCESS
                                                               : CAIRO_STATUS_WRITE_ERROR;
}

}  // namespace

namespace {

// The figure of a snapshot of the list: on the loop's thread or another.
bool write_figure(const RecordingCanvas::Snapshot& list, FigureFormat format, const std::string& path, int dpi) {
  if (format == FigureFormat::kPng || !list.complete) return false;
  dpi = std::clamp(dpi, 1, 10000);
  const int w = list.width, h = list.height;
  FileOutput out(path);
  if (!out.open()) return false;
  if (format == FigureFormat::kSvg) {
    cairo_surface_t* scratch = cairo_recording_surface_create(CAIRO_CONTENT_COLOR, nullptr);
    SvgSink sink(w, h);
    bool drawn = true;
    {
      CairoCanvas canvas(scratch, w, h, &sink);
      RecordingCanvas::replay(list, canvas, true);
      drawn = canvas.drawing_ok();
    }
    cairo_surface_destroy(scratch);
    if (!drawn) {
      errno = EILSEQ;
      return false;
    }
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
  bool drawn = true;
  {
    CairoCanvas canvas(surface, w, h, nullptr);
    RecordingCanvas::replay(list, canvas, true);
    drawn = canvas.drawing_ok();
  }
  cairo_surface_finish(surface);
  // A figure that could not be drawn whole is not written at all.
  if (!drawn) errno = EILSEQ;
  const bool ok = drawn && cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(surface);
  return ok && out.commit();
}


}  // namespace

bool write_vector_figure(RecordingCanvas& list, FigureFormat format, const std::string& path,
                         int dpi) {
  return write_figure(list.snapshot(), format, path, dpi);
}

std::unique_ptr<BesideTask> start_vector_figure(RecordingCanvas& list, FigureFormat format,
                                                const std::string& path, int dpi) {
  if (format == FigureFormat::kPng || !list.complete()) return nullptr;
  // Written on a thread of its own from a snapshot of the list.
  return std::make_unique<ThreadTask>([list = list.snapshot(), format, path, dpi](const std::atomic<bool>&) {
    return write_figure(list, format, path, dpi);
  });
}

}  // namespace lumo::server
