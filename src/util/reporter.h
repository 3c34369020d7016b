// Reporter: where a step sends warnings, things the user should know that do not stop the run.
//
// A step names the file (or "file:line") and says what it noticed; the driver's Reporter prints
// that as "statics-clean: FILE: what" on stderr, the same form as an error.

#ifndef STATICS_CLEAN_UTIL_REPORTER_H_
#define STATICS_CLEAN_UTIL_REPORTER_H_

#include <string>

namespace statics_clean {

class Reporter {
 public:
  virtual ~Reporter() = default;
  virtual void warning(const std::string& file, const std::string& what) = 0;
};

}  // namespace statics_clean

#endif  // STATICS_CLEAN_UTIL_REPORTER_H_
