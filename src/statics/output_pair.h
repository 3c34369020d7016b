// OutputPair: puts a new "statics0_n.mul" and "staidx0_n.mul" in place, both or neither.
//
// The new files are written under temporary names in the same folder. Only when both were
// written, synced and closed does commit() rename them to the output names:
//   1. an earlier data file is moved aside to a backup name;
//   2. the new data file is renamed to "statics0_n.mul";
//   3. the new index is renamed to "staidx0_n.mul";
//   4. the backup is removed.
// A run that fails before the commit removes its temporaries (abandon()), the index first.
//
// The names that exist tell how far a run got, whether it failed or was killed:
//   temporary index, no temporary data  - step 2 was done and step 3 not: the data file in place
//                                         is the new one
//   backup and temporary index          - step 1 was done and step 3 not: the backup is the
//                                         earlier data file
//   backup alone                        - the commit was done but for step 4
// recover() undoes the steps in reverse order from there, each taking the files back to a state
// the commit passed through, so that a recovery that is itself killed is read the same way by the
// next. A commit that fails undoes itself the same way, and every run recovers first, so that no
// stray file outlives a run and an earlier pair is put back wherever a commit was cut short.

#ifndef STATICS_CLEAN_STATICS_OUTPUT_PAIR_H_
#define STATICS_CLEAN_STATICS_OUTPUT_PAIR_H_

#include <string>

#include "util/env.h"
#include "util/status.h"

namespace statics_clean {

struct OutputPairNames {
  explicit OutputPairNames(const std::string& folder);

  std::string data;        // "statics0_n.mul"
  std::string index;       // "staidx0_n.mul"
  std::string tempData;    // "statics0_n.mul.tmp"
  std::string tempIndex;   // "staidx0_n.mul.tmp"
  std::string dataBackup;  // "statics0_n.mul.bak": the earlier data file during a commit
};

// Undoes what a failed or killed run left, as described above. An error means a leftover could
// not be removed or put back; the run must not go on then.
Status recoverOutputPair(Env* env, const OutputPairNames& names);

// Renames both temporaries to the output names.
// REQUIRES: both temporaries are complete and closed.
// On failure the earlier output pair is as it was and the temporaries are removed. A backup that
// cannot be removed after a successful commit is reported through *leftover (else cleared); the
// next run's recovery removes it.
Status commitOutputPair(Env* env, const OutputPairNames& names, std::string* leftover);

// Removes the temporaries of a run that does not commit. Errors are ignored: there is nothing
// more a failing run can do, and the next run's recovery tries again.
void abandonOutputPair(Env* env, const OutputPairNames& names);

}  // namespace statics_clean

#endif  // STATICS_CLEAN_STATICS_OUTPUT_PAIR_H_
