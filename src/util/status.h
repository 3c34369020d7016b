// Status: the result of one step of the tool.
//
// A Status is either ok (code 0) or carries a small positive code that tells the caller which way
// the step ended early, plus the file it concerns and a reason in plain words. No message is
// formatted here: the driver turns a failed Status into the one line the user sees,
// "statics-clean: FILE: reason", so that every message has the same form.

#ifndef STATICS_CLEAN_UTIL_STATUS_H_
#define STATICS_CLEAN_UTIL_STATUS_H_

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
  Status() = default;  // ok
  Status(int code, std::string file, std::string reason)
      : code_(code), file_(std::move(file)), reason_(std::move(reason)) {}

  static Status OK() { return Status(); }

  bool ok() const { return code_ == 0; }
  int code() const { return code_; }
  // The file the failure concerns, as the user named it; empty when it concerns no one file.
  const std::string& file() const { return file_; }
  const std::string& reason() const { return reason_; }

  // The same failure under another code, so that a step can report a file-access failure as one
  // of its own ways of ending. An ok Status stays ok.
  Status withCode(int code) const { return ok() ? *this : Status(code, file_, reason_); }

 private:
  int code_ = 0;
  std::string file_;
  std::string reason_;
};

}  // namespace statics_clean

#endif  // STATICS_CLEAN_UTIL_STATUS_H_
