// BlockReader: reads the blocks of the data file through one large buffer.
//
// The blocks of a map file lie one after another in the order of their entries, so the reader
// reads ahead in large sequential pieces and moves only its cursor when the next block lies in
// what it holds. A block elsewhere (an entry out of order, a block named twice) costs a seek and a
// small read; once reading goes on sequentially from there, the pieces grow back to the buffer's
// size. Blocks larger than the buffer pass through it in parts: memory stays at the buffer's size.

#ifndef STATICS_CLEAN_STATICS_BLOCK_READER_H_
#define STATICS_CLEAN_STATICS_BLOCK_READER_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "util/env.h"
#include "util/status.h"

namespace statics_clean {

class BlockReader {
 public:
  // REQUIRES: capacity >= 16.
  BlockReader(ReadableFile* file, std::string path, size_t capacity);

  // Puts the cursor at byte pos of the file. No I/O happens here.
  void seek(uint64_t pos);

  // Makes at least minBytes available at the cursor. wantBytes (>= minBytes) is how much the
  // caller will go on to read from here; after a seek it bounds the read-ahead, so that blocks
  // visited out of order are not each paid for with a whole buffer. A file that ends first is an
  // error.
  // REQUIRES: minBytes <= capacity.
  Status fill(size_t minBytes, uint64_t wantBytes);

  const unsigned char* data() const { return buf_.data() + begin_; }
  size_t available() const { return end_ - begin_; }
  // REQUIRES: n <= available().
  void consume(size_t n) { begin_ += n; }

 private:
  ReadableFile* file_;
  std::string path_;
  std::vector<unsigned char> buf_;
  uint64_t bufPos_ = 0;   // file position of buf_[0]
  uint64_t filePos_ = 0;  // where the file's own position stands
  size_t begin_ = 0;      // cursor
  size_t end_ = 0;        // end of the bytes held
  bool sequential_ = true;
};

}  // namespace statics_clean

#endif  // STATICS_CLEAN_STATICS_BLOCK_READER_H_
