#include "statics/output_pair.h"

#include <new>

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
  bool tempData = env->fileExists(names.tempData);
  Status s;
  // Each step below turns one state a commit passes through into the one before it, so that a run
  // killed during recovery leaves a state the next recovery reads the same way.
  if (tempIndex && !tempData && env->fileExists(names.data)) {
    // A commit had put the new data file in place, but not its index: move it back.
    s = env->renameReplacing(names.data, names.tempData);
    tempData = s.ok();
  }
  if (s.ok() && backup) {
    // With the temporary index still there, the backup is the earlier data file, to be put back;
    // without it, the commit was done but for removing the backup.
    s = tempIndex ? env->renameReplacing(names.dataBackup, names.data)
                  : env->removeFile(names.dataBackup);
  }
  if (s.ok() && tempIndex) s = removeIfPresent(env, names.tempIndex);
  if (s.ok() && tempData) s = removeIfPresent(env, names.tempData);
  return s;
}

Status commitOutputPair(Env* env, const OutputPairNames& names, std::string* leftover) {
  leftover->clear();
  const bool hadData = env->fileExists(names.data);
  bool pairInPlace = false;
  Status s;
  try {
    if (hadData) s = env->renameReplacing(names.data, names.dataBackup);
    if (s.ok()) s = env->renameReplacing(names.tempData, names.data);
    if (s.ok()) s = env->renameReplacing(names.tempIndex, names.index);
    if (s.ok()) {
      pairInPlace = true;
      if (hadData && !env->removeFile(names.dataBackup).ok()) *leftover = names.dataBackup;
      return Status::OK();
    }
  } catch (const std::bad_alloc&) {
    // Memory ran out in the middle (building an error, say). Once the pair is in place the run
    // has succeeded, and the next run removes a backup left behind; before, undo as below.
    if (pairInPlace) return Status::OK();
    recoverOutputPair(env, names);
    throw;
  }
  // The files left tell how far the commit got; undoing it is what recovery does.
  recoverOutputPair(env, names);
  return s;
}

void abandonOutputPair(Env* env, const OutputPairNames& names) {
  // The index first: a temporary index without its temporary data tells the next run's recovery
  // that a commit was under way, which must never be read into a run killed while it cleaned up.
  env->removeFile(names.tempIndex);
  env->removeFile(names.tempData);
}

}  // namespace statics_clean
