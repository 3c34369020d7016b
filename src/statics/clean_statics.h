// cleanStatics: the cleaning pass.
//
// Reads the index "staidx0.mul" and the data file "statics0.mul" and writes a cleaned pair,
// "staidx0_n.mul" and "statics0_n.mul", in which every record whose item ID is on the
// DeletionList is gone. The entries are handled in order: an empty entry is copied unchanged; any
// other entry's block is read, its kept records are appended to the new data file, and the entry
// is given the block's new offset and its length less 7 for each dropped record (offset -1 and
// length 0 once every record is gone). A block named by two entries is copied once for each.
// Trailing bytes of a block whose length is not a multiple of 7 are copied after its kept records.
//
// Promises:
//  - Every entry is checked against the data file's size before the first output byte is
//    written; a block outside the file fails the run and writes nothing.
//  - The output pair is replaced both or neither (see OutputPair): any failure leaves an earlier
//    pair exactly as it was, and no temporary file behind.
//  - Console output goes to options.console: "\r%.2f %" progress for each non-empty entry whose
//    number is a multiple of 100, "\r100.00 %\n" once the entries are done, and
//    "%i items deleted!\n" once the new pair is in place, and nothing else.
//  - Memory: the index entries, one read buffer and one write buffer, whatever the block sizes.

#ifndef STATICS_CLEAN_STATICS_CLEAN_STATICS_H_
#define STATICS_CLEAN_STATICS_CLEAN_STATICS_H_

#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "deletion_list/deletion_list.h"
#include "util/env.h"
#include "util/reporter.h"
#include "util/status.h"

namespace statics_clean {

extern const char kIndexFileName[];  // "staidx0.mul"
extern const char kDataFileName[];   // "statics0.mul"

// The ways the pass ends. Codes 1 to 3 end it before any output file exists.
enum CleanCode : int {
  kCleanOk = 0,
  kIndexSizeInvalid = 1,   // the index size is not a multiple of 12
  kIndexOpenFailed = 2,    // "staidx0.mul" cannot be opened
  kDataOpenFailed = 3,     // "statics0.mul" cannot be opened
  kIndexReadFailed = 4,    // the index could not be read whole
  kCorruptEntry = 5,       // an entry names a block outside the data file
  kDataReadFailed = 6,     // a block could not be read
  kOutputFailed = 7,       // a new file could not be created, written, synced, closed or renamed
  kOutputTooLarge = 8,     // the new data file would pass 2 GiB - 1 bytes
  kOutOfMemory = 9,
  kInterrupted = 10,       // *options.interrupted became non-zero
  kLeftoverNotRemoved = 11 // a file a killed run left could not be removed or put back
};

// Warnings of one kind shown one by one before the rest are only counted.
constexpr size_t kWarningsShown = 10;

struct CleanOptions {
  Env* env = nullptr;
  std::string folder = ".";
  const DeletionList* list = nullptr;
  Reporter* reporter = nullptr;
  std::FILE* console = nullptr;
  bool flushEveryLine = false;  // console is a terminal: show each line at once
  // Polled between entries; non-zero stops the run as a failure. May be null.
  const volatile std::sig_atomic_t* interrupted = nullptr;
  // Sizes of the read and write buffers; tests make them small to reach their edges.
  size_t readBufferSize = 1 << 20;
  size_t writeBufferSize = 1 << 20;
};

struct CleanSummary {
  int64_t deleted = 0;            // records dropped
  bool progressPrinted = false;   // a line without its newline may stand on the console
};

// REQUIRES: env, list, reporter and console are not null; readBufferSize >= 16.
Status cleanStatics(const CleanOptions& options, CleanSummary* summary);

}  // namespace statics_clean

#endif  // STATICS_CLEAN_STATICS_CLEAN_STATICS_H_
