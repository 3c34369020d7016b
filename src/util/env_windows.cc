// The Env of Windows: the Win32 file API, with paths converted from UTF-8.
//
// What differs from POSIX, and is handled here so that the rest of the tool does not know:
//  - files are opened with CreateFileW, which never translates line ends (binary mode);
//  - positions and sizes are 64-bit (SetFilePointerEx, GetFileSizeEx);
//  - a rename onto an existing file must ask to replace it (MoveFileExW);
//  - "is a terminal" means a console, not any character device (NUL is one too);
//  - the errors the tool's messages name are worded as on POSIX, so that the same failure reads
//    the same on both platforms.

#include <windows.h>
#include <io.h>

#include <cerrno>
#include <cstring>

#include "util/env.h"

namespace statics_clean {
namespace {

// A path in UTF-16, converted into a buffer of its own rather than onto the heap, so that
// renaming and removing allocate nothing: the commit of an output pair must not stop half way for
// want of memory.
class WidePath {
 public:
  explicit WidePath(const std::string& path) {
    ok_ = MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, buf_, kMaxChars) > 0;
    if (!ok_) buf_[0] = L'\0';
  }
  bool ok() const { return ok_; }
  const wchar_t* c_str() const { return buf_; }

 private:
  static constexpr int kMaxChars = 4096;
  wchar_t buf_[kMaxChars];
  bool ok_;
};

Status tooLong(const std::string& path) {
  return Status(kEnvIoError, path, "File name too long");
}

bool isDirectory(const std::string& path) {
  DWORD attributes = GetFileAttributesW(WidePath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

Status errorStatus(const std::string& path, DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return Status(kEnvNotFound, path, "No such file or directory");
    case ERROR_ACCESS_DENIED:
      if (isDirectory(path)) return Status(kEnvIoError, path, "Is a directory");
      return Status(kEnvIoError, path, "Permission denied");
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return Status(kEnvIoError, path, "File exists");
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return Status(kEnvIoError, path, "No space left on device");
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return Status(kEnvIoError, path, "Cannot allocate memory");
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return Status(kEnvIoError, path, "File is in use by another program");
    default:
      break;
  }
  char text[512];
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           error, MAKELANGID(LANG_ENGLISH, SUBLANG_DEFAULT), text, sizeof text,
                           nullptr);
  while (n > 0 && (text[n - 1] == '\n' || text[n - 1] == '\r' || text[n - 1] == '.')) --n;
  if (n == 0) return Status(kEnvIoError, path, "Windows error " + std::to_string(error));
  return Status(kEnvIoError, path, std::string(text, n));
}

Status lastError(const std::string& path) { return errorStatus(path, GetLastError()); }

// Reads and writes go in pieces that a DWORD can count.
constexpr size_t kMaxPiece = 1u << 30;

class WindowsReadableFile : public ReadableFile {
 public:
  explicit WindowsReadableFile(std::string path) : path_(std::move(path)) {}
  ~WindowsReadableFile() override {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  void adopt(HANDLE h) { handle_ = h; }

  Status read(char* buf, size_t n, size_t* got) override {
    size_t done = 0;
    while (done < n) {
      DWORD piece = static_cast<DWORD>(n - done < kMaxPiece ? n - done : kMaxPiece);
      DWORD r = 0;
      if (!ReadFile(handle_, buf + done, piece, &r, nullptr)) {
        *got = done;
        return lastError(path_);
      }
      if (r == 0) break;
      done += r;
    }
    *got = done;
    return Status::OK();
  }

  Status seek(uint64_t pos) override {
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(pos);
    if (!SetFilePointerEx(handle_, to, nullptr, FILE_BEGIN)) return lastError(path_);
    return Status::OK();
  }

  Status size(uint64_t* bytes) override {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(handle_, &size)) return lastError(path_);
    *bytes = static_cast<uint64_t>(size.QuadPart);
    return Status::OK();
  }

 private:
  std::string path_;
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

class WindowsWritableFile : public WritableFile {
 public:
  explicit WindowsWritableFile(std::string path) : path_(std::move(path)) {}
  ~WindowsWritableFile() override {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  void adopt(HANDLE h) { handle_ = h; }

  Status append(const char* data, size_t n) override {
    while (n > 0) {
      DWORD piece = static_cast<DWORD>(n < kMaxPiece ? n : kMaxPiece);
      DWORD w = 0;
      if (!WriteFile(handle_, data, piece, &w, nullptr)) return lastError(path_);
      data += w;
      n -= w;
    }
    return Status::OK();
  }

  Status sync() override {
    if (!FlushFileBuffers(handle_)) return lastError(path_);
    return Status::OK();
  }

  Status close() override {
    HANDLE h = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    if (!CloseHandle(h)) return lastError(path_);
    return Status::OK();
  }

 private:
  std::string path_;
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

class WindowsEnv : public Env {
 public:
  Status openReadable(const std::string& path, std::unique_ptr<ReadableFile>* file) override {
    std::unique_ptr<WindowsReadableFile> f(new WindowsReadableFile(path));
    WidePath wide(path);
    if (!wide.ok()) return tooLong(path);
    HANDLE h = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE) return lastError(path);
    f->adopt(h);
    *file = std::move(f);
    return Status::OK();
  }

  Status createWritable(const std::string& path, std::unique_ptr<WritableFile>* file) override {
    std::unique_ptr<WindowsWritableFile> f(new WindowsWritableFile(path));
    WidePath wide(path);
    if (!wide.ok()) return tooLong(path);
    HANDLE h = CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return lastError(path);
    f->adopt(h);
    *file = std::move(f);
    return Status::OK();
  }

  Status renameReplacing(const std::string& from, const std::string& to) override {
    WidePath wideFrom(from);
    WidePath wideTo(to);
    if (!wideFrom.ok() || !wideTo.ok()) return tooLong(to);
    if (!MoveFileExW(wideFrom.c_str(), wideTo.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return lastError(to);
    }
    return Status::OK();
  }

  Status removeFile(const std::string& path) override {
    WidePath wide(path);
    if (!wide.ok()) return tooLong(path);
    if (!DeleteFileW(wide.c_str())) return lastError(path);
    return Status::OK();
  }

  bool fileExists(const std::string& path) override {
    WidePath wide(path);
    return wide.ok() && GetFileAttributesW(wide.c_str()) != INVALID_FILE_ATTRIBUTES;
  }

  bool isTerminal(std::FILE* stream) override {
    HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    DWORD mode;
    return h != INVALID_HANDLE_VALUE && GetFileType(h) == FILE_TYPE_CHAR &&
           GetConsoleMode(h, &mode);
  }
};

}  // namespace

Env* Env::Default() {
  static WindowsEnv* env = new WindowsEnv;
  return env;
}

}  // namespace statics_clean
