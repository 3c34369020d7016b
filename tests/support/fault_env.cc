#include "support/fault_env.h"

namespace statics_clean {

Status injectedFault(const std::string& path) {
  return Status(kEnvIoError, path, "Input/output error (injected)");
}

namespace {

class FaultReadableFile : public ReadableFile {
 public:
  FaultReadableFile(FaultEnv* env, std::string path, std::unique_ptr<ReadableFile> base)
      : env_(env), path_(std::move(path)), base_(std::move(base)) {}

  Status read(char* buf, size_t n, size_t* got) override {
    if (env_->next("read " + path_)) {
      *got = 0;
      return injectedFault(path_);
    }
    if (env_->shortReadNow()) n /= 2;
    return base_->read(buf, n, got);
  }
  Status seek(uint64_t pos) override {
    if (env_->next("seek " + path_)) return injectedFault(path_);
    return base_->seek(pos);
  }
  Status size(uint64_t* bytes) override {
    if (env_->next("size " + path_)) return injectedFault(path_);
    return base_->size(bytes);
  }

 private:
  FaultEnv* env_;
  std::string path_;
  std::unique_ptr<ReadableFile> base_;
};

class FaultWritableFile : public WritableFile {
 public:
  FaultWritableFile(FaultEnv* env, std::string path, std::unique_ptr<WritableFile> base)
      : env_(env), path_(std::move(path)), base_(std::move(base)) {}

  Status append(const char* data, size_t n) override {
    if (env_->next("append " + path_)) return injectedFault(path_);
    if (!env_->takeSpace(n)) return Status(kEnvIoError, path_, "No space left on device");
    return base_->append(data, n);
  }
  Status sync() override {
    if (env_->next("sync " + path_)) return injectedFault(path_);
    return base_->sync();
  }
  Status close() override {
    if (env_->next("close " + path_)) {
      base_->close();
      return injectedFault(path_);
    }
    return base_->close();
  }

 private:
  FaultEnv* env_;
  std::string path_;
  std::unique_ptr<WritableFile> base_;
};

}  // namespace

bool FaultEnv::next(const std::string& what) {
  ++count_;
  log_.push_back(what);
  if (onOperation_) onOperation_(what);
  if (mode_ == Mode::kFailOne) return count_ == failAt_;
  if (mode_ == Mode::kCrash) return count_ >= failAt_;
  if (mode_ == Mode::kFailThenCrash) return count_ == failAt_ || count_ >= crashAt_;
  return false;
}

bool FaultEnv::takeSpace(size_t n) {
  if (n > spaceLeft_) {
    spaceLeft_ = 0;
    return false;
  }
  spaceLeft_ -= n;
  return true;
}

Status FaultEnv::openReadable(const std::string& path, std::unique_ptr<ReadableFile>* file) {
  if (next("open " + path)) return injectedFault(path);
  std::unique_ptr<ReadableFile> base;
  Status s = base_->openReadable(path, &base);
  if (s.ok()) file->reset(new FaultReadableFile(this, path, std::move(base)));
  return s;
}

Status FaultEnv::createWritable(const std::string& path, std::unique_ptr<WritableFile>* file) {
  if (next("create " + path)) return injectedFault(path);
  std::unique_ptr<WritableFile> base;
  Status s = base_->createWritable(path, &base);
  if (s.ok()) file->reset(new FaultWritableFile(this, path, std::move(base)));
  return s;
}

Status FaultEnv::renameReplacing(const std::string& from, const std::string& to) {
  if (next("rename " + from + " " + to)) return injectedFault(to);
  return base_->renameReplacing(from, to);
}

Status FaultEnv::removeFile(const std::string& path) {
  if (next("remove " + path)) return injectedFault(path);
  return base_->removeFile(path);
}

}  // namespace statics_clean
