// The byte order of the static files, whatever the host's.

#include <gtest/gtest.h>

#include "statics/static_format.h"
#include "util/coding.h"

namespace statics_clean {
namespace {

TEST(Coding, FixedWidthValuesAreLittleEndianBytes) {
  unsigned char b[4];
  encodeFixed32(b, 0x12345678);
  EXPECT_EQ(b[0], 0x78);
  EXPECT_EQ(b[1], 0x56);
  EXPECT_EQ(b[2], 0x34);
  EXPECT_EQ(b[3], 0x12);
  EXPECT_EQ(decodeFixed32(b), 0x12345678u);
  encodeFixed16(b, 0xBEEF);
  EXPECT_EQ(b[0], 0xEF);
  EXPECT_EQ(b[1], 0xBE);
  EXPECT_EQ(decodeFixed16(b), 0xBEEF);
}

TEST(Coding, IndexEntriesAndRecordsRoundTripThroughTheirBytes) {
  const unsigned char bytes[12] = {0xFF, 0xFF, 0xFF, 0xFF, 0x0E, 0, 0, 0, 1, 2, 3, 4};
  StaticIndexEntry e = decodeIndexEntry(bytes);
  EXPECT_EQ(e.offset, -1);
  EXPECT_EQ(e.length, 14u);
  EXPECT_EQ(e.spare, 0x04030201u);
  unsigned char again[12];
  encodeIndexEntry(again, e);
  EXPECT_EQ(std::memcmp(bytes, again, 12), 0);

  const unsigned char rec[7] = {0x34, 0x12, 9, 8, 7, 6, 5};
  StaticRecord r = decodeRecord(rec);
  EXPECT_EQ(r.itemId, 0x1234);
  EXPECT_EQ(r.rest[0], 9);
  EXPECT_EQ(r.rest[4], 5);
  unsigned char out[7];
  encodeRecord(out, r);
  EXPECT_EQ(std::memcmp(rec, out, 7), 0);
}

}  // namespace
}  // namespace statics_clean
