// SVG, PDF and EPS written from a display list without a graphics library:
// the figures of the kit as paths (the same shapes the cairo canvas draws
// anti-aliased), text as text, kept pixels as images.  The Windows server
// writes its figures with it.
#ifndef LUMO_SERVER_CANVAS_FIGURE_WRITER_H
#define LUMO_SERVER_CANVAS_FIGURE_WRITER_H

#include <functional>
#include <string>

#include "server/core/display_list.h"
#include "server/core/figure_files.h"

namespace lumo::server {

struct FigureText {
  // Program text (its ANSI code page) as UTF-8, for SVG.
  std::function<std::string(const std::string&)> to_utf8;
  // True when program text is code page 1252 (PDF and EPS write it as
  // WinAnsi text; other code pages keep ASCII and write "?" for the rest).
  bool latin = true;
};

// The figure's bytes; empty when the format is not a vector format.
std::string make_figure(RecordingCanvas& list, FigureFormat format, int dpi, const FigureText& text);
// The same from a snapshot of the list (on any thread), its texts measured
// by `measurer`.
std::string make_figure(const RecordingCanvas::Snapshot& list, Canvas& measurer, FigureFormat format, int dpi,
                        const FigureText& text);

}  // namespace lumo::server

#endif
