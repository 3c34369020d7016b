#include "support/pair_builder.h"

#include <cstdlib>
#include <filesystem>
#include <random>

#include "tool.h"

namespace statics_clean {

std::string indexBytes(const std::vector<StaticIndexEntry>& entries) {
  std::string out(entries.size() * kIndexEntrySize, '\0');
  for (size_t i = 0; i < entries.size(); ++i) {
    encodeIndexEntry(reinterpret_cast<unsigned char*>(&out[i * kIndexEntrySize]), entries[i]);
  }
  return out;
}

std::vector<StaticIndexEntry> decodeIndex(const std::string& bytes) {
  std::vector<StaticIndexEntry> out;
  for (size_t i = 0; i + kIndexEntrySize <= bytes.size(); i += kIndexEntrySize) {
    out.push_back(decodeIndexEntry(reinterpret_cast<const unsigned char*>(bytes.data() + i)));
  }
  return out;
}

std::string recordBytes(uint16_t itemId, uint32_t tag) {
  std::string r(kRecordSize, '\0');
  r[0] = static_cast<char>(itemId & 0xFF);
  r[1] = static_cast<char>(itemId >> 8);
  for (int i = 0; i < 4; ++i) r[2 + i] = static_cast<char>(tag >> (8 * i));
  r[6] = static_cast<char>(0xA5 ^ tag);
  return r;
}

ReferenceResult referenceClean(const std::string& index, const std::string& data,
                               const std::set<uint16_t>& ids) {
  ReferenceResult result;
  std::vector<StaticIndexEntry> entries = decodeIndex(index);
  for (StaticIndexEntry& e : entries) {
    if (e.offset == -1 || e.length == 0xFFFFFFFF) continue;
    std::string block = data.substr(static_cast<size_t>(e.offset), e.length);
    e.offset = static_cast<int32_t>(result.data.size());
    size_t k = 0;
    for (; k + kRecordSize <= block.size(); k += kRecordSize) {
      uint16_t id = static_cast<uint16_t>(static_cast<unsigned char>(block[k]) |
                                          (static_cast<unsigned char>(block[k + 1]) << 8));
      if (ids.count(id)) {
        e.length -= kRecordSize;
        if (e.length == 0) e.offset = -1;
        ++result.deleted;
      } else {
        result.data += block.substr(k, kRecordSize);
      }
    }
    result.data += block.substr(k);
  }
  result.index = indexBytes(entries);
  return result;
}

std::string listText(const std::set<uint16_t>& ids) {
  std::string text;
  char line[16];
  for (uint16_t id : ids) {
    std::snprintf(line, sizeof line, "0x%x\n", id);
    text += line;
  }
  return text;
}

ScratchStream::ScratchStream() {
  std::random_device rd;
  for (int tries = 0; file_ == nullptr && tries < 100; ++tries) {
    std::filesystem::path p = std::filesystem::temp_directory_path() /
                              ("statics-clean-scratch-" + std::to_string(rd()) + "-" +
                               std::to_string(rd()));
    path_ = p.string();
    if (!std::filesystem::exists(p)) file_ = std::fopen(path_.c_str(), "w+b");
  }
  if (file_ == nullptr) std::abort();
}

ScratchStream::~ScratchStream() {
  std::fclose(file_);
  std::remove(path_.c_str());
}

std::string ScratchStream::contents() {
  std::fflush(file_);
  std::rewind(file_);
  std::string text;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, file_)) > 0) text.append(buf, n);
  std::fseek(file_, 0, SEEK_END);
  return text;
}

ToolRun runToolIn(Env* env, const std::string& folder) {
  ScratchStream out;
  ScratchStream err;
  ToolContext context;
  context.env = env;
  context.folder = folder;
  context.out = out.get();
  context.err = err.get();
  ToolRun run;
  run.exitStatus = runTool(context);
  run.out = out.contents();
  run.err = err.contents();
  return run;
}

bool operator==(const StaticIndexEntry& a, const StaticIndexEntry& b) {
  return a.offset == b.offset && a.length == b.length && a.spare == b.spare;
}

}  // namespace statics_clean
