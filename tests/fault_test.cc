// Every file operation of a run, failed in turn.
//
// A run makes a known sequence of file operations. These tests fail each one (once; from there on,
// as a killed process would; or as a short read) and check what the user is left with: either the
// new pair, complete and exact, with the count printed, or the earlier pair as it was, no stray
// file, exit status 1, and an error naming a file.

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "statics/output_pair.h"
#include "support/fault_env.h"
#include "support/mem_env.h"
#include "support/pair_builder.h"
#include "support/process.h"
#include "tool.h"

namespace statics_clean {
namespace {

const std::set<std::string> kInputs{"todelete.txt", "staidx0.mul", "statics0.mul"};
const std::set<std::string> kInputsAndOutputs{"todelete.txt", "staidx0.mul", "statics0.mul",
                                              "staidx0_n.mul", "statics0_n.mul"};

// A pair large enough that each file takes several reads and writes: 10,001 entries (two index
// reads) and about 2 MiB of data (several data reads and writes).
MemEnv makeInputs(bool withEarlierPair) {
  std::vector<StaticIndexEntry> entries;
  std::string data;
  for (uint32_t i = 0; i < 10000; ++i) {
    if (i % 7 == 3) {
      entries.push_back({-1, 0, i});
      continue;
    }
    entries.push_back({static_cast<int32_t>(data.size()), 0, i});
    for (uint32_t r = 0; r < 1 + i % 70; ++r) data += recordBytes(static_cast<uint16_t>(r % 9), i);
    entries.back().length = static_cast<uint32_t>(data.size()) - entries.back().offset;
  }
  entries.push_back(entries[0]);  // a block named twice, read again from far back: a seek
  MemEnv env;
  env.put("todelete.txt", "1\n5\n");
  env.put("staidx0.mul", indexBytes(entries));
  env.put("statics0.mul", data);
  if (withEarlierPair) {
    env.put("staidx0_n.mul", "earlier index");
    env.put("statics0_n.mul", "earlier data");
  }
  return env;
}

struct Expected {
  std::string index;
  std::string data;
  std::string out;
};

// What a run that fails must leave: the earlier pair (or none) and nothing else.
void expectUntouched(const MemEnv& env, bool withEarlierPair) {
  if (withEarlierPair) {
    EXPECT_EQ(env.names(), kInputsAndOutputs);
    EXPECT_EQ(env.get("staidx0_n.mul"), "earlier index");
    EXPECT_EQ(env.get("statics0_n.mul"), "earlier data");
  } else {
    EXPECT_EQ(env.names(), kInputs);
  }
}

void expectNewPair(const MemEnv& env, const Expected& expected) {
  EXPECT_EQ(env.names(), kInputsAndOutputs);
  ASSERT_TRUE(env.has("staidx0_n.mul") && env.has("statics0_n.mul"));
  EXPECT_TRUE(env.get("staidx0_n.mul") == expected.index);
  EXPECT_TRUE(env.get("statics0_n.mul") == expected.data);
}

// Recovers what a killed run left in env (in a copy) and checks that it is exactly the new pair or
// exactly the earlier one: never a mix of both.
void expectRecoverable(const MemEnv& env, const Expected& expected, bool withEarlierPair) {
  MemEnv recovered = env;
  ASSERT_TRUE(recoverOutputPair(&recovered, OutputPairNames(".")).ok());
  if (recovered.has("staidx0_n.mul") && recovered.get("staidx0_n.mul") == expected.index) {
    expectNewPair(recovered, expected);
  } else {
    expectUntouched(recovered, withEarlierPair);
  }
}

class FaultWalk : public ::testing::TestWithParam<bool> {
 protected:
  // Runs once with no fault; returns the number of operations a run makes.
  int learn(Expected* expected) {
    MemEnv env = makeInputs(GetParam());
    FaultEnv counting(&env);
    ToolRun run = runToolIn(&counting);
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    expected->index = env.get("staidx0_n.mul");
    expected->data = env.get("statics0_n.mul");
    expected->out = run.out;
    // The run is what the plain model of the pass gives.
    ReferenceResult model =
        referenceClean(env.get("staidx0.mul"), env.get("statics0.mul"), {1, 5});
    EXPECT_TRUE(model.index == expected->index && model.data == expected->data);
    EXPECT_NE(run.out.find(std::to_string(model.deleted) + " items deleted!\n"),
              std::string::npos);
    // Every kind of operation is in the walk.
    std::string kinds;
    for (const std::string& op : counting.log()) kinds += op.substr(0, op.find(' ')) + " ";
    for (const char* kind : {"open", "size", "read", "seek", "create", "append", "sync",
                             "close", "rename"}) {
      EXPECT_NE(kinds.find(std::string(kind) + " "), std::string::npos) << kind;
    }
    // The earlier data file's backup is removed once the new pair is in place.
    EXPECT_EQ(kinds.find("remove ") != std::string::npos, GetParam());
    if (::testing::Test::HasFailure()) {
      for (const std::string& op : counting.log()) std::printf("  %s\n", op.c_str());
    }
    return counting.operations();
  }
};

TEST_P(FaultWalk, EachOperationFailedOnceLeavesTheNewPairOrTheEarlierOne) {
  const bool earlier = GetParam();
  Expected expected;
  const int operations = learn(&expected);
  for (int k = 1; k <= operations; ++k) {
    MemEnv env = makeInputs(earlier);
    FaultEnv faulty(&env);
    faulty.inject(FaultEnv::Mode::kFailOne, k);
    ToolRun run = runToolIn(&faulty);
    const std::string failed = faulty.log().at(static_cast<size_t>(k) - 1);
    SCOPED_TRACE("failed operation " + std::to_string(k) + ": " + failed);
    if (failed == "remove statics0_n.mul.bak") {
      // The pair is in place; only the earlier data file's backup remains, and is reported.
      EXPECT_EQ(run.exitStatus, 0);
      EXPECT_EQ(run.out, expected.out);
      EXPECT_EQ(run.err,
                "statics-clean: statics0_n.mul.bak: cannot be removed; the next run removes it\n");
      ASSERT_TRUE(recoverOutputPair(&env, OutputPairNames(".")).ok());
      expectNewPair(env, expected);
      continue;
    }
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.out.find("items deleted!"), std::string::npos);
    // One line, naming the file whose operation failed.
    EXPECT_EQ(run.err.rfind("statics-clean: ", 0), 0u) << run.err;
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
    EXPECT_NE(run.err.find("Input/output error (injected)"), std::string::npos) << run.err;
    expectUntouched(env, earlier);
  }
}

TEST_P(FaultWalk, AShortReadAnywhereIsCaughtOrHarmless) {
  const bool earlier = GetParam();
  Expected expected;
  const int operations = learn(&expected);
  int indexReads = 0;
  for (int k = 1; k <= operations; ++k) {
    MemEnv env = makeInputs(earlier);
    FaultEnv faulty(&env);
    faulty.inject(FaultEnv::Mode::kShortRead, k);
    ToolRun run = runToolIn(&faulty);
    const std::string op = faulty.log().at(static_cast<size_t>(k) - 1);
    SCOPED_TRACE("operation " + std::to_string(k) + ": " + op);
    if (op.rfind("read staidx0.mul", 0) == 0) {
      // The index is read whole: cut short, it ends before its size says.
      ++indexReads;
      EXPECT_EQ(run.exitStatus, 1);
      EXPECT_NE(run.err.find("staidx0.mul: the file ends at byte"), std::string::npos) << run.err;
      expectUntouched(env, earlier);
      continue;
    }
    // The data file is read on from where a short read stopped, so that the output is exact.
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    expectNewPair(env, expected);
  }
  EXPECT_GE(indexReads, 1);  // the walk reached the index
}

TEST_P(FaultWalk, AKilledRunIsUndoneByTheNextOne) {
  const bool earlier = GetParam();
  Expected expected;
  const int operations = learn(&expected);
  for (int k = 1; k <= operations; ++k) {
    MemEnv env = makeInputs(earlier);
    {
      // From operation k on, nothing reaches the files: the process died there.
      FaultEnv dying(&env);
      dying.inject(FaultEnv::Mode::kCrash, k);
      runToolIn(&dying);
    }
    SCOPED_TRACE("killed at operation " + std::to_string(k));
    expectRecoverable(env, expected, earlier);
    // A recovery that is itself killed (in its first few operations, where it does its work) is
    // read the same way by the one after.
    for (int j = 1; j <= 6; ++j) {
      MemEnv again = env;
      {
        FaultEnv dyingAgain(&again);
        dyingAgain.inject(FaultEnv::Mode::kCrash, j);
        runToolIn(&dyingAgain);
      }
      SCOPED_TRACE("and its recovery killed at operation " + std::to_string(j));
      expectRecoverable(again, expected, earlier);
    }
    // The next run succeeds and leaves no stray file.
    ToolRun next = runToolIn(&env);
    EXPECT_EQ(next.exitStatus, 0) << next.err;
    EXPECT_EQ(next.out, expected.out);
    expectNewPair(env, expected);
  }
}

TEST_P(FaultWalk, ARunKilledWhileItCleansUpAfterAFailureIsUndoneToo) {
  // Operation k fails; the run then cleans up, and is killed at each operation of that.
  const bool earlier = GetParam();
  Expected expected;
  const int operations = learn(&expected);
  int cases = 0;
  for (int k = 1; k <= operations; ++k) {
    MemEnv probe = makeInputs(earlier);
    FaultEnv failing(&probe);
    failing.inject(FaultEnv::Mode::kFailOne, k);
    runToolIn(&failing);
    for (int j = k + 1; j <= failing.operations(); ++j) {
      ++cases;
      MemEnv env = makeInputs(earlier);
      {
        FaultEnv dying(&env);
        dying.inject(FaultEnv::Mode::kFailThenCrash, k, j);
        runToolIn(&dying);
      }
      SCOPED_TRACE("failed at " + std::to_string(k) + ", killed at " + std::to_string(j));
      expectRecoverable(env, expected, earlier);
    }
  }
  EXPECT_GT(cases, 0);
}

TEST_P(FaultWalk, ADiskThatFillsUpFailsTheRunCleanly) {
  const bool earlier = GetParam();
  Expected expected;
  learn(&expected);
  const uint64_t total = expected.data.size() + expected.index.size();
  for (uint64_t space : {uint64_t{0}, uint64_t{1}, uint64_t{1} << 20, total - 1}) {
    MemEnv env = makeInputs(earlier);
    FaultEnv full(&env);
    full.limitSpace(space);
    ToolRun run = runToolIn(&full);
    SCOPED_TRACE("space " + std::to_string(space));
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_NE(run.err.find(": No space left on device\n"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("_n.mul.tmp"), std::string::npos) << run.err;
    EXPECT_EQ(run.out.find("items deleted!"), std::string::npos);
    expectUntouched(env, earlier);
  }
  MemEnv env = makeInputs(earlier);
  FaultEnv enough(&env);
  enough.limitSpace(total);
  EXPECT_EQ(runToolIn(&enough).exitStatus, 0);
}

TEST(ConsoleAfterAFailure, ATerminalGetsTheProgressLineEndedAndAFileNoExtraByte) {
  for (bool terminal : {true, false}) {
    SCOPED_TRACE(terminal ? "terminal" : "redirected");
    MemEnv env = makeInputs(false);
    env.terminal = terminal;
    FaultEnv full(&env);
    full.limitSpace(1);  // the first write of the new data file fails, after progress was shown
    ToolRun run = runToolIn(&full);
    EXPECT_EQ(run.exitStatus, 1);
    ASSERT_FALSE(run.out.empty());
    EXPECT_EQ(run.out.rfind("\r0.00 %", 0), 0u);
    EXPECT_EQ(run.out.back() == '\n', terminal) << run.out.substr(run.out.size() - 10);
    EXPECT_EQ(run.out.find("100.00"), std::string::npos);
  }
}

TEST(ConsoleWhileRunning, ATerminalSeesEachLineAtOnceAndARedirectedRunBuffers) {
  // The console stream is fully buffered here, as stdout is when redirected. What the file holds
  // on disk when the pass reads the data file again shows whether the lines were flushed.
  for (bool terminal : {true, false}) {
    SCOPED_TRACE(terminal ? "terminal" : "redirected");
    MemEnv env = makeInputs(false);
    env.terminal = terminal;
    ScratchStream out;
    ScratchStream err;
    std::setvbuf(out.get(), nullptr, _IOFBF, 1 << 20);
    FaultEnv watched(&env);
    std::string seenMidRun;
    int dataReads = 0;
    watched.watch([&](const std::string& op) {
      if (op == "read statics0.mul" && ++dataReads == 2) seenMidRun = readFile(out.path());
    });
    ToolContext context;
    context.env = &watched;
    context.out = out.get();
    context.err = err.get();
    ASSERT_EQ(runTool(context), 0);
    ASSERT_GE(dataReads, 2);  // the pass was looked at in its middle
    if (terminal) {
      EXPECT_EQ(seenMidRun.rfind("\r0.00 %\r", 0), 0u) << seenMidRun;
      EXPECT_EQ(seenMidRun.find("100.00"), std::string::npos);
    } else {
      EXPECT_EQ(seenMidRun, "");
    }
    EXPECT_NE(out.contents().find("items deleted!\n"), std::string::npos);
  }
}

INSTANTIATE_TEST_SUITE_P(EarlierPair, FaultWalk, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "Present" : "Absent";
                         });

}  // namespace
}  // namespace statics_clean
