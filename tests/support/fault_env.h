// FaultEnv: an Env that passes every operation to another Env and fails the ones a test picks.
//
// Every operation that can fail (open, read, seek, size, create, append, sync, close, rename,
// remove) is counted and logged. A test first runs with no fault to learn how many operations a
// run makes, then runs again failing each one in turn.

#ifndef STATICS_CLEAN_TESTS_SUPPORT_FAULT_ENV_H_
#define STATICS_CLEAN_TESTS_SUPPORT_FAULT_ENV_H_

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "util/env.h"

namespace statics_clean {

class FaultEnv : public Env {
 public:
  enum class Mode {
    kNone,
    kFailOne,     // operation failAt fails; the others go through
    kCrash,       // operation failAt and every later one fail, as if the process died there
    kShortRead,   // operation failAt, if a read, returns half of what it should
    kFailThenCrash,  // operation failAt fails, and from crashAt on every one fails
  };

  explicit FaultEnv(Env* base) : base_(base) {}

  void inject(Mode mode, int failAt, int crashAt = 0) {
    mode_ = mode;
    failAt_ = failAt;
    crashAt_ = crashAt;
  }
  // Appends fail with "No space left on device" once this many bytes were written in all.
  void limitSpace(uint64_t bytes) { spaceLeft_ = bytes; }
  // Called with the description of each operation before it is carried out, so that a test can
  // look at the world at a known point of a run.
  void watch(std::function<void(const std::string&)> onOperation) {
    onOperation_ = std::move(onOperation);
  }

  int operations() const { return count_; }
  const std::vector<std::string>& log() const { return log_; }

  Status openReadable(const std::string& path, std::unique_ptr<ReadableFile>* file) override;
  Status createWritable(const std::string& path, std::unique_ptr<WritableFile>* file) override;
  Status renameReplacing(const std::string& from, const std::string& to) override;
  Status removeFile(const std::string& path) override;
  bool fileExists(const std::string& path) override { return base_->fileExists(path); }
  bool isTerminal(std::FILE* stream) override { return base_->isTerminal(stream); }

  // Counts one operation; true when it is to fail. Used by the file wrappers too.
  bool next(const std::string& what);
  bool shortReadNow() const { return mode_ == Mode::kShortRead && count_ == failAt_; }
  // Takes n bytes of the space left; false when there is not enough.
  bool takeSpace(size_t n);

 private:
  Env* base_;
  Mode mode_ = Mode::kNone;
  int failAt_ = 0;
  int crashAt_ = 0;
  int count_ = 0;
  uint64_t spaceLeft_ = UINT64_MAX;
  std::vector<std::string> log_;
  std::function<void(const std::string&)> onOperation_;
};

// The status every injected failure returns.
Status injectedFault(const std::string& path);

}  // namespace statics_clean

#endif  // STATICS_CLEAN_TESTS_SUPPORT_FAULT_ENV_H_
