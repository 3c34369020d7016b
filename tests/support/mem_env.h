// MemEnv: an Env whose files live in memory, for fast tests and fuzzing.

#ifndef STATICS_CLEAN_TESTS_SUPPORT_MEM_ENV_H_
#define STATICS_CLEAN_TESTS_SUPPORT_MEM_ENV_H_

#include <map>
#include <memory>
#include <set>
#include <string>

#include "util/env.h"

namespace statics_clean {

class MemEnv : public Env {
 public:
  MemEnv() = default;
  MemEnv(const MemEnv& other);  // a deep copy of the files

  Status openReadable(const std::string& path, std::unique_ptr<ReadableFile>* file) override;
  Status createWritable(const std::string& path, std::unique_ptr<WritableFile>* file) override;
  Status renameReplacing(const std::string& from, const std::string& to) override;
  Status removeFile(const std::string& path) override;
  bool fileExists(const std::string& path) override;
  bool isTerminal(std::FILE*) override { return terminal; }

  void put(const std::string& path, std::string bytes);
  // The contents of path; REQUIRES: it exists.
  std::string get(const std::string& path) const;
  bool has(const std::string& path) const { return files_.count(path) > 0; }
  // The paths of all files, sorted.
  std::set<std::string> names() const;

  std::set<std::string> directories;  // paths that open as a directory does
  bool terminal = false;

 private:
  std::map<std::string, std::shared_ptr<std::string>> files_;
};

}  // namespace statics_clean

#endif  // STATICS_CLEAN_TESTS_SUPPORT_MEM_ENV_H_
