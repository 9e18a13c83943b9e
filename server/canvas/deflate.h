// Deflate compression (RFC 1951) in a zlib stream (RFC 1950), for the PNG
// data the servers write: the Windows server carries no compression library.
#ifndef LUMO_SERVER_CANVAS_DEFLATE_H
#define LUMO_SERVER_CANVAS_DEFLATE_H

#include <cstddef>
#include <vector>

namespace lumo::server {

// The bytes as a zlib stream.  Repeats are found over the 32 KiB window
// (hash chains, one step of lazy matching); each block of the stream is
// written with Huffman codes made for it, with the fixed codes, or stored,
// whichever is shortest.
std::vector<unsigned char> zlib_compress(const unsigned char* data, size_t size);

}  // namespace lumo::server

#endif
