// The Env of POSIX systems: plain file descriptors, so that every failure is seen with its errno.

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "util/env.h"

namespace statics_clean {
namespace {

Status errnoStatus(const std::string& path, int err) {
  return Status(err == ENOENT ? kEnvNotFound : kEnvIoError, path, std::strerror(err));
}

class PosixReadableFile : public ReadableFile {
 public:
  explicit PosixReadableFile(std::string path) : path_(std::move(path)) {}
  ~PosixReadableFile() override {
    if (fd_ >= 0) ::close(fd_);
  }
  void adopt(int fd) { fd_ = fd; }

  Status read(char* buf, size_t n, size_t* got) override {
    size_t done = 0;
    while (done < n) {
      ssize_t r = ::read(fd_, buf + done, n - done);
      if (r < 0) {
        if (errno == EINTR) continue;
        *got = done;
        return errnoStatus(path_, errno);
      }
      if (r == 0) break;
      done += static_cast<size_t>(r);
    }
    *got = done;
    return Status::OK();
  }

  Status seek(uint64_t pos) override {
    if (::lseek(fd_, static_cast<off_t>(pos), SEEK_SET) < 0) return errnoStatus(path_, errno);
    return Status::OK();
  }

  Status size(uint64_t* bytes) override {
    struct stat st;
    if (::fstat(fd_, &st) != 0) return errnoStatus(path_, errno);
    *bytes = static_cast<uint64_t>(st.st_size);
    return Status::OK();
  }

 private:
  std::string path_;
  int fd_ = -1;
};

class PosixWritableFile : public WritableFile {
 public:
  explicit PosixWritableFile(std::string path) : path_(std::move(path)) {}
  ~PosixWritableFile() override {
    if (fd_ >= 0) ::close(fd_);
  }
  void adopt(int fd) { fd_ = fd; }

  Status append(const char* data, size_t n) override {
    while (n > 0) {
      ssize_t w = ::write(fd_, data, n);
      if (w < 0) {
        if (errno == EINTR) continue;
        return errnoStatus(path_, errno);
      }
      data += w;
      n -= static_cast<size_t>(w);
      written_ += static_cast<uint64_t>(w);
    }
#ifdef __linux__
    // Start writing what has piled up to the device now, without waiting for it, so that the
    // sync() at the end has little left to do and the disk works while the pass computes.
    if (written_ - kicked_ >= kWritebackStep) {
      ::sync_file_range(fd_, static_cast<off_t>(kicked_), static_cast<off_t>(written_ - kicked_),
                        SYNC_FILE_RANGE_WRITE);
      kicked_ = written_;
    }
#endif
    return Status::OK();
  }

  Status sync() override {
    if (::fsync(fd_) != 0) return errnoStatus(path_, errno);
    return Status::OK();
  }

  Status close() override {
    int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) return errnoStatus(path_, errno);
    return Status::OK();
  }

 private:
  static constexpr uint64_t kWritebackStep = 8 << 20;
  std::string path_;
  int fd_ = -1;
  uint64_t written_ = 0;
  uint64_t kicked_ = 0;
};

class PosixEnv : public Env {
 public:
  // Each file object is made before its descriptor is opened, so that an allocation failure
  // leaves no descriptor open and no file created behind.
  Status openReadable(const std::string& path, std::unique_ptr<ReadableFile>* file) override {
    std::unique_ptr<PosixReadableFile> f(new PosixReadableFile(path));
    int fd;
    do {
      fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return errnoStatus(path, errno);
    f->adopt(fd);
    struct stat st;
    if (::fstat(fd, &st) != 0) return errnoStatus(path, errno);
    if (S_ISDIR(st.st_mode)) return errnoStatus(path, EISDIR);
    *file = std::move(f);
    return Status::OK();
  }

  Status createWritable(const std::string& path, std::unique_ptr<WritableFile>* file) override {
    std::unique_ptr<PosixWritableFile> f(new PosixWritableFile(path));
    int fd;
    do {
      fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return errnoStatus(path, errno);
    f->adopt(fd);
    *file = std::move(f);
    return Status::OK();
  }

  Status renameReplacing(const std::string& from, const std::string& to) override {
    if (::rename(from.c_str(), to.c_str()) != 0) return errnoStatus(to, errno);
    return Status::OK();
  }

  Status removeFile(const std::string& path) override {
    if (::unlink(path.c_str()) != 0) return errnoStatus(path, errno);
    return Status::OK();
  }

  bool fileExists(const std::string& path) override {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
  }

  bool isTerminal(std::FILE* stream) override { return ::isatty(::fileno(stream)) == 1; }
};

}  // namespace

Env* Env::Default() {
  static PosixEnv* env = new PosixEnv;
  return env;
}

}  // namespace statics_clean
