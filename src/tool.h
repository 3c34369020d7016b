// runTool: one run of the tool, as the executable makes it, with its surroundings passed in.
//
// Loads the DeletionList from "todelete.txt", runs the cleaning pass, and reports on errStream
// every warning and the error that ended the run, each as "statics-clean: FILE: what". The
// executable passes the real Env, ".", stdout and stderr; tests pass their own.
//
// Returns the exit status: 0 when the new pair was written, 1 when it was not.

#ifndef STATICS_CLEAN_TOOL_H_
#define STATICS_CLEAN_TOOL_H_

#include <csignal>
#include <cstdio>
#include <string>

#include "util/env.h"

namespace statics_clean {

extern const char kProgramName[];  // "statics-clean"

struct ToolContext {
  Env* env = nullptr;
  std::string folder = ".";
  std::FILE* out = nullptr;  // the tool's own lines
  std::FILE* err = nullptr;  // warnings and errors
  const volatile std::sig_atomic_t* interrupted = nullptr;
};

// REQUIRES: env, out and err are not null.
int runTool(const ToolContext& context);

}  // namespace statics_clean

#endif  // STATICS_CLEAN_TOOL_H_
