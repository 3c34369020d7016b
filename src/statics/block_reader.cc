#include "statics/block_reader.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace statics_clean {
namespace {

// The first read after a seek takes at least this much, so that a few neighbouring blocks come
// along with the one wanted.
constexpr uint64_t kReadAfterSeek = 4096;

}  // namespace

BlockReader::BlockReader(ReadableFile* file, std::string path, size_t capacity)
    : file_(file), path_(std::move(path)), buf_(capacity) {}

void BlockReader::seek(uint64_t pos) {
  if (pos >= bufPos_ && pos <= bufPos_ + end_) {
    begin_ = static_cast<size_t>(pos - bufPos_);
    return;
  }
  bufPos_ = pos;
  begin_ = end_ = 0;
  sequential_ = false;
}

Status BlockReader::fill(size_t minBytes, uint64_t wantBytes) {
  if (available() >= minBytes) return Status::OK();
  if (begin_ > 0) {
    std::memmove(buf_.data(), buf_.data() + begin_, end_ - begin_);
    bufPos_ += begin_;
    end_ -= begin_;
    begin_ = 0;
  }
  while (end_ < minBytes) {
    const uint64_t readPos = bufPos_ + end_;
    if (readPos != filePos_) {
      Status s = file_->seek(readPos);
      if (!s.ok()) return s;
      filePos_ = readPos;
    } else {
      sequential_ = true;  // reading on from where the last read stopped
    }
    size_t room = buf_.size() - end_;
    if (!sequential_) {
      uint64_t want = std::max<uint64_t>(std::max<uint64_t>(wantBytes, minBytes) - end_,
                                         kReadAfterSeek);
      room = static_cast<size_t>(std::min<uint64_t>(room, want));
    }
    size_t got = 0;
    Status s = file_->read(reinterpret_cast<char*>(buf_.data() + end_), room, &got);
    if (!s.ok()) return s;
    filePos_ += got;
    end_ += got;
    if (got < room && end_ < minBytes) {
      return Status(kEnvIoError, path_,
                    "the file ends at byte " + std::to_string(filePos_) +
                        ", before the end of a block its index names");
    }
  }
  return Status::OK();
}

}  // namespace statics_clean
