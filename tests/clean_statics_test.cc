// The cleaning pass on small pairs built in memory: its rules, its console output, its checks of
// the input, and its fast path against the plain model of the pass.

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <vector>

#include "statics/clean_statics.h"
#include "support/mem_env.h"
#include "support/pair_builder.h"

namespace statics_clean {
namespace {

class CollectingReporter : public Reporter {
 public:
  void warning(const std::string& file, const std::string& what) override {
    warnings.push_back(file + ": " + what);
  }
  std::vector<std::string> warnings;
};

struct PassRun {
  Status status;
  CleanSummary summary;
  std::string out;
  std::vector<std::string> warnings;
};

PassRun pass(Env* env, const std::set<uint16_t>& ids, size_t readBuffer = 1 << 20,
             size_t writeBuffer = 1 << 20, const volatile std::sig_atomic_t* stop = nullptr) {
  DeletionList list;
  for (uint16_t id : ids) list.append(id);
  CollectingReporter reporter;
  ScratchStream console;
  CleanOptions options;
  options.env = env;
  options.list = &list;
  options.reporter = &reporter;
  options.console = console.get();
  options.readBufferSize = readBuffer;
  options.writeBufferSize = writeBuffer;
  options.interrupted = stop;
  PassRun run;
  run.status = cleanStatics(options, &run.summary);
  run.out = console.contents();
  run.warnings = reporter.warnings;
  return run;
}

MemEnv pairEnv(const std::vector<StaticIndexEntry>& entries, const std::string& data) {
  MemEnv env;
  env.put("staidx0.mul", indexBytes(entries));
  env.put("statics0.mul", data);
  return env;
}

const std::set<std::string> kInputs{"staidx0.mul", "statics0.mul"};
const std::set<std::string> kInputsAndOutputs{"staidx0.mul", "statics0.mul", "staidx0_n.mul",
                                              "statics0_n.mul"};

TEST(CleanStatics, EmptyListRepacksEveryBlockInEntryOrder) {
  // Blocks stored out of entry order, with a gap: the new file packs them in entry order.
  std::string a = recordBytes(1, 1) + recordBytes(2, 2);
  std::string b = recordBytes(3, 3);
  std::string data = b + "GAPGAPG" + a;
  MemEnv env = pairEnv({{14, 14, 7}, {-1, 0, 8}, {0, 7, 9}}, data);
  PassRun run = pass(&env, {});
  ASSERT_TRUE(run.status.ok()) << run.status.code() << " " << run.status.file() << ": " << run.status.reason();
  EXPECT_EQ(run.out, "\r0.00 %\r100.00 %\n0 items deleted!\n");
  EXPECT_EQ(env.get("statics0_n.mul"), a + b);
  EXPECT_EQ(decodeIndex(env.get("staidx0_n.mul")),
            (std::vector<StaticIndexEntry>{{0, 14, 7}, {-1, 0, 8}, {14, 7, 9}}));
  EXPECT_EQ(env.names(), kInputsAndOutputs);
}

TEST(CleanStatics, DropsListedRecordsAndRewritesTheirEntries) {
  std::string data = recordBytes(5, 1) + recordBytes(6, 2) + recordBytes(7, 3) +  // entry 0
                     recordBytes(5, 4) + recordBytes(5, 5) +                       // entry 1
                     recordBytes(0xFFFF, 6) + recordBytes(0xFFFE, 7);              // entry 2
  MemEnv env = pairEnv({{0, 21, 100}, {21, 14, 101}, {35, 14, 102}, {49, 0, 103}}, data);
  PassRun run = pass(&env, {5, 0xFFFF});
  ASSERT_TRUE(run.status.ok()) << run.status.code() << " " << run.status.file() << ": " << run.status.reason();
  EXPECT_EQ(run.summary.deleted, 4);
  EXPECT_EQ(run.out, "\r0.00 %\r100.00 %\n4 items deleted!\n");
  // First record dropped: the entry starts at its second record. All dropped: -1 and 0, spare
  // kept. Length 0 with a real offset: the output position.
  EXPECT_EQ(env.get("statics0_n.mul"), recordBytes(6, 2) + recordBytes(7, 3) +
                                           recordBytes(0xFFFE, 7));
  EXPECT_EQ(decodeIndex(env.get("staidx0_n.mul")),
            (std::vector<StaticIndexEntry>{{0, 14, 100}, {-1, 0, 101}, {14, 7, 102},
                                           {21, 0, 103}}));
}

TEST(CleanStatics, EmptyEntriesAreCopiedUnreadAndPrintNoProgress) {
  // Offsets and lengths of empty entries that would fail the bounds check if they were read.
  std::vector<StaticIndexEntry> entries{{-1, 12345, 1}, {999999, 0xFFFFFFFF, 2},
                                        {-1, 0xFFFFFFFF, 3}, {0, 7, 4}};
  MemEnv env = pairEnv(entries, recordBytes(9, 9));
  PassRun run = pass(&env, {9});
  ASSERT_TRUE(run.status.ok()) << run.status.code() << " " << run.status.file() << ": " << run.status.reason();
  EXPECT_EQ(run.out, "\r100.00 %\n1 items deleted!\n");  // entry 0 is empty: no 0.00 %
  entries[3] = {-1, 0, 4};
  EXPECT_EQ(decodeIndex(env.get("staidx0_n.mul")), entries);
  EXPECT_EQ(env.get("statics0_n.mul"), "");
}

TEST(CleanStatics, ABlockNamedTwiceIsCopiedForEachEntry) {
  std::string data = recordBytes(1, 1) + recordBytes(2, 2);
  MemEnv env = pairEnv({{0, 14, 0}, {0, 14, 0}, {7, 7, 0}}, data);
  PassRun run = pass(&env, {1});
  ASSERT_TRUE(run.status.ok());
  EXPECT_EQ(env.get("statics0_n.mul"), recordBytes(2, 2) + recordBytes(2, 2) + recordBytes(2, 2));
  EXPECT_EQ(decodeIndex(env.get("staidx0_n.mul")),
            (std::vector<StaticIndexEntry>{{0, 7, 0}, {7, 7, 0}, {14, 7, 0}}));
  EXPECT_EQ(run.summary.deleted, 2);
}

TEST(CleanStatics, ProgressFollowsTheEntryNumber) {
  struct Case {
    int entries;
    const char* out;
  };
  const Case cases[] = {
      {250, "\r0.00 %\r40.00 %\r80.00 %\r100.00 %\n0 items deleted!\n"},
      {128, "\r0.00 %\r78.13 %\r100.00 %\n0 items deleted!\n"},
      {100, "\r0.00 %\r100.00 %\n0 items deleted!\n"},
      {101, "\r0.00 %\r99.01 %\r100.00 %\n0 items deleted!\n"},
  };
  for (const Case& c : cases) {
    std::vector<StaticIndexEntry> entries;
    std::string data;
    for (int i = 0; i < c.entries; ++i) {
      entries.push_back({static_cast<int32_t>(data.size()), 7, 0});
      data += recordBytes(1, static_cast<uint32_t>(i));
    }
    MemEnv env = pairEnv(entries, data);
    EXPECT_EQ(pass(&env, {}).out, c.out) << c.entries;
  }
  // Entries 0 and 100 empty: their lines are not printed, and no other takes their place.
  std::vector<StaticIndexEntry> entries(250, StaticIndexEntry{0, 7, 0});
  entries[0] = entries[100] = {-1, 0, 0};
  MemEnv env = pairEnv(entries, recordBytes(1, 1));
  EXPECT_EQ(pass(&env, {}).out, "\r80.00 %\r100.00 %\n0 items deleted!\n");
}

TEST(CleanStatics, TrailingBytesOfAnOddLengthAreCopiedAndTheLengthDescribesThem) {
  std::string data = recordBytes(1, 1) + recordBytes(2, 2) + "xyz" + recordBytes(1, 3) + "q";
  MemEnv env = pairEnv({{0, 17, 0}, {17, 8, 0}}, data);
  PassRun run = pass(&env, {1});
  ASSERT_TRUE(run.status.ok());
  EXPECT_EQ(env.get("statics0_n.mul"), recordBytes(2, 2) + "xyz" + "q");
  EXPECT_EQ(decodeIndex(env.get("staidx0_n.mul")),
            (std::vector<StaticIndexEntry>{{0, 10, 0}, {10, 1, 0}}));
  ASSERT_EQ(run.warnings.size(), 2u);
  EXPECT_EQ(run.warnings[0],
            "staidx0.mul: entry 0: length 17 is not a multiple of 7; its last 3 bytes are copied "
            "as they are");
}

TEST(CleanStatics, EarlyEndsPrintNothingAndCreateNothing) {
  struct Case {
    const char* name;
    bool index;
    std::string indexContents;
    bool data;
    int code;
    std::string reason;
  };
  const Case cases[] = {
      {"nothing present", false, "", false, kIndexOpenFailed, "No such file or directory"},
      {"13-byte index", true, std::string(13, '\0'), true, kIndexSizeInvalid,
       "size 13 is not a multiple of 12"},
      {"13-byte index, no data", true, std::string(13, '\0'), false, kIndexSizeInvalid,
       "size 13 is not a multiple of 12"},
      {"empty index, no data", true, "", false, kDataOpenFailed, "No such file or directory"},
      {"index, no data", true, indexBytes({{0, 7, 0}}), false, kDataOpenFailed,
       "No such file or directory"},
  };
  for (const Case& c : cases) {
    MemEnv env;
    if (c.index) env.put("staidx0.mul", c.indexContents);
    if (c.data) env.put("statics0.mul", recordBytes(1, 1));
    std::set<std::string> before = env.names();
    PassRun run = pass(&env, {1});
    EXPECT_EQ(run.status.code(), c.code) << c.name;
    EXPECT_EQ(run.status.reason(), c.reason) << c.name;
    EXPECT_EQ(run.status.file(), c.code == kDataOpenFailed ? "statics0.mul" : "staidx0.mul");
    EXPECT_EQ(run.out, "") << c.name;
    EXPECT_EQ(env.names(), before) << c.name;
  }
}

TEST(CleanStatics, EmptyIndexWritesAnEmptyPair) {
  MemEnv env = pairEnv({}, recordBytes(1, 1));
  PassRun run = pass(&env, {1});
  ASSERT_TRUE(run.status.ok());
  EXPECT_EQ(run.out, "\r100.00 %\n0 items deleted!\n");
  EXPECT_EQ(env.get("statics0_n.mul"), "");
  EXPECT_EQ(env.get("staidx0_n.mul"), "");
}

TEST(CleanStatics, AnEntryOutsideTheDataFileFailsBeforeAnyOutput) {
  std::string data = recordBytes(1, 1) + recordBytes(2, 2);  // 14 bytes
  struct Case {
    StaticIndexEntry bad;
    std::string reason;
  };
  const Case cases[] = {
      {{-2, 7, 0}, "entry 300 (offset -2, length 7) lies outside statics0.mul (14 bytes)"},
      {{8, 7, 0}, "entry 300 (offset 8, length 7) lies outside statics0.mul (14 bytes)"},
      {{15, 0, 0}, "entry 300 (offset 15, length 0) lies outside statics0.mul (14 bytes)"},
      {{0, 0xFFFFFFFE, 0},
       "entry 300 (offset 0, length 4294967294) lies outside statics0.mul (14 bytes)"},
      {{0x7FFFFFFF, 7, 0},
       "entry 300 (offset 2147483647, length 7) lies outside statics0.mul (14 bytes)"},
  };
  for (const Case& c : cases) {
    std::vector<StaticIndexEntry> entries(300, StaticIndexEntry{0, 14, 0});
    entries.push_back(c.bad);  // the last entry: nothing may have been written before it
    MemEnv env = pairEnv(entries, data);
    env.put("statics0_n.mul", "earlier data");
    env.put("staidx0_n.mul", "earlier index");
    PassRun run = pass(&env, {});
    EXPECT_EQ(run.status.code(), kCorruptEntry);
    EXPECT_EQ(run.status.file(), "staidx0.mul");
    EXPECT_EQ(run.status.reason(), c.reason);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(env.get("statics0_n.mul"), "earlier data");
    EXPECT_EQ(env.get("staidx0_n.mul"), "earlier index");
    EXPECT_EQ(env.names(), kInputsAndOutputs);
  }
  // A block that ends exactly at the end of the file is inside it.
  MemEnv env = pairEnv({{7, 7, 0}, {14, 0, 0}}, data);
  EXPECT_TRUE(pass(&env, {}).status.ok());
}

// An Env whose new files count their bytes and keep none, for outputs larger than memory.
class CountingEnv : public MemEnv {
 public:
  Status createWritable(const std::string& path, std::unique_ptr<WritableFile>* file) override {
    Status s = MemEnv::createWritable(path, file);
    if (s.ok()) file->reset(new Counter(&written));
    return s;
  }
  uint64_t written = 0;

 private:
  class Counter : public WritableFile {
   public:
    explicit Counter(uint64_t* n) : n_(n) {}
    Status append(const char*, size_t n) override {
      *n_ += n;
      return Status::OK();
    }
    Status sync() override { return Status::OK(); }
    Status close() override { return Status::OK(); }

   private:
    uint64_t* n_;
  };
};

TEST(CleanStatics, ANewDataFilePastTwoGibibytesFailsTheRun) {
  // One block of 8 MiB named by enough entries to pass 2 GiB - 1 bytes of output.
  const uint32_t blockLength = 8 * 1024 * 1024 / 7 * 7;
  std::string block;
  for (uint32_t i = 0; i < blockLength / 7; ++i) block += recordBytes(2, i);
  std::vector<StaticIndexEntry> entries(0x7FFFFFFF / blockLength + 1, {0, blockLength, 0});
  CountingEnv env;
  env.put("staidx0.mul", indexBytes(entries));
  env.put("statics0.mul", block);
  env.put("statics0_n.mul", "earlier");
  PassRun run = pass(&env, {1});
  EXPECT_EQ(run.status.code(), kOutputTooLarge);
  EXPECT_EQ(run.status.file(), "statics0_n.mul");
  EXPECT_GT(env.written, 0x7FFFFFFFu);
  EXPECT_EQ(env.get("statics0_n.mul"), "earlier");
  EXPECT_EQ(env.names(), (std::set<std::string>{"staidx0.mul", "statics0.mul", "statics0_n.mul"}));

  // One entry fewer fits, and its last offset is the largest that does.
  entries.pop_back();
  env.put("staidx0.mul", indexBytes(entries));
  run = pass(&env, {1});
  ASSERT_TRUE(run.status.ok()) << run.status.code() << " " << run.status.file() << ": " << run.status.reason();
}

TEST(CleanStatics, MillionsOfEmptyEntriesAreCopiedAsTheyAre) {
  // A lying index: millions of entries with huge lengths and offsets, all marked empty.
  std::vector<StaticIndexEntry> entries(4000000, StaticIndexEntry{-1, 0xFFFFFFFE, 7});
  for (size_t i = 1; i < entries.size(); i += 2) entries[i] = {0x7FFFFFF0, 0xFFFFFFFF, 9};
  entries[3999900] = {0, 7, 1};
  MemEnv env = pairEnv(entries, recordBytes(4, 4));
  PassRun run = pass(&env, {4});
  ASSERT_TRUE(run.status.ok()) << run.status.reason();
  EXPECT_EQ(run.out, "\r100.00 %\r100.00 %\n1 items deleted!\n");
  entries[3999900] = {-1, 0, 1};
  EXPECT_TRUE(env.get("staidx0_n.mul") == indexBytes(entries));
  EXPECT_EQ(env.get("statics0_n.mul"), "");
}

TEST(CleanStatics, AnInterruptedRunLeavesNothing) {
  MemEnv env = pairEnv({{0, 7, 0}, {0, 7, 0}}, recordBytes(1, 1));
  volatile std::sig_atomic_t stop = 1;
  PassRun run = pass(&env, {}, 1 << 20, 1 << 20, &stop);
  EXPECT_EQ(run.status.code(), kInterrupted);
  EXPECT_EQ(env.names(), kInputs);
}

// A random pair with what map files can hold: blocks out of entry order, blocks named twice,
// gaps between blocks, empty entries, lengths that are not a multiple of 7, and large blocks.
struct RandomPair {
  std::string index;
  std::string data;
  std::set<uint16_t> ids;
};

RandomPair randomPair(uint32_t seed) {
  std::mt19937 rng(seed);
  auto pick = [&](uint32_t n) { return static_cast<uint32_t>(rng() % n); };
  RandomPair pair;
  std::vector<StaticIndexEntry> entries;
  const uint32_t entryCount = 1 + pick(300);
  for (uint32_t i = 0; i < entryCount; ++i) {
    uint32_t kind = pick(20);
    if (kind == 0) {
      entries.push_back({-1, pick(3) == 0 ? 0xFFFFFFFF : pick(100), pick(1000)});
    } else if (kind == 1) {
      entries.push_back({static_cast<int32_t>(pick(1000)), 0xFFFFFFFF, 0});
    } else if (kind == 2 && !entries.empty()) {
      entries.push_back(entries[pick(static_cast<uint32_t>(entries.size()))]);  // shared
    } else {
      if (pick(4) == 0) pair.data += std::string(pick(50), 'g');  // a gap
      uint32_t records = kind == 3 ? 200 + pick(400) : pick(12);
      StaticIndexEntry e{static_cast<int32_t>(pair.data.size()), 0, pick(1u << 31)};
      for (uint32_t r = 0; r < records; ++r) {
        uint16_t id = static_cast<uint16_t>(pick(4) == 0 ? pick(8) : pick(0x10000));
        pair.data += recordBytes(id, static_cast<uint32_t>(rng()));
      }
      uint32_t tail = pick(8) == 0 ? 1 + pick(6) : 0;
      pair.data += std::string(tail, 't');
      e.length = records * 7 + tail;
      entries.push_back(e);
    }
  }
  // Shuffle the entries so that blocks lie out of entry order.
  if (seed % 2 == 0) std::shuffle(entries.begin(), entries.end(), rng);
  pair.index = indexBytes(entries);
  for (uint32_t n = pick(6); n > 0; --n) pair.ids.insert(static_cast<uint16_t>(pick(8)));
  if (pick(3) == 0) pair.ids.insert(static_cast<uint16_t>(pick(0x10000)));
  return pair;
}

TEST(CleanStatics, BlocksAtTheEdgesOfTheRealReadBufferComeOutExact) {
  // With the buffer sizes the tool runs with: a block that straddles the first 1 MiB boundary,
  // a block of 3 MiB, a gap, a block read again from far behind where the reader stands, and a
  // block before the others in the file but after them in entry order.
  const uint32_t mib = 1 << 20;
  auto block = [](uint32_t records, uint32_t tag) {
    std::string b;
    for (uint32_t r = 0; r < records; ++r) b += recordBytes(static_cast<uint16_t>(r % 13), tag + r);
    return b;
  };
  std::string head = block(100, 1);             // at 0, last in entry order
  std::string lead = block((mib - 700) / 7 - 100, 2);  // up to just before the boundary
  std::string straddle = block(200, 3);         // across 1 MiB
  std::string huge = block(3 * mib / 7, 4) + "tt";  // larger than the buffer, with a tail
  std::string gap(5000, 'g');
  std::string last = block(10, 5);
  std::string data = head + lead + straddle + huge + gap + last;
  auto at = [&](const std::string& part) {
    return static_cast<int32_t>(data.find(part.substr(0, 14)));
  };
  std::vector<StaticIndexEntry> entries{
      {at(lead), static_cast<uint32_t>(lead.size()), 0},
      {at(straddle), static_cast<uint32_t>(straddle.size()), 1},
      {at(huge), static_cast<uint32_t>(huge.size()), 2},
      {at(last), static_cast<uint32_t>(last.size()), 3},
      {at(straddle), static_cast<uint32_t>(straddle.size()), 4},
      {0, static_cast<uint32_t>(head.size()), 5},
  };
  ASSERT_LT(entries[1].offset, static_cast<int32_t>(mib));
  ASSERT_GT(entries[1].offset + entries[1].length, mib);
  MemEnv env = pairEnv(entries, data);
  PassRun run = pass(&env, {0, 5});
  ASSERT_TRUE(run.status.ok()) << run.status.reason();
  ReferenceResult expected = referenceClean(indexBytes(entries), data, {0, 5});
  EXPECT_TRUE(env.get("statics0_n.mul") == expected.data);
  EXPECT_EQ(decodeIndex(env.get("staidx0_n.mul")), decodeIndex(expected.index));
  EXPECT_EQ(run.summary.deleted, expected.deleted);
}

TEST(CleanStatics, FastPathMatchesThePlainModelAtEveryBufferSize) {
  for (uint32_t seed = 1; seed <= 60; ++seed) {
    RandomPair pair = randomPair(seed);
    ReferenceResult expected = referenceClean(pair.index, pair.data, pair.ids);
    for (size_t readBuffer : {16, 17, 23, 100, 4096, 1 << 20}) {
      for (size_t writeBuffer : {1, 7, 1 << 20}) {
        MemEnv env;
        env.put("staidx0.mul", pair.index);
        env.put("statics0.mul", pair.data);
        PassRun run = pass(&env, pair.ids, readBuffer, writeBuffer);
        ASSERT_TRUE(run.status.ok()) << seed << " " << run.status.reason();
        ASSERT_EQ(env.get("statics0_n.mul"), expected.data) << seed << " " << readBuffer;
        ASSERT_EQ(env.get("staidx0_n.mul"), expected.index) << seed << " " << readBuffer;
        ASSERT_EQ(run.summary.deleted, expected.deleted);
        ASSERT_EQ(run.out.substr(run.out.rfind('\n', run.out.size() - 2) + 1),
                  std::to_string(expected.deleted) + " items deleted!\n");
      }
    }
  }
}

}  // namespace
}  // namespace statics_clean
