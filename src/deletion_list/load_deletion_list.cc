#include "deletion_list/load_deletion_list.h"

#include <cstdint>
#include <new>
#include <vector>

#include "deletion_list/list_parser.h"

namespace statics_clean {

const char kDeletionListFileName[] = "todelete.txt";

namespace {

constexpr uint32_t kCtrlZ = 0x1A;
constexpr size_t kChunkSize = 64 * 1024;

enum class Encoding { kBytes, kUtf16Le, kUtf16Be };

// Feeds the characters of one chunk to the parser. Returns false at a Ctrl-Z, where the text ends.
// pendingByte carries the first byte of a UTF-16 code unit that the chunk's end split.
bool feedChunk(Encoding encoding, const unsigned char* p, size_t n, int* pendingByte,
               ListParser* parser) {
  for (size_t i = 0; i < n; ++i) {
    uint32_t ch;
    if (encoding == Encoding::kBytes) {
      ch = p[i];
    } else if (*pendingByte < 0) {
      *pendingByte = p[i];
      continue;
    } else {
      uint32_t first = static_cast<uint32_t>(*pendingByte);
      ch = encoding == Encoding::kUtf16Le ? (first | (uint32_t{p[i]} << 8))
                                          : ((first << 8) | p[i]);
      *pendingByte = -1;
    }
    if (ch == kCtrlZ) return false;
    parser->feed(ch);
  }
  return true;
}

Status readList(ReadableFile* file, const std::string& path, DeletionList* list,
                Reporter* reporter) {
  std::vector<char> chunk(kChunkSize);
  size_t got = 0;
  Status s = file->read(chunk.data(), chunk.size(), &got);
  if (!s.ok()) return s.withCode(kListUnreadable);

  const unsigned char* p = reinterpret_cast<const unsigned char*>(chunk.data());
  Encoding encoding = Encoding::kBytes;
  size_t start = 0;
  if (got >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) {
    start = 3;
  } else if (got >= 2 && p[0] == 0xFF && p[1] == 0xFE) {
    encoding = Encoding::kUtf16Le;
    start = 2;
  } else if (got >= 2 && p[0] == 0xFE && p[1] == 0xFF) {
    encoding = Encoding::kUtf16Be;
    start = 2;
  }

  uint64_t ignored = 0;
  ListParser parser(
      encoding != Encoding::kBytes, [list](uint16_t id) { list->append(id); },
      [&](uint64_t line, const std::string& text) {
        if (++ignored > kIgnoredLinesShown) return;
        reporter->warning(path + ":" + std::to_string(line),
                          "\"" + text + "\" is not an item ID (0 to FFFF); line ignored");
      });

  int pendingByte = -1;
  bool more = feedChunk(encoding, p + start, got - start, &pendingByte, &parser);
  while (more && got == chunk.size()) {
    s = file->read(chunk.data(), chunk.size(), &got);
    if (!s.ok()) return s.withCode(kListUnreadable);
    more = feedChunk(encoding, p, got, &pendingByte, &parser);
  }
  parser.finish();

  if (ignored > kIgnoredLinesShown) {
    reporter->warning(path, std::to_string(ignored - kIgnoredLinesShown) +
                                " more lines that are not item IDs ignored");
  }
  return Status::OK();
}

}  // namespace

Status loadDeletionList(Env* env, const std::string& folder, DeletionList* list,
                        Reporter* reporter) {
  const std::string path = joinPath(folder, kDeletionListFileName);
  std::unique_ptr<ReadableFile> file;
  Status s = env->openReadable(path, &file);
  if (!s.ok()) return s.withCode(s.code() == kEnvNotFound ? kListMissing : kListUnreadable);
  try {
    return readList(file.get(), path, list, reporter);
  } catch (const std::bad_alloc&) {
    return Status(kListOutOfMemory, path, "not enough memory to hold the list");
  }
}

}  // namespace statics_clean
