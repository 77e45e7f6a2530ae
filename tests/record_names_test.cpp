// File names made from record names read off the disc.

#include <gtest/gtest.h>

#include "disc/record_names.h"

namespace zep {
namespace {

struct NameCase {
  std::string record;
  std::string file;
};

class RecordFileNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(RecordFileNameTest, StaysInsideTheFolder) {
  EXPECT_EQ(RecordFileName(GetParam().record), GetParam().file) << GetParam().record;
}

INSTANTIATE_TEST_SUITE_P(
    Names, RecordFileNameTest,
    ::testing::Values(NameCase{"SURVEY1", "SURVEY1.ZEP"}, NameCase{"RUN.2", "RUN.2"},
                      NameCase{"RUN. 2", "RUN. 2.ZEP"}, NameCase{"", ".ZEP"}, NameCase{"..", "__.ZEP"},
                      NameCase{".", "_.ZEP"}, NameCase{"../../x", ".._.._x"}, NameCase{"A\\B", "A_B.ZEP"},
                      NameCase{"C:X", "C_X.ZEP"}, NameCase{"a*?\"<>|", "a______.ZEP"},
                      NameCase{std::string("T\r\n\x01", 4), "T___.ZEP"}, NameCase{"CON", "_CON.ZEP"},
                      NameCase{"nul", "_nul.ZEP"}, NameCase{"COM1", "_COM1.ZEP"}, NameCase{"lpt9.txt", "_lpt9.txt"},
                      NameCase{"CONSOLE", "CONSOLE.ZEP"}, NameCase{"COM0", "COM0.ZEP"},
                      NameCase{"\xFF\xFE", "\xFF\xFE.ZEP"}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(RunFileNamesTest, LaterRecordsWithTheSameNameGetTheirRecordNumber) {
  RunFileNames names;
  EXPECT_EQ(names.Next("SURVEY", 3), "SURVEY.ZEP");
  EXPECT_EQ(names.Next("survey", 8), "survey_8.ZEP");  // same file on a case-blind file system
  EXPECT_EQ(names.Next("SURVEY", 9), "SURVEY_9.ZEP");
  EXPECT_EQ(names.Next("OTHER", 10), "OTHER.ZEP");
  EXPECT_EQ(names.Next("RUN.2", 11), "RUN.2");
  EXPECT_EQ(names.Next("RUN.2", 12), "RUN_12.2");
  // A record whose own name is what an earlier duplicate was given.
  EXPECT_EQ(names.Next("SURVEY_8", 13), "SURVEY_8_13.ZEP");
}

TEST(RunFileNamesTest, DuplicateNumberAlreadyTakenGetsACounter) {
  RunFileNames names;
  EXPECT_EQ(names.Next("A_5", 1), "A_5.ZEP");
  EXPECT_EQ(names.Next("A", 2), "A.ZEP");
  EXPECT_EQ(names.Next("A", 5), "A_5_2.ZEP");
}

}  // namespace
}  // namespace zep
