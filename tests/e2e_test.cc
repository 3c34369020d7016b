// The built executable, run in a folder of files as a user runs it: its console output byte for
// byte, its exit status, the files it writes, and what it leaves when something goes wrong.

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "support/pair_builder.h"
#include "support/process.h"

namespace statics_clean {
namespace {

const std::string kExe = STATICS_CLEAN_EXE;

using Names = std::vector<std::string>;

// A small pair of 250 entries, some empty, with records of items 0 to 9.
struct SmallPair {
  std::string index;
  std::string data;
};

SmallPair smallPair() {
  std::vector<StaticIndexEntry> entries;
  std::string data;
  for (uint32_t i = 0; i < 250; ++i) {
    if (i % 10 == 5) {
      entries.push_back({-1, 0, 0});
      continue;
    }
    StaticIndexEntry e{static_cast<int32_t>(data.size()), 0, i};
    for (uint32_t r = 0; r < i % 6; ++r) data += recordBytes(static_cast<uint16_t>((i + r) % 10), i);
    e.length = static_cast<uint32_t>(data.size()) - static_cast<uint32_t>(e.offset);
    entries.push_back(e);
  }
  return {indexBytes(entries), data};
}

void putPair(const TempDir& dir, const SmallPair& pair) {
  writeFile(dir.file("staidx0.mul"), pair.index);
  writeFile(dir.file("statics0.mul"), pair.data);
}

void putEarlierPair(const TempDir& dir) {
  writeFile(dir.file("staidx0_n.mul"), "earlier index");
  writeFile(dir.file("statics0_n.mul"), "earlier data");
}

void expectEarlierPair(const TempDir& dir) {
  EXPECT_EQ(readFile(dir.file("staidx0_n.mul")), "earlier index");
  EXPECT_EQ(readFile(dir.file("statics0_n.mul")), "earlier data");
}

TEST(Executable, CleansThePairAndPrintsExactlyItsLines) {
  TempDir dir;
  SmallPair pair = smallPair();
  putPair(dir, pair);
  writeFile(dir.file("todelete.txt"), "3\r\n0x7\r\n");
  ExeRun run = runExe(kExe, dir.path(), {{"--ignored", "args"}, "x\n"});
  ReferenceResult expected = referenceClean(pair.index, pair.data, {3, 7});
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out, "\r0.00 %\r40.00 %\r80.00 %\r100.00 %\n" + std::to_string(expected.deleted) +
                         " items deleted!\n");
  EXPECT_GT(expected.deleted, 0);
  EXPECT_TRUE(readFile(dir.file("staidx0_n.mul")) == expected.index);
  EXPECT_TRUE(readFile(dir.file("statics0_n.mul")) == expected.data);
  EXPECT_EQ(dir.names(), (Names{"staidx0.mul", "staidx0_n.mul", "statics0.mul", "statics0_n.mul",
                                "todelete.txt"}));
  // The inputs are only read.
  EXPECT_TRUE(readFile(dir.file("staidx0.mul")) == pair.index);
  EXPECT_TRUE(readFile(dir.file("statics0.mul")) == pair.data);
}

TEST(Executable, AnEmptyIndexGivesAnEmptyPair) {
  TempDir dir;
  writeFile(dir.file("staidx0.mul"), "");
  writeFile(dir.file("statics0.mul"), recordBytes(1, 1));
  writeFile(dir.file("todelete.txt"), "1\n");
  ExeRun run = runExe(kExe, dir.path());
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_EQ(run.out, "\r100.00 %\n0 items deleted!\n");
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(readFile(dir.file("staidx0_n.mul")), "");
  EXPECT_EQ(readFile(dir.file("statics0_n.mul")), "");
}

TEST(Executable, WarnsOfAMissingListOrBadLinesAndStillRuns) {
  TempDir dir;
  SmallPair pair = smallPair();
  putPair(dir, pair);
  ExeRun run = runExe(kExe, dir.path());
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_EQ(run.err,
            "statics-clean: todelete.txt: No such file or directory; nothing will be deleted\n");
  EXPECT_EQ(run.out.substr(run.out.size() - 17), "0 items deleted!\n");
  EXPECT_TRUE(readFile(dir.file("statics0_n.mul")) == pair.data);

  writeFile(dir.file("todelete.txt"), "1\n\nnone\n-1\n2\n");
  run = runExe(kExe, dir.path());
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_EQ(run.err,
            "statics-clean: todelete.txt:3: \"none\" is not an item ID (0 to FFFF); line ignored\n"
            "statics-clean: todelete.txt:4: \"-1\" is not an item ID (0 to FFFF); line ignored\n");
  ReferenceResult expected = referenceClean(pair.index, pair.data, {1, 2});
  EXPECT_TRUE(readFile(dir.file("statics0_n.mul")) == expected.data);
}

TEST(Executable, FailuresPrintOneErrorLeaveTheEarlierPairAndExitOne) {
  SmallPair pair = smallPair();
  std::string pastEnd = pair.index + indexBytes({{0, static_cast<uint32_t>(pair.data.size()) + 1, 0}});
  struct Case {
    const char* name;
    bool index, data, list;
    std::string indexBytes;
    std::string err;
  };
  const Case cases[] = {
      {"nothing present", false, false, false, "",
       "statics-clean: todelete.txt: No such file or directory; nothing will be deleted\n"
       "statics-clean: staidx0.mul: No such file or directory\n"},
      {"13-byte index", true, true, true, std::string(13, 'x'),
       "statics-clean: staidx0.mul: size 13 is not a multiple of 12\n"},
      {"no data file", true, false, true, pair.index,
       "statics-clean: statics0.mul: No such file or directory\n"},
      {"an entry past the end", true, true, true, pastEnd,
       "statics-clean: staidx0.mul: entry 250 (offset 0, length " +
           std::to_string(pair.data.size() + 1) + ") lies outside statics0.mul (" +
           std::to_string(pair.data.size()) + " bytes)\n"},
      {"empty data file under entries", true, false, true, pair.index,
       "statics-clean: staidx0.mul: entry 1 (offset 0, length 7) lies outside statics0.mul (0 "
       "bytes)\n"},
  };
  for (const Case& c : cases) {
    for (bool earlier : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (earlier ? ", earlier pair present" : ""));
      TempDir dir;
      if (c.index) writeFile(dir.file("staidx0.mul"), c.indexBytes);
      if (c.data) writeFile(dir.file("statics0.mul"), pair.data);
      if (std::string(c.name) == "empty data file under entries") {
        writeFile(dir.file("statics0.mul"), "");
      }
      if (c.list) writeFile(dir.file("todelete.txt"), "1\n");
      if (earlier) putEarlierPair(dir);
      Names before = dir.names();
      ExeRun run = runExe(kExe, dir.path(), {{}, "\n"});
      EXPECT_EQ(run.exitStatus, 1);
      EXPECT_EQ(run.out, "");
      EXPECT_EQ(run.err, c.err);
      EXPECT_EQ(dir.names(), before);
      if (earlier) expectEarlierPair(dir);
    }
  }
}

TEST(Executable, InputsThatAreDirectoriesAreErrors) {
  for (const char* name : {"todelete.txt", "staidx0.mul", "statics0.mul"}) {
    SCOPED_TRACE(name);
    TempDir dir;
    putPair(dir, smallPair());
    writeFile(dir.file("todelete.txt"), "1\n");
    std::remove(dir.file(name).c_str());
    std::filesystem::create_directory(dir.file(name));
    putEarlierPair(dir);
    ExeRun run = runExe(kExe, dir.path());
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "statics-clean: " + std::string(name) + ": Is a directory\n");
    expectEarlierPair(dir);
    EXPECT_EQ(dir.names().size(), 5u);
  }
}

TEST(Executable, AWriteThatFailsLeavesTheEarlierPairAndNoTemporary) {
  if (!canLimitFileSize()) GTEST_SKIP() << "no file-size limit on this platform";
  SmallPair pair = smallPair();
  for (uint64_t limit : {uint64_t{1}, uint64_t{100}, pair.data.size() - 1}) {
    SCOPED_TRACE("limit " + std::to_string(limit));
    TempDir dir;
    putPair(dir, pair);
    writeFile(dir.file("todelete.txt"), "");
    putEarlierPair(dir);
    ExeRun run = runExe(kExe, dir.path(), {{}, "", limit});
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.err, "statics-clean: statics0_n.mul.tmp: File too large\n");
    // The data is written out once the entries are done: the closing line stands, the count not.
    EXPECT_EQ(run.out, "\r0.00 %\r40.00 %\r80.00 %\r100.00 %\n");
    expectEarlierPair(dir);
    EXPECT_EQ(dir.names(), (Names{"staidx0.mul", "staidx0_n.mul", "statics0.mul",
                                  "statics0_n.mul", "todelete.txt"}));
  }
}

#ifndef _WIN32
TEST(Executable, NewFilesGetThePermissionsOfAPlainCreate) {
  TempDir dir;
  putPair(dir, smallPair());
  putEarlierPair(dir);
  ::chmod(dir.file("staidx0_n.mul").c_str(), 0600);
  ::chmod(dir.file("statics0_n.mul").c_str(), 0600);
  ASSERT_EQ(runExe(kExe, dir.path()).exitStatus, 0);
  for (const char* name : {"staidx0_n.mul", "statics0_n.mul"}) {
    struct stat st;
    ASSERT_EQ(::stat(dir.file(name).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u) << name;  // 0666 less the umask 022 the test sets
  }
}

#endif  // _WIN32

TEST(Executable, WaitsForOneCharacterBeforeItExits) {
  TempDir dir;
  putPair(dir, smallPair());
  RunningExe exe(kExe, dir.path());
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_FALSE(exe.exited());
  exe.sendStdin("\n");
  ExeRun run = exe.finish();
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_NE(run.out.find("items deleted!"), std::string::npos);
}

// A pair whose progress output (one line for every 100 entries) overflows a pipe: a run whose
// standard output is not read stops in the middle, with its temporary data file written.
void putLargePair(const TempDir& dir) {
  std::vector<StaticIndexEntry> entries;
  std::string data;
  for (uint32_t i = 0; i < 3000000; ++i) {
    entries.push_back({static_cast<int32_t>(i % 1000 * 7), 7, 0});
  }
  for (uint32_t i = 0; i < 1000; ++i) data += recordBytes(static_cast<uint16_t>(i), i);
  writeFile(dir.file("staidx0.mul"), indexBytes(entries));
  writeFile(dir.file("statics0.mul"), data);
  writeFile(dir.file("todelete.txt"), "5\n");
}

void waitForFile(const std::string& path) {
  for (int i = 0; i < 2000 && !std::filesystem::exists(path); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_TRUE(std::filesystem::exists(path)) << path;
}

#ifndef _WIN32
TEST(Executable, AnInterruptRemovesTheTemporariesAndKeepsTheEarlierPair) {
  for (int sig : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(sig);
    TempDir dir;
    putLargePair(dir);
    putEarlierPair(dir);
    RunningExe exe(kExe, dir.path());
    waitForFile(dir.file("statics0_n.mul.tmp"));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    exe.signal(sig);
    ExeRun run = exe.finish();
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.err, "statics-clean: interrupted; no output written\n");
    EXPECT_EQ(run.out.find("items deleted!"), std::string::npos);
    expectEarlierPair(dir);
    EXPECT_EQ(dir.names(), (Names{"staidx0.mul", "staidx0_n.mul", "statics0.mul",
                                  "statics0_n.mul", "todelete.txt"}));
  }
}

#endif  // _WIN32

TEST(Executable, AfterAKillTheEarlierPairStandsAndTheNextRunSucceeds) {
  TempDir dir;
  putLargePair(dir);
  putEarlierPair(dir);
  {
    RunningExe exe(kExe, dir.path());
    waitForFile(dir.file("statics0_n.mul.tmp"));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    exe.terminate();
    EXPECT_EQ(exe.finish().exitStatus, -1);
  }
  expectEarlierPair(dir);
  ExeRun run = runExe(kExe, dir.path());
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_NE(run.out.find("3000 items deleted!\n"), std::string::npos);
  EXPECT_EQ(dir.names(), (Names{"staidx0.mul", "staidx0_n.mul", "statics0.mul", "statics0_n.mul",
                                "todelete.txt"}));
  ReferenceResult expected = referenceClean(readFile(dir.file("staidx0.mul")),
                                            readFile(dir.file("statics0.mul")), {5});
  EXPECT_TRUE(readFile(dir.file("staidx0_n.mul")) == expected.index);
  EXPECT_TRUE(readFile(dir.file("statics0_n.mul")) == expected.data);
}

}  // namespace
}  // namespace statics_clean
