#include "tool.h"

#include <new>

#include "deletion_list/deletion_list.h"
#include "deletion_list/load_deletion_list.h"
#include "statics/clean_statics.h"
#include "util/reporter.h"
#include "util/status.h"

namespace statics_clean {

const char kProgramName[] = "statics-clean";

namespace {

// Prints "statics-clean: FILE: what", or "statics-clean: what" when no one file is concerned.
void printDiagnostic(std::FILE* err, const std::string& file, const std::string& what) {
  if (file.empty()) {
    std::fprintf(err, "%s: %s\n", kProgramName, what.c_str());
  } else {
    std::fprintf(err, "%s: %s: %s\n", kProgramName, file.c_str(), what.c_str());
  }
  std::fflush(err);
}

class StreamReporter : public Reporter {
 public:
  explicit StreamReporter(std::FILE* err) : err_(err) {}
  void warning(const std::string& file, const std::string& what) override {
    printDiagnostic(err_, file, what);
  }

 private:
  std::FILE* err_;
};

int runSteps(const ToolContext& context) {
  StreamReporter reporter(context.err);
  DeletionList list;

  Status s = loadDeletionList(context.env, context.folder, &list, &reporter);
  if (s.code() == kListMissing) {
    printDiagnostic(context.err, s.file(), s.reason() + "; nothing will be deleted");
  } else if (!s.ok()) {
    printDiagnostic(context.err, s.file(), s.reason());
    return 1;
  }

  CleanOptions options;
  options.env = context.env;
  options.folder = context.folder;
  options.list = &list;
  options.reporter = &reporter;
  options.console = context.out;
  options.flushEveryLine = context.env->isTerminal(context.out);
  options.interrupted = context.interrupted;
  CleanSummary summary;
  s = cleanStatics(options, &summary);
  if (!s.ok()) {
    // End a progress line on a terminal, so that the error starts a line of its own.
    if (summary.progressPrinted && options.flushEveryLine) {
      std::fputs("\n", context.out);
      std::fflush(context.out);
    }
    printDiagnostic(context.err, s.file(), s.reason());
    return 1;
  }
  if (std::fflush(context.out) != 0) {
    printDiagnostic(context.err, "standard output", "write error");
  }
  return 0;
}

}  // namespace

int runTool(const ToolContext& context) {
  try {
    return runSteps(context);
  } catch (const std::bad_alloc&) {
    // Each step turns its own allocation failures into a status and removes what it wrote; this
    // catches what is left, such as a message that could not be built.
    std::fprintf(context.err, "%s: not enough memory\n", kProgramName);
    return 1;
  }
}

}  // namespace statics_clean
