// Little-endian encoding and decoding of fixed-width integers.
//
// The static files are little-endian on every platform. These helpers read and write the bytes
// one by one, so the code never depends on the host's byte order or on how a compiler lays out a
// struct.

#ifndef STATICS_CLEAN_UTIL_CODING_H_
#define STATICS_CLEAN_UTIL_CODING_H_

#include <cstdint>

namespace statics_clean {

// REQUIRES: p points at 2 readable bytes.
inline uint16_t decodeFixed16(const unsigned char* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

// REQUIRES: p points at 4 readable bytes.
inline uint32_t decodeFixed32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// REQUIRES: p points at 2 writable bytes.
inline void encodeFixed16(unsigned char* p, uint16_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
}

// REQUIRES: p points at 4 writable bytes.
inline void encodeFixed32(unsigned char* p, uint32_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
  p[2] = static_cast<unsigned char>(v >> 16);
  p[3] = static_cast<unsigned char>(v >> 24);
}

}  // namespace statics_clean

#endif  // STATICS_CLEAN_UTIL_CODING_H_
