// The two static files.
//
// The index ("staidx0.mul") is an array of 12-byte entries, one per block of the map:
//   offset  int32   byte position of the block in the data file; -1 when the block is empty
//   length  uint32  byte length of the block; 0xFFFFFFFF also marks an empty block
//   spare   uint32  kept as it is
// The data file ("statics0.mul") holds 7-byte records, block after block:
//   itemId  uint16  the item the record places
//   rest    5 bytes kept as they are
// Everything is little-endian.

#ifndef STATICS_CLEAN_STATICS_STATIC_FORMAT_H_
#define STATICS_CLEAN_STATICS_STATIC_FORMAT_H_

#include <array>
#include <cstdint>

#include "util/coding.h"

namespace statics_clean {

constexpr uint32_t kIndexEntrySize = 12;
constexpr uint32_t kRecordSize = 7;
constexpr int32_t kNoBlock = -1;
constexpr uint32_t kNoLength = 0xFFFFFFFF;

struct StaticIndexEntry {
  int32_t offset;
  uint32_t length;
  uint32_t spare;
};

struct StaticRecord {
  uint16_t itemId;
  std::array<unsigned char, 5> rest;
};

// An entry that names no block: its block is never read and the entry is copied unchanged.
inline bool isEmptyEntry(const StaticIndexEntry& e) {
  return e.offset == kNoBlock || e.length == kNoLength;
}

// REQUIRES: p points at kIndexEntrySize readable bytes.
inline StaticIndexEntry decodeIndexEntry(const unsigned char* p) {
  return StaticIndexEntry{static_cast<int32_t>(decodeFixed32(p)), decodeFixed32(p + 4),
                          decodeFixed32(p + 8)};
}

// REQUIRES: p points at kIndexEntrySize writable bytes.
inline void encodeIndexEntry(unsigned char* p, const StaticIndexEntry& e) {
  encodeFixed32(p, static_cast<uint32_t>(e.offset));
  encodeFixed32(p + 4, e.length);
  encodeFixed32(p + 8, e.spare);
}

// REQUIRES: p points at kRecordSize readable bytes.
inline StaticRecord decodeRecord(const unsigned char* p) {
  StaticRecord r;
  r.itemId = decodeFixed16(p);
  for (int i = 0; i < 5; ++i) r.rest[i] = p[2 + i];
  return r;
}

// REQUIRES: p points at kRecordSize writable bytes.
inline void encodeRecord(unsigned char* p, const StaticRecord& r) {
  encodeFixed16(p, r.itemId);
  for (int i = 0; i < 5; ++i) p[2 + i] = r.rest[i];
}

}  // namespace statics_clean

#endif  // STATICS_CLEAN_STATICS_STATIC_FORMAT_H_
