// statics-clean: removes the listed items from a pair of static map files.
//
// Run in the folder of the map files: reads "todelete.txt", "staidx0.mul" and "statics0.mul",
// writes "staidx0_n.mul" and "statics0_n.mul", then waits for one character, so that a console
// window opened by a double-click stays open to show the result. Arguments are ignored.

#include <csignal>
#include <cstdio>

#include "tool.h"
#include "util/env.h"

namespace {

volatile std::sig_atomic_t interrupted = 0;

extern "C" void onInterrupt(int) { interrupted = 1; }

}  // namespace

int main() {
  std::signal(SIGINT, onInterrupt);
  std::signal(SIGTERM, onInterrupt);

  statics_clean::ToolContext context;
  context.env = statics_clean::Env::Default();
  context.out = stdout;
  context.err = stderr;
  context.interrupted = &interrupted;
  int status = statics_clean::runTool(context);

  // The user who interrupted the run is not kept waiting; anyone else gets the wait, during which
  // an interrupt simply ends the process.
  if (interrupted) return status;
  std::signal(SIGINT, SIG_DFL);
  std::signal(SIGTERM, SIG_DFL);
  std::getchar();
  return status;
}
