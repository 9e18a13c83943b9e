/* One command on the POSIX transport: this header, then `size` bytes of
 * command text; the server answers with one little-endian int32. */
#ifndef LUMO_COMMON_POSIX_FRAME_H
#define LUMO_COMMON_POSIX_FRAME_H

#include <cstdint>

namespace lumo::posix_frame {

struct Header {
  uint32_t kind;   // the WM_COPYDATA data kind (1)
  uint32_t size;   // bytes that follow
};

inline constexpr uint32_t kMaxPayload = 4096;

}  // namespace lumo::posix_frame

#endif
