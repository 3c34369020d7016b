#include "support/mem_env.h"

#include <algorithm>
#include <cstring>

namespace statics_clean {
namespace {

class MemReadableFile : public ReadableFile {
 public:
  explicit MemReadableFile(std::shared_ptr<std::string> bytes) : bytes_(std::move(bytes)) {}
  Status read(char* buf, size_t n, size_t* got) override {
    size_t avail = pos_ < bytes_->size() ? bytes_->size() - static_cast<size_t>(pos_) : 0;
    *got = std::min(n, avail);
    if (*got > 0) std::memcpy(buf, bytes_->data() + pos_, *got);
    pos_ += *got;
    return Status::OK();
  }
  Status seek(uint64_t pos) override {
    pos_ = pos;
    return Status::OK();
  }
  Status size(uint64_t* bytes) override {
    *bytes = bytes_->size();
    return Status::OK();
  }

 private:
  std::shared_ptr<std::string> bytes_;
  uint64_t pos_ = 0;
};

class MemWritableFile : public WritableFile {
 public:
  explicit MemWritableFile(std::shared_ptr<std::string> bytes) : bytes_(std::move(bytes)) {}
  Status append(const char* data, size_t n) override {
    bytes_->append(data, n);
    return Status::OK();
  }
  Status sync() override { return Status::OK(); }
  Status close() override { return Status::OK(); }

 private:
  std::shared_ptr<std::string> bytes_;
};

Status notFound(const std::string& path) {
  return Status(kEnvNotFound, path, "No such file or directory");
}

}  // namespace

MemEnv::MemEnv(const MemEnv& other)
    : Env(), directories(other.directories), terminal(other.terminal) {
  for (const auto& f : other.files_) files_[f.first] = std::make_shared<std::string>(*f.second);
}

Status MemEnv::openReadable(const std::string& path, std::unique_ptr<ReadableFile>* file) {
  if (directories.count(path)) return Status(kEnvIoError, path, "Is a directory");
  auto it = files_.find(path);
  if (it == files_.end()) return notFound(path);
  file->reset(new MemReadableFile(it->second));
  return Status::OK();
}

Status MemEnv::createWritable(const std::string& path, std::unique_ptr<WritableFile>* file) {
  if (files_.count(path) || directories.count(path)) return Status(kEnvIoError, path, "File exists");
  auto bytes = std::make_shared<std::string>();
  files_[path] = bytes;
  file->reset(new MemWritableFile(bytes));
  return Status::OK();
}

Status MemEnv::renameReplacing(const std::string& from, const std::string& to) {
  auto it = files_.find(from);
  if (it == files_.end()) return notFound(from);
  if (directories.count(to)) return Status(kEnvIoError, to, "Is a directory");
  auto bytes = it->second;
  files_.erase(it);
  files_[to] = bytes;
  return Status::OK();
}

Status MemEnv::removeFile(const std::string& path) {
  if (files_.erase(path) == 0) return notFound(path);
  return Status::OK();
}

bool MemEnv::fileExists(const std::string& path) {
  return files_.count(path) > 0 || directories.count(path) > 0;
}

void MemEnv::put(const std::string& path, std::string bytes) {
  files_[path] = std::make_shared<std::string>(std::move(bytes));
}

std::string MemEnv::get(const std::string& path) const { return *files_.at(path); }

std::set<std::string> MemEnv::names() const {
  std::set<std::string> out;
  for (const auto& f : files_) out.insert(f.first);
  return out;
}

}  // namespace statics_clean
