#include "statics/output_pair.h"

namespace statics_clean {
namespace {

// Removes path; a file that is not there is what was wanted.
Status removeIfPresent(Env* env, const std::string& path) {
  Status s = env->removeFile(path);
  if (s.code() == kEnvNotFound) return Status::OK();
  return s;
}

}  // namespace

OutputPairNames::OutputPairNames(const std::string& folder)
    : data(joinPath(folder, "statics0_n.mul")),
      index(joinPath(folder, "staidx0_n.mul")),
      tempData(data + ".tmp"),
      tempIndex(index + ".tmp"),
      dataBackup(data + ".bak") {}

Status recoverOutputPair(Env* env, const OutputPairNames& names) {
  const bool backup = env->fileExists(names.dataBackup);
  const bool tempIndex = env->fileExists(names.tempIndex);
  const bool tempData = env->fileExists(names.tempData);
  Status s;
  if (backup && tempIndex) {
    s = env->renameReplacing(names.dataBackup, names.data);
  } else if (backup) {
    s = env->removeFile(names.dataBackup);
  } else if (tempIndex && !tempData && env->fileExists(names.data)) {
    s = env->removeFile(names.data);
  }
  if (s.ok() && tempData) s = removeIfPresent(env, names.tempData);
  if (s.ok() && tempIndex) s = removeIfPresent(env, names.tempIndex);
  return s;
}

Status commitOutputPair(Env* env, const OutputPairNames& names, std::string* leftover) {
  leftover->clear();
  const bool hadData = env->fileExists(names.data);
  Status s;
  if (hadData) s = env->renameReplacing(names.data, names.dataBackup);
  if (s.ok()) {
    s = env->renameReplacing(names.tempData, names.data);
    if (s.ok()) {
      s = env->renameReplacing(names.tempIndex, names.index);
      if (s.ok()) {
        if (hadData && !env->removeFile(names.dataBackup).ok()) *leftover = names.dataBackup;
        return Status::OK();
      }
      // The new data file is in place but its index is not: put the earlier data file back.
      if (hadData) {
        env->renameReplacing(names.dataBackup, names.data);
      } else {
        env->removeFile(names.data);
      }
    } else if (hadData) {
      env->renameReplacing(names.dataBackup, names.data);
    }
  }
  abandonOutputPair(env, names);
  return s;
}

void abandonOutputPair(Env* env, const OutputPairNames& names) {
  env->removeFile(names.tempData);
  env->removeFile(names.tempIndex);
}

}  // namespace statics_clean
