/* Reading and writing the fields of a shared block.  Blocks are raw shared
 * memory: fields are copied, never aliased. */
#ifndef LUMO_COMMON_BLOCK_ACCESS_H
#define LUMO_COMMON_BLOCK_ACCESS_H

#include <cstdint>
#include <cstring>

namespace lumo {

inline int32_t read_i32(const unsigned char* block, int offset) {
  int32_t v;
  std::memcpy(&v, block + offset, sizeof v);
  return v;
}

inline void write_i32(unsigned char* block, int offset, int32_t value) {
  std::memcpy(block + offset, &value, sizeof value);
}

inline float read_f32(const unsigned char* block, int offset) {
  float v;
  std::memcpy(&v, block + offset, sizeof v);
  return v;
}

inline void write_f32(unsigned char* block, int offset, float value) {
  std::memcpy(block + offset, &value, sizeof value);
}

}  // namespace lumo

#endif
