// Helpers that build static file pairs in tests, and a plain model of what the pass must write.
//
// referenceClean follows the pass's rules one record at a time, with no buffering of any kind, so
// that tests can compare the tool's fast path against it on any pair.

#ifndef STATICS_CLEAN_TESTS_SUPPORT_PAIR_BUILDER_H_
#define STATICS_CLEAN_TESTS_SUPPORT_PAIR_BUILDER_H_

#include <cstdint>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "statics/static_format.h"
#include "util/env.h"

namespace statics_clean {

std::string indexBytes(const std::vector<StaticIndexEntry>& entries);
std::vector<StaticIndexEntry> decodeIndex(const std::string& bytes);

// A 7-byte record of item itemId whose other 5 bytes are derived from tag, so that records of
// the same item can be told apart in the output.
std::string recordBytes(uint16_t itemId, uint32_t tag);

struct ReferenceResult {
  std::string index;
  std::string data;
  int64_t deleted = 0;
};
ReferenceResult referenceClean(const std::string& index, const std::string& data,
                               const std::set<uint16_t>& ids);

// The text of a deletion list naming ids, one per line.
std::string listText(const std::set<uint16_t>& ids);

// A stdio stream on a scratch file of its own, removed when the object goes. (The C library's
// tmpfile() is not used: on Windows it names its files from a per-process counter, so tests
// running side by side would share them.)
class ScratchStream {
 public:
  ScratchStream();
  ~ScratchStream();
  ScratchStream(const ScratchStream&) = delete;
  ScratchStream& operator=(const ScratchStream&) = delete;
  std::FILE* get() const { return file_; }
  const std::string& path() const { return path_; }
  // Everything written so far.
  std::string contents();

 private:
  std::string path_;
  std::FILE* file_ = nullptr;
};

struct ToolRun {
  int exitStatus = -1;
  std::string out;
  std::string err;
};
// Runs the tool in folder of env, as the executable does, with its output captured.
ToolRun runToolIn(Env* env, const std::string& folder = ".");

bool operator==(const StaticIndexEntry& a, const StaticIndexEntry& b);

}  // namespace statics_clean

#endif  // STATICS_CLEAN_TESTS_SUPPORT_PAIR_BUILDER_H_
