// A minimal PNG writer (stored deflate blocks): the Windows server saves
// windows, and puts images into figures, without an image library.  Pixels are 0x00RRGGBB, rows top down.
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
