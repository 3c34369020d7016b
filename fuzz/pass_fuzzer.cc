// Fuzzes the cleaning pass on an in-memory pair. The input is cut into a buffer size, a deletion
// list, an index and a data file. The pass must never crash; when it fails, only because an entry
// lies outside the data file, and then with no file written; when it succeeds, its output must
// hold the invariants of the format and equal the plain model of the pass.
//
// Input: [read buffer size byte][list length byte][2 bytes per ID][2-byte entry count]
//        [12 bytes per entry][the data file]

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>

#include "statics/clean_statics.h"
#include "support/mem_env.h"
#include "support/pair_builder.h"

namespace {

using namespace statics_clean;

class QuietReporter : public Reporter {
 public:
  void warning(const std::string&, const std::string&) override {}
};

void check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  size_t pos = 0;
  auto take = [&](size_t n) {
    std::string out;
    if (pos < size) out.assign(reinterpret_cast<const char*>(data) + pos, std::min(n, size - pos));
    pos += n;
    return out;
  };
  auto byte = [&]() {
    std::string b = take(1);
    return b.empty() ? 0u : static_cast<unsigned>(static_cast<unsigned char>(b[0]));
  };
  const size_t readBuffer = 16 + byte() % 64;
  const unsigned listLength = byte() % 16;
  DeletionList list;
  std::set<uint16_t> ids;
  for (unsigned i = 0; i < listLength; ++i) {
    uint16_t id = static_cast<uint16_t>(byte() | (byte() << 8));
    list.append(id);
    ids.insert(id);
  }
  const unsigned entries = (byte() | (byte() << 8)) % 512;
  const std::string index = take(entries * kIndexEntrySize);
  const std::string dataFile = pos < size ? take(size - pos) : std::string();

  MemEnv env;
  env.put("staidx0.mul", index);
  env.put("statics0.mul", dataFile);
  QuietReporter reporter;
  static std::FILE* console = std::fopen("/dev/null", "w");
  CleanOptions options;
  options.env = &env;
  options.list = &list;
  options.reporter = &reporter;
  options.console = console;
  options.readBufferSize = readBuffer;
  options.writeBufferSize = 1 + readBuffer / 3;
  CleanSummary summary;
  Status s = cleanStatics(options, &summary);

  if (!s.ok()) {
    check(s.code() == kCorruptEntry || (s.code() == kIndexSizeInvalid && index.size() % 12 != 0));
    check(env.names() == (std::set<std::string>{"staidx0.mul", "statics0.mul"}));
    return 0;
  }
  check(env.names() == (std::set<std::string>{"staidx0.mul", "statics0.mul", "staidx0_n.mul",
                                              "statics0_n.mul"}));
  const std::string newIndex = env.get("staidx0_n.mul");
  const std::string newData = env.get("statics0_n.mul");
  // As many entries as before; each non-empty one inside the new data; the bytes kept plus the
  // records dropped account for every byte the old entries named.
  check(newIndex.size() == index.size());
  auto before = decodeIndex(index);
  auto after = decodeIndex(newIndex);
  uint64_t named = 0, kept = 0;
  for (size_t i = 0; i < after.size(); ++i) {
    if (isEmptyEntry(before[i])) {
      check(after[i] == before[i]);
      continue;
    }
    named += before[i].length;
    check(after[i].spare == before[i].spare);
    if (after[i].offset == -1) {
      check(after[i].length == 0 && before[i].length % 7 == 0);
      continue;
    }
    check(after[i].offset >= 0 &&
          static_cast<uint64_t>(after[i].offset) + after[i].length <= newData.size());
    kept += after[i].length;
  }
  check(kept == newData.size());
  check(named - kept == static_cast<uint64_t>(summary.deleted) * 7);
  // And exactly what the plain model writes.
  ReferenceResult model = referenceClean(index, dataFile, ids);
  check(model.index == newIndex && model.data == newData && model.deleted == summary.deleted);
  return 0;
}
