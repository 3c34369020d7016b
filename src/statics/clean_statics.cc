#include "statics/clean_statics.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "statics/block_reader.h"
#include "statics/output_buffer.h"
#include "statics/output_pair.h"
#include "statics/percent.h"
#include "statics/static_format.h"

namespace statics_clean {

const char kIndexFileName[] = "staidx0.mul";
const char kDataFileName[] = "statics0.mul";

namespace {

// The largest data file whose every position an int32 offset can hold.
constexpr uint64_t kMaxDataFileSize = 0x7FFFFFFF;
// Entries read or written per call.
constexpr size_t kIndexChunkEntries = 8192;

// Removes the temporaries of the run unless the pair was committed, also when an allocation
// failure unwinds the pass. Declared before the files it names, so that they are closed first.
class TemporariesGuard {
 public:
  TemporariesGuard(Env* env, const OutputPairNames& names) : env_(env), names_(names) {}
  ~TemporariesGuard() {
    if (armed_) abandonOutputPair(env_, names_);
  }
  void arm() { armed_ = true; }
  void disarm() { armed_ = false; }

 private:
  Env* env_;
  const OutputPairNames& names_;
  bool armed_ = false;
};

class Console {
 public:
  explicit Console(const CleanOptions& options, CleanSummary* summary)
      : options_(options), summary_(summary) {}

  // The lines are printed without allocating: the count is printed after the new pair is in
  // place, where running out of memory must not turn a finished run into a failed one.
  void progress(uint64_t entry, uint64_t entryCount) {
    char percent[kPercentTextSize];
    formatPercent(static_cast<double>(entry) / static_cast<double>(entryCount) * 100.0, percent);
    std::fprintf(options_.console, "\r%s %%", percent);
    flushIfTerminal();
    summary_->progressPrinted = true;
  }
  void done() {
    std::fputs("\r100.00 %\n", options_.console);
    flushIfTerminal();
    summary_->progressPrinted = false;
  }
  void deleted(int64_t count) {
    std::fprintf(options_.console, "%lld items deleted!\n", static_cast<long long>(count));
    flushIfTerminal();
  }

 private:
  void flushIfTerminal() {
    if (options_.flushEveryLine) std::fflush(options_.console);
  }

  const CleanOptions& options_;
  CleanSummary* summary_;
};

Status readIndex(ReadableFile* file, const std::string& path, uint64_t size,
                 std::vector<StaticIndexEntry>* entries) {
  const uint64_t count = size / kIndexEntrySize;
  try {
    entries->resize(static_cast<size_t>(count));
  } catch (const std::bad_alloc&) {
    return Status(kOutOfMemory, path,
                  "not enough memory to hold its " + std::to_string(count) + " entries");
  }
  std::vector<unsigned char> chunk(kIndexChunkEntries * kIndexEntrySize);
  for (uint64_t first = 0; first < count; first += kIndexChunkEntries) {
    size_t n = static_cast<size_t>(std::min<uint64_t>(kIndexChunkEntries, count - first));
    size_t got = 0;
    Status s = file->read(reinterpret_cast<char*>(chunk.data()), n * kIndexEntrySize, &got);
    if (!s.ok()) return s.withCode(kIndexReadFailed);
    if (got < n * kIndexEntrySize) {
      return Status(kIndexReadFailed, path,
                    "the file ends at byte " + std::to_string(first * kIndexEntrySize + got) +
                        ", before its size of " + std::to_string(size) + " bytes");
    }
    for (size_t i = 0; i < n; ++i) {
      (*entries)[first + i] = decodeIndexEntry(chunk.data() + i * kIndexEntrySize);
    }
  }
  return Status::OK();
}

Status entryOutsideData(size_t i, const StaticIndexEntry& e, uint64_t dataSize,
                        const std::string& indexPath, const std::string& dataPath) {
  return Status(kCorruptEntry, indexPath,
                "entry " + std::to_string(i) + " (offset " + std::to_string(e.offset) +
                    ", length " + std::to_string(e.length) + ") lies outside " + dataPath + " (" +
                    std::to_string(dataSize) + " bytes)");
}

void warnOddLength(size_t i, const StaticIndexEntry& e, const std::string& indexPath,
                   Reporter* reporter) {
  reporter->warning(indexPath, "entry " + std::to_string(i) + ": length " +
                                   std::to_string(e.length) + " is not a multiple of 7; its last " +
                                   std::to_string(e.length % kRecordSize) +
                                   " bytes are copied as they are");
}

// Checks that every block lies inside the data file, and warns of lengths that are not a
// multiple of 7, all before any output exists.
Status checkEntries(const std::vector<StaticIndexEntry>& entries, uint64_t dataSize,
                    const std::string& indexPath, const std::string& dataPath,
                    Reporter* reporter) {
  size_t oddLengths = 0;
  for (size_t i = 0; i < entries.size(); ++i) {
    const StaticIndexEntry& e = entries[i];
    if (isEmptyEntry(e)) continue;
    if (e.offset < 0 || static_cast<uint64_t>(e.offset) + e.length > dataSize) {
      return entryOutsideData(i, e, dataSize, indexPath, dataPath);
    }
    if (e.length % kRecordSize != 0 && ++oddLengths <= kWarningsShown) {
      warnOddLength(i, e, indexPath, reporter);
    }
  }
  if (oddLengths > kWarningsShown) {
    reporter->warning(indexPath, std::to_string(oddLengths - kWarningsShown) +
                                     " more entries have a length that is not a multiple of 7");
  }
  return Status::OK();
}

// Copies the kept records of one block, and its trailing bytes, to out; returns in *dropped the
// number of records left out. Records are scanned straight in the read buffer, and each run of
// kept records between two dropped ones is copied at once.
Status copyBlock(const StaticIndexEntry& e, const DeletionList& list, BlockReader* reader,
                 OutputBuffer* out, uint32_t* dropped) {
  uint64_t recordBytes = uint64_t{e.length} / kRecordSize * kRecordSize;
  const size_t tail = e.length % kRecordSize;
  uint32_t gone = 0;
  reader->seek(static_cast<uint64_t>(e.offset));
  while (recordBytes > 0) {
    if (reader->available() < kRecordSize) {
      Status s = reader->fill(kRecordSize, recordBytes + tail);
      if (!s.ok()) return s;
    }
    const size_t take = static_cast<size_t>(
        std::min<uint64_t>(recordBytes, reader->available()) / kRecordSize * kRecordSize);
    Status s = out->reserve(take);
    if (!s.ok()) return s;
    const unsigned char* p = reader->data();
    const unsigned char* const end = p + take;
    const unsigned char* kept = p;  // start of the run of kept records not yet copied
    unsigned char* o = out->cursor();
    while (p != end) {
      // Listed items are rare: four records are tested with one branch, and only a group that
      // holds a listed item is looked at record by record.
      while (end - p >= 4 * kRecordSize &&
             !(list.contains(decodeFixed16(p)) | list.contains(decodeFixed16(p + 7)) |
               list.contains(decodeFixed16(p + 14)) | list.contains(decodeFixed16(p + 21)))) {
        p += 4 * kRecordSize;
      }
      const unsigned char* const groupEnd =
          end - p >= 4 * kRecordSize ? p + 4 * kRecordSize : end;
      for (; p != groupEnd; p += kRecordSize) {
        if (list.contains(decodeFixed16(p))) {
          std::memcpy(o, kept, static_cast<size_t>(p - kept));
          o += p - kept;
          kept = p + kRecordSize;
          ++gone;
        }
      }
    }
    std::memcpy(o, kept, static_cast<size_t>(end - kept));
    o += end - kept;
    out->advance(static_cast<size_t>(o - out->cursor()));
    reader->consume(take);
    recordBytes -= take;
  }
  if (tail > 0) {
    Status s = reader->fill(tail, tail);
    if (s.ok()) s = out->reserve(tail);
    if (!s.ok()) return s;
    std::memcpy(out->cursor(), reader->data(), tail);
    out->advance(tail);
    reader->consume(tail);
  }
  *dropped = gone;
  return Status::OK();
}

Status finishFile(OutputBuffer* out, WritableFile* file) {
  Status s = out->flush();
  if (s.ok()) s = file->sync();
  if (s.ok()) s = file->close();
  return s.withCode(kOutputFailed);
}

Status interruptedStatus() { return Status(kInterrupted, "", "interrupted; no output written"); }

Status runPass(const CleanOptions& options, CleanSummary* summary) {
  Env* env = options.env;
  const OutputPairNames names(options.folder);
  const std::string indexPath = joinPath(options.folder, kIndexFileName);
  const std::string dataPath = joinPath(options.folder, kDataFileName);
  Console console(options, summary);
  summary->deleted = 0;
  summary->progressPrinted = false;

  Status s = recoverOutputPair(env, names);
  if (!s.ok()) return s.withCode(kLeftoverNotRemoved);

  // The index, whole.
  std::vector<StaticIndexEntry> entries;
  {
    std::unique_ptr<ReadableFile> indexFile;
    s = env->openReadable(indexPath, &indexFile);
    if (!s.ok()) return s.withCode(kIndexOpenFailed);
    uint64_t indexSize = 0;
    s = indexFile->size(&indexSize);
    if (!s.ok()) return s.withCode(kIndexReadFailed);
    if (indexSize % kIndexEntrySize != 0) {
      return Status(kIndexSizeInvalid, indexPath,
                    "size " + std::to_string(indexSize) + " is not a multiple of 12");
    }
    s = readIndex(indexFile.get(), indexPath, indexSize, &entries);
    if (!s.ok()) return s;
  }

  std::unique_ptr<ReadableFile> dataFile;
  s = env->openReadable(dataPath, &dataFile);
  if (!s.ok()) return s.withCode(kDataOpenFailed);
  uint64_t dataSize = 0;
  s = dataFile->size(&dataSize);
  if (!s.ok()) return s.withCode(kDataReadFailed);
  s = checkEntries(entries, dataSize, indexPath, dataPath, options.reporter);
  if (!s.ok()) return s;

  TemporariesGuard guard(env, names);
  guard.arm();
  std::unique_ptr<WritableFile> newData;
  std::unique_ptr<WritableFile> newIndex;
  s = env->createWritable(names.tempData, &newData);
  if (!s.ok()) return s.withCode(kOutputFailed);

  // The blocks, in entry order.
  {
    BlockReader reader(dataFile.get(), dataPath, options.readBufferSize);
    OutputBuffer out(newData.get(), std::max(options.writeBufferSize, options.readBufferSize));
    const uint64_t entryCount = entries.size();
    for (uint64_t i = 0; i < entryCount; ++i) {
      if (options.interrupted != nullptr && *options.interrupted) return interruptedStatus();
      StaticIndexEntry& e = entries[i];
      if (isEmptyEntry(e)) continue;
      if (i % 100 == 0) console.progress(i, entryCount);
      const uint64_t newOffset = out.position();
      uint32_t dropped = 0;
      s = copyBlock(e, *options.list, &reader, &out, &dropped);
      if (!s.ok()) {
        const int code = s.file() == dataPath ? kDataReadFailed : kOutputFailed;
        return Status(code, s.file(), "entry " + std::to_string(i) + ": " + s.reason());
      }
      if (out.position() > kMaxDataFileSize) {
        return Status(kOutputTooLarge, names.data,
                      "the new data file would pass 2 GiB - 1 bytes, more than an index offset "
                      "can address");
      }
      e.length -= dropped * kRecordSize;
      e.offset = (dropped > 0 && e.length == 0) ? kNoBlock : static_cast<int32_t>(newOffset);
      summary->deleted += dropped;
    }
    console.done();
    s = finishFile(&out, newData.get());
    if (!s.ok()) return s;
  }
  dataFile.reset();

  // The new index.
  s = env->createWritable(names.tempIndex, &newIndex);
  if (!s.ok()) return s.withCode(kOutputFailed);
  {
    OutputBuffer out(newIndex.get(), kIndexChunkEntries * kIndexEntrySize);
    for (const StaticIndexEntry& e : entries) {
      s = out.reserve(kIndexEntrySize);
      if (!s.ok()) return s.withCode(kOutputFailed);
      encodeIndexEntry(out.cursor(), e);
      out.advance(kIndexEntrySize);
    }
    s = finishFile(&out, newIndex.get());
    if (!s.ok()) return s;
  }
  newData.reset();
  newIndex.reset();

  if (options.interrupted != nullptr && *options.interrupted) return interruptedStatus();
  guard.disarm();  // from here on, the commit cleans up after itself
  std::string leftover;
  s = commitOutputPair(env, names, &leftover);
  if (!s.ok()) return s.withCode(kOutputFailed);
  // The new pair is in place: nothing from here on may fail the run.
  console.deleted(summary->deleted);
  if (!leftover.empty()) {
    try {
      options.reporter->warning(leftover, "cannot be removed; the next run removes it");
    } catch (const std::bad_alloc&) {
    }
  }
  return Status::OK();
}

}  // namespace

Status cleanStatics(const CleanOptions& options, CleanSummary* summary) {
  try {
    return runPass(options, summary);
  } catch (const std::bad_alloc&) {
    return Status(kOutOfMemory, "", "not enough memory");
  }
}

}  // namespace statics_clean
