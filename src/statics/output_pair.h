// OutputPair: puts a new "statics0_n.mul" and "staidx0_n.mul" in place, both or neither.
//
// The new files are written under temporary names in the same folder. Only when both were
// written, synced and closed does commit() rename them to the output names. The data file goes
// first; an earlier data file is first moved aside to a backup name, so that if the second rename
// fails, the backup is moved back and the earlier pair stands exactly as it was. A run that fails
// or is interrupted removes its temporaries (abandon()).
//
// A run that is killed leaves its files behind. recover(), at the start of the next run, reads
// from the names that still exist how far the killed run got, puts the earlier pair back where a
// commit was cut short, and removes every leftover, so that no stray file outlives a run:
//   backup and temporary index  - the commit was cut short: the backup is the earlier data file
//   backup alone                - the commit was done but for removing the backup
//   temporary index, no temporary data, no backup - the new data file was renamed into a place
//                                 where there was none: it is removed

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

// Undoes what a killed run left, as described above. An error means a leftover could not be
// removed or put back; the run must not go on then.
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
