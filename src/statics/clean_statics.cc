#include "statics/clean_statics.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

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

// The index as it is on disk. The pass decodes each entry where it stands and encodes the
// updated entry back into the same bytes, which are finally written out whole: one copy of the
// index in memory, and no pass over it to convert it either way.
class IndexImage {
 public:
  uint64_t count() const { return count_; }
  StaticIndexEntry get(uint64_t i) const { return decodeIndexEntry(at(i)); }
  void set(uint64_t i, const StaticIndexEntry& e) { encodeIndexEntry(at(i), e); }
  const char* bytes() const { return reinterpret_cast<const char*>(bytes_.get()); }
  size_t size() const { return static_cast<size_t>(count_ * kIndexEntrySize); }

  // Reads size bytes of file.
  Status read(ReadableFile* file, const std::string& path, uint64_t size) {
    count_ = size / kIndexEntrySize;
    // Not zero-filled: every byte is read over at once.
    bytes_.reset(new (std::nothrow) unsigned char[size == 0 ? 1 : size]);
    if (bytes_ == nullptr) {
      return Status(kOutOfMemory, path,
                    "not enough memory to hold its " + std::to_string(count_) + " entries");
    }
    size_t got = 0;
    Status s = file->read(reinterpret_cast<char*>(bytes_.get()), static_cast<size_t>(size), &got);
    if (!s.ok()) return s.withCode(kIndexReadFailed);
    if (got < size) {
      return Status(kIndexReadFailed, path,
                    "the file ends at byte " + std::to_string(got) + ", before its size of " +
                        std::to_string(size) + " bytes");
    }
    return Status::OK();
  }

 private:
  unsigned char* at(uint64_t i) const { return bytes_.get() + i * kIndexEntrySize; }

  std::unique_ptr<unsigned char[]> bytes_;
  uint64_t count_ = 0;
};

Status entryOutsideData(uint64_t i, const StaticIndexEntry& e, uint64_t dataSize,
                        const std::string& indexPath, const std::string& dataPath) {
  return Status(kCorruptEntry, indexPath,
                "entry " + std::to_string(i) + " (offset " + std::to_string(e.offset) +
                    ", length " + std::to_string(e.length) + ") lies outside " + dataPath + " (" +
                    std::to_string(dataSize) + " bytes)");
}

void warnOddLength(uint64_t i, const StaticIndexEntry& e, const std::string& indexPath,
                   Reporter* reporter) {
  reporter->warning(indexPath, "entry " + std::to_string(i) + ": length " +
                                   std::to_string(e.length) + " is not a multiple of 7; its last " +
                                   std::to_string(e.length % kRecordSize) +
                                   " bytes are copied as they are");
}

// Checks that every block lies inside the data file, and warns of lengths that are not a
// multiple of 7, all before any output exists.
Status checkEntries(const IndexImage& index, uint64_t dataSize, const std::string& indexPath,
                    const std::string& dataPath, Reporter* reporter) {
  size_t oddLengths = 0;
  for (uint64_t i = 0; i < index.count(); ++i) {
    const StaticIndexEntry e = index.get(i);
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

// Copies the kept records of the blocks to the new data file.
//
// Kept bytes are not copied block by block: a run of them stays pending, as a span of the read
// buffer, for as long as the next block starts where the run ends, as it does when blocks lie in
// entry order. The run is copied out when a dropped record, a block elsewhere, or a refill of the
// read buffer (which moves what the span points at) interrupts it.
class RecordFilter {
 public:
  RecordFilter(const DeletionList& list, BlockReader* reader, OutputBuffer* out)
      : list_(list), reader_(reader), out_(out) {}

  // Where the next kept byte will stand in the new data file.
  uint64_t position() const { return out_->position() + static_cast<size_t>(runEnd_ - runStart_); }

  // Copies the kept records of e's block, and its trailing bytes; returns in *dropped the number
  // of records left out.
  Status copyBlock(const StaticIndexEntry& e, uint32_t* dropped) {
    uint64_t recordBytes = uint64_t{e.length} / kRecordSize * kRecordSize;
    const size_t tail = e.length % kRecordSize;
    uint32_t gone = 0;
    reader_->seek(static_cast<uint64_t>(e.offset));
    if (reader_->data() != runEnd_) {
      Status s = flushRun();
      if (!s.ok()) return s;
    }
    while (recordBytes > 0) {
      if (reader_->available() < kRecordSize) {
        Status s = refill(kRecordSize, recordBytes + tail);
        if (!s.ok()) return s;
      }
      const size_t take = static_cast<size_t>(
          std::min<uint64_t>(recordBytes, reader_->available()) / kRecordSize * kRecordSize);
      const unsigned char* p = reader_->data();
      const unsigned char* const end = p + take;
      while (p != end) {
        // Listed items are rare: four records are tested with one branch, and only a group that
        // holds a listed item is looked at record by record.
        while (end - p >= 4 * kRecordSize &&
               (list_.mark(decodeFixed16(p)) | list_.mark(decodeFixed16(p + 7)) |
                list_.mark(decodeFixed16(p + 14)) | list_.mark(decodeFixed16(p + 21))) == 0) {
          p += 4 * kRecordSize;
        }
        const unsigned char* const groupEnd =
            end - p >= 4 * kRecordSize ? p + 4 * kRecordSize : end;
        for (; p != groupEnd; p += kRecordSize) {
          if (list_.contains(decodeFixed16(p))) {
            runEnd_ = p;
            Status s = flushRun();
            if (!s.ok()) return s;
            runStart_ = runEnd_ = p + kRecordSize;
            ++gone;
          }
        }
      }
      runEnd_ = end;
      reader_->consume(take);
      recordBytes -= take;
    }
    if (tail > 0) {
      if (reader_->available() < tail) {
        Status s = refill(tail, tail);
        if (!s.ok()) return s;
      }
      runEnd_ = reader_->data() + tail;
      reader_->consume(tail);
    }
    *dropped = gone;
    return Status::OK();
  }

  // Copies out the pending run; the run then starts at the reader's cursor.
  Status flushRun() {
    const size_t n = static_cast<size_t>(runEnd_ - runStart_);
    if (n > 0) {
      Status s = out_->reserve(n);
      if (!s.ok()) return s;
      std::memcpy(out_->cursor(), runStart_, n);
      out_->advance(n);
    }
    runStart_ = runEnd_ = reader_->data();
    return Status::OK();
  }

 private:
  Status refill(size_t minBytes, uint64_t wantBytes) {
    Status s = flushRun();
    if (s.ok()) s = reader_->fill(minBytes, wantBytes);
    runStart_ = runEnd_ = reader_->data();
    return s;
  }

  const DeletionList& list_;
  BlockReader* reader_;
  OutputBuffer* out_;
  const unsigned char* runStart_ = nullptr;  // the pending run of kept bytes, in the read buffer
  const unsigned char* runEnd_ = nullptr;
};

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
  IndexImage index;
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
    s = index.read(indexFile.get(), indexPath, indexSize);
    if (!s.ok()) return s;
  }

  std::unique_ptr<ReadableFile> dataFile;
  s = env->openReadable(dataPath, &dataFile);
  if (!s.ok()) return s.withCode(kDataOpenFailed);
  uint64_t dataSize = 0;
  s = dataFile->size(&dataSize);
  if (!s.ok()) return s.withCode(kDataReadFailed);
  s = checkEntries(index, dataSize, indexPath, dataPath, options.reporter);
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
    RecordFilter filter(*options.list, &reader, &out);
    const uint64_t entryCount = index.count();
    for (uint64_t i = 0; i < entryCount; ++i) {
      if (options.interrupted != nullptr && *options.interrupted) return interruptedStatus();
      StaticIndexEntry e = index.get(i);
      if (isEmptyEntry(e)) continue;
      if (i % 100 == 0) console.progress(i, entryCount);
      const uint64_t newOffset = filter.position();
      uint32_t dropped = 0;
      s = filter.copyBlock(e, &dropped);
      if (!s.ok()) {
        const int code = s.file() == dataPath ? kDataReadFailed : kOutputFailed;
        return Status(code, s.file(), "entry " + std::to_string(i) + ": " + s.reason());
      }
      if (filter.position() > kMaxDataFileSize) {
        return Status(kOutputTooLarge, names.data,
                      "the new data file would pass 2 GiB - 1 bytes, more than an index offset "
                      "can address");
      }
      e.length -= dropped * kRecordSize;
      e.offset = (dropped > 0 && e.length == 0) ? kNoBlock : static_cast<int32_t>(newOffset);
      index.set(i, e);
      summary->deleted += dropped;
    }
    console.done();
    s = filter.flushRun();
    if (!s.ok()) return s.withCode(kOutputFailed);
    s = finishFile(&out, newData.get());
    if (!s.ok()) return s;
  }
  dataFile.reset();

  // The new index.
  s = env->createWritable(names.tempIndex, &newIndex);
  if (!s.ok()) return s.withCode(kOutputFailed);
  s = newIndex->append(index.bytes(), index.size());
  if (s.ok()) s = newIndex->sync();
  if (s.ok()) s = newIndex->close();
  if (!s.ok()) return s.withCode(kOutputFailed);
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
