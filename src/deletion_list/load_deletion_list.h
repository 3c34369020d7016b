// loadDeletionList: reads "todelete.txt" into the run's DeletionList.
//
// The file is read in binary and decoded here, so that every platform reads the same list:
//  - a UTF-8 byte-order mark at the start is skipped;
//  - a file that starts with FF FE or FE FF is UTF-16 text, little- or big-endian;
//  - a Ctrl-Z character (0x1A) ends the text;
//  - the lines are parsed as ListParser describes. A line that yields no ID is reported to the
//    Reporter as "todelete.txt:N" (the first kIgnoredLinesShown of them, then one count of the
//    rest) and the reading goes on.

#ifndef STATICS_CLEAN_DELETION_LIST_LOAD_DELETION_LIST_H_
#define STATICS_CLEAN_DELETION_LIST_LOAD_DELETION_LIST_H_

#include <cstddef>
#include <string>

#include "deletion_list/deletion_list.h"
#include "util/env.h"
#include "util/reporter.h"
#include "util/status.h"

namespace statics_clean {

// The fixed name of the list file, in the folder the tool works in.
extern const char kDeletionListFileName[];

// The ways loadDeletionList ends. A missing file is not a failure of the run: the pass still
// runs and repacks the pair with nothing deleted.
enum LoadListCode : int {
  kListOk = 0,
  kListMissing = 1,     // "todelete.txt" does not exist; the list is left as it was
  kListUnreadable = 2,  // it exists but cannot be opened or read to its end
  kListOutOfMemory = 3,
};

// Ignored lines reported one by one before the rest are only counted.
constexpr size_t kIgnoredLinesShown = 10;

// Appends the IDs of folder/"todelete.txt" to list, in the order of the lines.
// REQUIRES: env, list and reporter are not null.
Status loadDeletionList(Env* env, const std::string& folder, DeletionList* list,
                        Reporter* reporter);

}  // namespace statics_clean

#endif  // STATICS_CLEAN_DELETION_LIST_LOAD_DELETION_LIST_H_
