// A small PNG writer (filtered rows, compressed with the server's own
// deflate): the Windows server saves windows, and both servers put images
// into SVG figures, without an image library.  Pixels are 0x00RRGGBB, rows
// top down.
#ifndef LUMO_SERVER_CANVAS_PNG_WRITER_H
#define LUMO_SERVER_CANVAS_PNG_WRITER_H

#include <cstdint>
#include <string>

namespace lumo::server {

// The PNG file's bytes.
std::string encode_png(const uint32_t* pixels, int width, int height, int stride_pixels);
bool write_png(const std::string& path, const uint32_t* pixels, int width, int height,
               int stride_pixels);

}  // namespace lumo::server

#endif
