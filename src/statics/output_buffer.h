// OutputBuffer: collects the bytes of a new file and writes them in large pieces.

#ifndef STATICS_CLEAN_STATICS_OUTPUT_BUFFER_H_
#define STATICS_CLEAN_STATICS_OUTPUT_BUFFER_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "util/env.h"
#include "util/status.h"

namespace statics_clean {

class OutputBuffer {
 public:
  // REQUIRES: capacity > 0.
  OutputBuffer(WritableFile* file, size_t capacity) : file_(file), buf_(capacity) {}

  // Makes room for n more bytes at cursor(), writing out what is held if needed.
  // REQUIRES: n <= capacity.
  Status reserve(size_t n) {
    if (buf_.size() - used_ >= n) return Status::OK();
    return flush();
  }
  unsigned char* cursor() { return buf_.data() + used_; }
  // REQUIRES: n bytes were written at cursor() after a reserve() of at least n.
  void advance(size_t n) {
    used_ += n;
    position_ += n;
  }

  // Bytes given so far, written out or held.
  uint64_t position() const { return position_; }

  Status flush() {
    if (used_ == 0) return Status::OK();
    Status s = file_->append(reinterpret_cast<const char*>(buf_.data()), used_);
    used_ = 0;
    return s;
  }

 private:
  WritableFile* file_;
  std::vector<unsigned char> buf_;
  size_t used_ = 0;
  uint64_t position_ = 0;
};

}  // namespace statics_clean

#endif  // STATICS_CLEAN_STATICS_OUTPUT_BUFFER_H_
