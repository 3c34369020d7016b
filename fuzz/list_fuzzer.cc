// Fuzzes the reader of todelete.txt. Any bytes must read without a crash or a sanitizer report;
// a file without a byte-order mark must give exactly the IDs that a plain reading of the line
// rules gives, and one warning per line that is neither blank nor an ID.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "deletion_list/load_deletion_list.h"
#include "support/mem_env.h"

namespace {

using namespace statics_clean;

class CountingReporter : public Reporter {
 public:
  void warning(const std::string&, const std::string&) override { ++count; }
  size_t count = 0;
};

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The line rules, read as plainly as they are written: -1 blank, -2 ignored, else the ID.
long parseLine(const std::string& line) {
  size_t i = 0;
  while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\v' || line[i] == '\f')) ++i;
  if (i == line.size()) return -1;
  if (line[i] == '+') ++i;
  if (i + 1 < line.size() && line[i] == '0' && (line[i + 1] == 'x' || line[i + 1] == 'X')) i += 2;
  size_t digits = 0;
  unsigned long value = 0;
  while (i < line.size() && hexDigit(line[i]) >= 0) {
    value = value * 16 + static_cast<unsigned long>(hexDigit(line[i++]));
    if (value > 0xFFFF) return -2;
    ++digits;
  }
  return digits == 0 ? -2 : static_cast<long>(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  MemEnv env;
  env.put("todelete.txt", bytes);
  DeletionList list;
  CountingReporter reporter;
  Status s = loadDeletionList(&env, ".", &list, &reporter);
  if (!s.ok()) std::abort();

  const bool bom = (size >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) ||
                   (size >= 2 && (bytes.compare(0, 2, "\xFF\xFE") == 0 ||
                                  bytes.compare(0, 2, "\xFE\xFF") == 0));
  if (bom) return 0;
  std::string text = bytes.substr(0, bytes.find('\x1A'));
  std::vector<uint16_t> ids;
  size_t ignored = 0;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    long id = parseLine(line);
    if (id >= 0) ids.push_back(static_cast<uint16_t>(id));
    if (id == -2) ++ignored;
    if (end == std::string::npos) break;
    start = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
  }
  if (list.ids() != ids) std::abort();
  const size_t shown = ignored <= kIgnoredLinesShown ? ignored : kIgnoredLinesShown + 1;
  if (reporter.count != shown) std::abort();
  return 0;
}
