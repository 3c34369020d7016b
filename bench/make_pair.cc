// make-pair: writes a synthetic pair of static map files, and deletion lists to go with it.
//
//   make-pair FOLDER [--entries N] [--seed S]
//
// Writes FOLDER/staidx0.mul and FOLDER/statics0.mul shaped like a map's: N entries (default
// 896 x 512 = 458,752), about 15 % of them empty, the others with 0 to 56 records, their blocks laid
// out in entry order. Item IDs are skewed as on a real map: half of the records use one of 32
// common items, the rest any of 16,384. Also writes FOLDER/todelete.txt (one common ID) and
// FOLDER/list-1.txt, list-100.txt, list-10000.txt and list-65536.txt: lists of that many IDs, each
// naming the same common item first and otherwise IDs the map does not use, so that every list
// deletes the same records and only the list's length differs.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "statics/static_format.h"

namespace {

using statics_clean::StaticIndexEntry;

struct Random {
  uint64_t state;
  uint64_t next() {  // splitmix64
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  uint32_t below(uint32_t n) { return static_cast<uint32_t>(next() % n); }
};

constexpr uint16_t kCommonBase = 0x0100;  // the 32 common items are 0x0100 to 0x011F

bool writeAll(const std::string& path, const std::vector<unsigned char>& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

bool writeList(const std::string& path, uint32_t count) {
  std::string text;
  char line[16];
  for (uint32_t i = 0; i < count; ++i) {
    // The common item first, then IDs above any the map uses, repeating past 0x8000.
    uint32_t id = i == 0 ? kCommonBase : 0x8000 + (i - 1) % 0x8000;
    std::snprintf(line, sizeof line, "0x%04X\r\n", id);
    text += line;
  }
  return writeAll(path, std::vector<unsigned char>(text.begin(), text.end()));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: make-pair FOLDER [--entries N] [--seed S]\n");
    return 2;
  }
  const std::string folder = argv[1];
  uint64_t entryCount = 896 * 512;
  uint64_t seed = 1;
  for (int i = 2; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--entries") == 0) entryCount = std::strtoull(argv[i + 1], nullptr, 10);
    if (std::strcmp(argv[i], "--seed") == 0) seed = std::strtoull(argv[i + 1], nullptr, 10);
  }

  Random rng{seed};
  std::vector<unsigned char> index(entryCount * statics_clean::kIndexEntrySize);
  std::vector<unsigned char> data;
  data.reserve(entryCount * 29 * statics_clean::kRecordSize);
  for (uint64_t i = 0; i < entryCount; ++i) {
    StaticIndexEntry e{-1, 0, 0};
    if (rng.below(100) >= 15) {
      e.offset = static_cast<int32_t>(data.size());
      const uint32_t records = rng.below(57);
      for (uint32_t r = 0; r < records; ++r) {
        uint16_t id = rng.below(2) == 0 ? static_cast<uint16_t>(kCommonBase + rng.below(32))
                                        : static_cast<uint16_t>(rng.below(0x4000));
        unsigned char rec[statics_clean::kRecordSize];
        statics_clean::encodeFixed16(rec, id);
        uint64_t rest = rng.next();
        for (int k = 2; k < 7; ++k) rec[k] = static_cast<unsigned char>(rest >> (8 * k));
        data.insert(data.end(), rec, rec + statics_clean::kRecordSize);
      }
      e.length = records * statics_clean::kRecordSize;
    }
    statics_clean::encodeIndexEntry(&index[i * statics_clean::kIndexEntrySize], e);
  }

  bool ok = writeAll(folder + "/staidx0.mul", index) && writeAll(folder + "/statics0.mul", data);
  ok = ok && writeList(folder + "/todelete.txt", 1);
  for (uint32_t n : {1u, 100u, 10000u, 65536u}) {
    ok = ok && writeList(folder + "/list-" + std::to_string(n) + ".txt", n);
  }
  if (!ok) {
    std::fprintf(stderr, "make-pair: %s: cannot write the files\n", folder.c_str());
    return 1;
  }
  std::printf("%s: %llu entries, %zu bytes of data\n", folder.c_str(),
              static_cast<unsigned long long>(entryCount), data.size());
  return 0;
}
