// The deletion list: how lines become item IDs, how the file is decoded, and what is reported.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "deletion_list/deletion_list.h"
#include "deletion_list/load_deletion_list.h"
#include "support/fault_env.h"
#include "support/mem_env.h"

namespace statics_clean {
namespace {

struct Warning {
  std::string file;
  std::string what;
};

class CollectingReporter : public Reporter {
 public:
  void warning(const std::string& file, const std::string& what) override {
    warnings.push_back({file, what});
  }
  std::vector<Warning> warnings;
};

struct Loaded {
  Status status;
  std::vector<uint16_t> ids;
  std::vector<Warning> warnings;
};

Loaded load(const std::string& fileBytes) {
  MemEnv env;
  env.put("todelete.txt", fileBytes);
  DeletionList list;
  CollectingReporter reporter;
  Loaded out;
  out.status = loadDeletionList(&env, ".", &list, &reporter);
  out.ids = list.ids();
  out.warnings = reporter.warnings;
  return out;
}

TEST(DeletionList, ContainsAnswersForEveryIdAndKeepsOrderAndDuplicates) {
  DeletionList list;
  EXPECT_FALSE(list.contains(0));
  list.append(0xFFFF);
  list.append(0x0001);
  list.append(0xFFFF);
  EXPECT_EQ(list.ids(), (std::vector<uint16_t>{0xFFFF, 0x0001, 0xFFFF}));
  for (uint32_t id = 0; id <= 0xFFFF; ++id) {
    EXPECT_EQ(list.contains(static_cast<uint16_t>(id)), id == 0xFFFF || id == 1) << id;
  }
}

TEST(LoadDeletionList, EachLineGivesItsIdOrIsIgnored) {
  const int kWarned = -1;  // no ID, and a warning
  const int kSilent = -2;  // no ID, and nothing said
  struct Case {
    std::string line;
    int expected;
  };
  const Case cases[] = {
      {"1a2", 0x1A2},        {"0xeed", 0xEED},       {"0XEED", 0xEED},
      {"   F0D", 0xF0D},     {"\t\v\f7", 7},         {"+1f", 0x1F},
      {"+0x1f", 0x1F},       {"0", 0},               {"0000ffff", 0xFFFF},
      {"FFFF", 0xFFFF},      {"10 20", 0x10},        {"1a2 tree", 0x1A2},
      {"0 zero", 0},         {"12;comment", 0x12},   {"10abc", kWarned},
      {"FFFFFFFFFF", kWarned}, {"10000", kWarned},   {"-1", kWarned},
      {"none", kWarned},     {"0x", kWarned},        {"0xg", kWarned},
      {"+", kWarned},        {"+-1", kWarned},       {"x12", kWarned},
      {std::string(1, '\0'), kWarned}, {"\xA0" "12", kWarned},
      {"", kSilent},         {"   \t", kSilent},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("line \"" + c.line + "\"");
    Loaded got = load(c.line + "\n");
    ASSERT_TRUE(got.status.ok());
    if (c.expected >= 0) {
      EXPECT_EQ(got.ids, std::vector<uint16_t>{static_cast<uint16_t>(c.expected)});
      EXPECT_TRUE(got.warnings.empty());
    } else {
      EXPECT_TRUE(got.ids.empty());
      EXPECT_EQ(got.warnings.size(), c.expected == kWarned ? 1u : 0u);
    }
  }
}

TEST(LoadDeletionList, ReadsLinesInOrderWithDuplicatesAndALastLineWithoutNewline) {
  Loaded got = load("1a2\need\n1a2");
  ASSERT_TRUE(got.status.ok());
  EXPECT_EQ(got.ids, (std::vector<uint16_t>{0x1A2, 0xEED, 0x1A2}));
}

TEST(LoadDeletionList, EveryLineEndGivesTheSameList) {
  const std::vector<uint16_t> expected{0x1A2, 0xEED, 0x10};
  for (const char* text : {"1a2\need\n10\n", "1a2\r\need\r\n10\r\n", "1a2\reed\r10\r",
                           "1a2\r\need\r10\n", "1a2\n\need\r\r\n10"}) {
    Loaded got = load(text);
    EXPECT_EQ(got.ids, expected) << text;
    EXPECT_TRUE(got.warnings.empty()) << text;
  }
}

TEST(LoadDeletionList, ALongLineGivesOneIdAndNothingFromItsTail) {
  // 19 characters and more: a reader that takes fixed-size pieces would read "a2" as an ID.
  Loaded got = load("1                  a2\n" + std::string(5000, ' ') + "3\n" +
                    "4" + std::string(100, 'z') + "5\n");
  EXPECT_EQ(got.ids, (std::vector<uint16_t>{1, 3, 4}));
  EXPECT_TRUE(got.warnings.empty());
}

TEST(LoadDeletionList, ByteOrderMarksAreHonoured) {
  auto utf16le = [](const std::string& ascii) {
    std::string out = "\xFF\xFE";
    for (char c : ascii) out += std::string{c, '\0'};
    return out;
  };
  auto utf16be = [](const std::string& ascii) {
    std::string out = "\xFE\xFF";
    for (char c : ascii) out += std::string{'\0', c};
    return out;
  };
  const std::vector<uint16_t> expected{0x1A2, 0xEED};
  EXPECT_EQ(load("\xEF\xBB\xBF" "1a2\r\need\r\n").ids, expected);
  EXPECT_EQ(load(utf16le("1a2\r\need\r\n")).ids, expected);
  EXPECT_EQ(load(utf16be("1a2\need")).ids, expected);
  // A UTF-16 file's lines are shown decoded, with non-ASCII as \u escapes.
  Loaded bad = load(utf16le("1a2\n") + std::string("\xE9\x00!\x00\n\x00", 6));
  EXPECT_EQ(bad.ids, std::vector<uint16_t>{0x1A2});
  ASSERT_EQ(bad.warnings.size(), 1u);
  EXPECT_EQ(bad.warnings[0].what, "\"\\u00E9!\" is not an item ID (0 to FFFF); line ignored");
}

TEST(LoadDeletionList, CtrlZEndsTheText) {
  EXPECT_EQ(load("1\n2\x1A\n3\n").ids, (std::vector<uint16_t>{1, 2}));
  EXPECT_EQ(load("1\n\x1A" "2\n").ids, std::vector<uint16_t>{1});
  EXPECT_EQ(load(std::string("\xFF\xFE" "5\0\x1A\0" "6\0", 8)).ids, std::vector<uint16_t>{5});
}

TEST(LoadDeletionList, IgnoredLinesAreReportedWithNumberAndShownText) {
  Loaded got = load("1a2\n\nnone\n-1\r\n\"q\"\\\x01\xC3\xA9\n" + std::string(60, 'z') + "\n7");
  EXPECT_EQ(got.ids, (std::vector<uint16_t>{0x1A2, 7}));
  ASSERT_EQ(got.warnings.size(), 4u);
  EXPECT_EQ(got.warnings[0].file, "todelete.txt:3");
  EXPECT_EQ(got.warnings[0].what, "\"none\" is not an item ID (0 to FFFF); line ignored");
  EXPECT_EQ(got.warnings[1].file, "todelete.txt:4");
  EXPECT_EQ(got.warnings[2].file, "todelete.txt:5");
  EXPECT_EQ(got.warnings[2].what,
            "\"\\\"q\\\"\\\\\\x01\\xC3\\xA9\" is not an item ID (0 to FFFF); line ignored");
  EXPECT_EQ(got.warnings[3].file, "todelete.txt:6");
  EXPECT_EQ(got.warnings[3].what,
            "\"" + std::string(40, 'z') + "...\" is not an item ID (0 to FFFF); line ignored");
}

TEST(LoadDeletionList, ManyIgnoredLinesAreCountedAfterTheFirstTen) {
  std::string text;
  for (int i = 0; i < 25; ++i) text += "junk\n";
  Loaded got = load(text + "12\n");
  EXPECT_EQ(got.ids, std::vector<uint16_t>{0x12});
  ASSERT_EQ(got.warnings.size(), kIgnoredLinesShown + 1);
  EXPECT_EQ(got.warnings[9].file, "todelete.txt:10");
  EXPECT_EQ(got.warnings[10].file, "todelete.txt");
  EXPECT_EQ(got.warnings[10].what, "15 more lines that are not item IDs ignored");
}

TEST(LoadDeletionList, AFileLargerThanOneReadIsReadWhole) {
  std::string text;
  std::vector<uint16_t> expected;
  for (uint32_t i = 0; i < 40000; ++i) {
    text += (i % 3 == 0 ? "0x" : "") + std::to_string(i % 10000) + (i % 2 ? "\r\n" : "\n");
    expected.push_back(static_cast<uint16_t>(std::stoul(std::to_string(i % 10000), nullptr, 16)));
  }
  Loaded got = load(text);
  EXPECT_EQ(got.ids, expected);
  // The same in UTF-16, whose code units then straddle the reads.
  std::string wide = "\xFF\xFE";
  for (char c : text) wide += std::string{c, '\0'};
  EXPECT_EQ(load(wide).ids, expected);
}

TEST(LoadDeletionList, EmptyFileGivesEmptyList) {
  Loaded got = load("");
  EXPECT_TRUE(got.status.ok());
  EXPECT_TRUE(got.ids.empty());
}

TEST(LoadDeletionList, MissingUnreadableAndDirectoryAreTold) {
  MemEnv env;
  DeletionList list;
  CollectingReporter reporter;
  Status s = loadDeletionList(&env, ".", &list, &reporter);
  EXPECT_EQ(s.code(), kListMissing);
  EXPECT_EQ(s.file(), "todelete.txt");

  env.directories.insert("todelete.txt");
  s = loadDeletionList(&env, ".", &list, &reporter);
  EXPECT_EQ(s.code(), kListUnreadable);
  EXPECT_EQ(s.reason(), "Is a directory");
}

TEST(LoadDeletionList, AReadErrorFailsTheLoadInsteadOfCuttingTheListShort) {
  std::string text;
  for (int i = 0; i < 30000; ++i) text += "abc\n";  // two reads and more
  MemEnv mem;
  mem.put("todelete.txt", text);
  FaultEnv counting(&mem);
  DeletionList all;
  CollectingReporter quiet;
  ASSERT_TRUE(loadDeletionList(&counting, ".", &all, &quiet).ok());
  ASSERT_EQ(counting.operations(), 3);  // open and two reads
  for (int failAt = 2; failAt <= counting.operations(); ++failAt) {
    FaultEnv env(&mem);
    env.inject(FaultEnv::Mode::kFailOne, failAt);
    DeletionList list;
    CollectingReporter reporter;
    Status s = loadDeletionList(&env, ".", &list, &reporter);
    EXPECT_EQ(s.code(), kListUnreadable) << env.log().back();
    EXPECT_EQ(s.file(), "todelete.txt");
  }
}

}  // namespace
}  // namespace statics_clean
