// Little-endian encoding and decoding of fixed-width integers.
//
// The static files are little-endian on every platform. These helpers never depend on the host's
// byte order or on how a compiler lays out a struct: on a little-endian host a value's bytes are
// copied as they are (one load or store, which the pass does millions of times), on any other they
// are put together one by one.

#ifndef STATICS_CLEAN_UTIL_CODING_H_
#define STATICS_CLEAN_UTIL_CODING_H_

#include <cstdint>
#include <cstring>

namespace statics_clean {

constexpr bool kLittleEndianHost = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;

// REQUIRES: p points at 2 readable bytes.
inline uint16_t decodeFixed16(const unsigned char* p) {
  if (kLittleEndianHost) {
    uint16_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
  }
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

// REQUIRES: p points at 4 readable bytes.
inline uint32_t decodeFixed32(const unsigned char* p) {
  if (kLittleEndianHost) {
    uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
  }
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// REQUIRES: p points at 2 writable bytes.
inline void encodeFixed16(unsigned char* p, uint16_t v) {
  if (kLittleEndianHost) {
    std::memcpy(p, &v, sizeof v);
    return;
  }
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
}

// REQUIRES: p points at 4 writable bytes.
inline void encodeFixed32(unsigned char* p, uint32_t v) {
  if (kLittleEndianHost) {
    std::memcpy(p, &v, sizeof v);
    return;
  }
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
  p[2] = static_cast<unsigned char>(v >> 16);
  p[3] = static_cast<unsigned char>(v >> 24);
}

}  // namespace statics_clean

#endif  // STATICS_CLEAN_UTIL_CODING_H_
