// Status: the result of one step of the tool.
//
// A Status is either ok (code 0) or carries a small positive code that tells the caller which way
// the step ended early, plus the file it concerns and a reason in plain words. No message is
// formatted here: the driver turns a failed Status into the one line the user sees,
// "statics-clean: FILE: reason", so that every message has the same form.

#ifndef STATICS_CLEAN_UTIL_STATUS_H_
#define STATICS_CLEAN_UTIL_STATUS_H_

#include <memory>
#include <string>
#include <utility>

namespace statics_clean {

// Codes of the file-access layer. Each step maps these onto codes of its own.
enum EnvCode : int {
  kEnvNotFound = 1,  // the named file does not exist
  kEnvIoError = 2,   // any other failure of a file operation
};

class Status {
 public:
  // An ok Status holds nothing, so that returning and assigning one on a hot path costs no more
  // than a pointer.
  Status() = default;
  Status(int code, std::string file, std::string reason)
      : state_(new State{code, std::move(file), std::move(reason)}) {}
  Status(const Status& other) : state_(other.state_ ? new State(*other.state_) : nullptr) {}
  Status& operator=(const Status& other) {
    if (this != &other) state_.reset(other.state_ ? new State(*other.state_) : nullptr);
    return *this;
  }
  Status(Status&&) noexcept = default;
  Status& operator=(Status&&) noexcept = default;

  static Status OK() { return Status(); }

  bool ok() const { return state_ == nullptr; }
  int code() const { return state_ ? state_->code : 0; }
  // The file the failure concerns, as the user named it; empty when it concerns no one file.
  const std::string& file() const { return state_ ? state_->file : empty(); }
  const std::string& reason() const { return state_ ? state_->reason : empty(); }

  // The same failure under another code, so that a step can report a file-access failure as one
  // of its own ways of ending. An ok Status stays ok.
  Status withCode(int code) const { return ok() ? Status() : Status(code, file(), reason()); }

 private:
  struct State {
    int code;
    std::string file;
    std::string reason;
  };
  static const std::string& empty() {
    static const std::string* e = new std::string;
    return *e;
  }
  std::unique_ptr<State> state_;
};

}  // namespace statics_clean

#endif  // STATICS_CLEAN_UTIL_STATUS_H_
