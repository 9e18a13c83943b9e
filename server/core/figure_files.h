// The formats a window's picture can be written in, chosen by a file's name.
#ifndef LUMO_SERVER_CORE_FIGURE_FILES_H
#define LUMO_SERVER_CORE_FIGURE_FILES_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "server/core/display_list.h"

namespace lumo::server {

enum class FigureFormat { kPng, kSvg, kPdf, kEps };

// ".svg", ".pdf" and ".eps" (any case) name vector figures; every other
// name (".png", the default "*.lmd", none) the picture's pixels.
FigureFormat figure_format_of(const std::string& path);
const char* figure_extension(FigureFormat format);
// "png,svg,pdf" into formats; false (and nothing changed) when a word is
// not a format.
bool parse_figure_formats(const std::string& text, std::vector<FigureFormat>* formats);

// "DIR" or "DIR:FORMATS" (the value of LUMOVIEW_SAVE): the folder and the
// formats after its last colon ("out:png,svg,pdf"); when what follows the
// last colon is not a list of words (a drive letter's "C:\figs", or no
// colon) the whole value is the folder and the format is PNG.  False, with
// the reason, for an empty folder or a word that is not a format.
bool parse_figure_target(const std::string& value, std::string* dir,
                         std::vector<FigureFormat>* formats, std::string* error);

// Writes the display list as a vector figure: the page is the picture's
// size in points at `dpi` pixels an inch.  Written beside the target and
// renamed over it, never through a planted link.  False when the file
// cannot be written or the server has no writer for the format.
bool write_vector_figure(RecordingCanvas& list, FigureFormat format, const std::string& path,
                         int dpi);

// write_vector_figure beside the command loop: the list as it is now is
// written on a thread of its own while drawing goes on.  Null where the
// server has no such thread, or the list cannot be written (then
// write_vector_figure says why).
std::unique_ptr<BesideTask> start_vector_figure(RecordingCanvas& list, FigureFormat format,
                                                const std::string& path, int dpi);

// Writes the picture as PNG at `scale` times its size, drawn again from the
// display list (the Windows server writes its picture's own pixels).
bool write_scaled_png(RecordingCanvas& list, double scale, const std::string& path);
// The picture's PNG file at `scale` written beside the command loop: its
// pixels as they are (the list keeps them so until it is written), or at
// another scale drawn again from the list as it is now, on a thread of its
// own.  Null where the canvas cannot (then the file is written at once).
std::unique_ptr<BesideTask> start_png_file(RecordingCanvas& list, double scale, const std::string& path);

// Why the file at `path` must not be replaced by this process: it is
// write-protected for the user the server runs as, or (on POSIX) it is
// another user's in a shared folder with the sticky bit.  Empty when it may
// be replaced, and when there is no file.  Every picture and figure file
// the server writes is asked first.
std::string replace_refusal(const std::string& path);

// A PNG file's width and height from its header, without reading further;
// false when the file does not start as a PNG.
bool png_size(const std::string& path, int64_t* width, int64_t* height);

}  // namespace lumo::server

#endif
