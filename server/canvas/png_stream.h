// PNG files of the Linux server's pictures, written with zlib at a fast
// level.  The server's pictures are drawings: flat backgrounds, lines and
// text.  For them zlib's level 2 with rows left unfiltered wherever that
// repeats as well packs about as small as cairo's own writer (level 6, the
// filter with the smallest bytes) and takes a third to a quarter of its
// time, which is most of what a small headless job spends after drawing
// (docs/performance.md).  Each row takes the filter (none, left or up)
// whose bytes change least often from one to the next; smooth pictures
// still get the left or up filter.
#ifndef LUMO_SERVER_CANVAS_PNG_STREAM_H
#define LUMO_SERVER_CANVAS_PNG_STREAM_H

#include <cairo.h>

#include "server/canvas/file_output.h"

namespace lumo::server {

// Writes an opaque image surface (CAIRO_FORMAT_RGB24) as an 8-bit RGB PNG;
// false when it is no such surface, memory runs out or a write fails.
bool write_rgb24_png(cairo_surface_t* surface, FileOutput& out);
// The same from 0x00RRGGBB pixels, rows `stride` bytes apart (any thread:
// it touches nothing but the pixels and the file).
bool write_rgb24_png(const unsigned char* data, int width, int height, int stride, FileOutput& out);

}  // namespace lumo::server

#endif
