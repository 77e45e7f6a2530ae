// The record directory of both recorder generations and what is made of it:
// names up to their terminator, list rows and cells, the title, the messages,
// and file names that stay inside the output folder and differ within a run.

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "disc/directory.h"
#include "disc/record_names.h"
#include "disc/scan.h"
#include "tests/support/disc_image.h"

namespace zep {
namespace {

using test::DiscImage;
using test::EntrySpec;

std::string Raw(std::initializer_list<int> bytes) {
  std::string s;
  for (int b : bytes) s.push_back(static_cast<char>(b));
  return s;
}

TEST(DirectoryTest, RecordNamesEndAtTheirTypesTerminatorOrElevenBytes) {
  const struct {
    const char* what;
    SourceType type;
    std::string field;  // the stored bytes, padded with 0x20
    std::string expected;
  } cases[] = {
      {"tk40 terminated", SourceType::Tk40, Raw({'R', 'U', 'N', 0xFF, 'Z'}), "RUN"},
      {"tk40 eleven without terminator", SourceType::Tk40, "ABCDEFGHIJK", "ABCDEFGHIJK"},
      {"tk40 empty", SourceType::Tk40, Raw({0xFF, 'A'}), ""},
      {"tk40 carriage return is ordinary", SourceType::Tk40, Raw({'A', 0x0D, 'B', 0xFF}), Raw({'A', 0x0D, 'B'})},
      {"zep terminated", SourceType::ZepV1, Raw({'S', 'U', 'R', 0x0D, 'X'}), "SUR"},
      {"zep 0xFF is ordinary", SourceType::ZepV1, Raw({'A', 0xFF, 0x0D}), Raw({'A', 0xFF})},
      {"zero byte is copied", SourceType::Tk40, Raw({'A', 0x00, 'B', 0xFF}), Raw({'A', 0, 'B'})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::uint8_t field[11];
    std::fill(std::begin(field), std::end(field), 0x20);
    std::copy(c.field.begin(), c.field.end(), field);
    char dest[16];
    std::fill(std::begin(dest), std::end(dest), 'x');
    const int n = CopyRecordName(dest, field, c.type);
    EXPECT_EQ(std::string(dest, static_cast<std::size_t>(std::max(n, 0))), c.expected);
    EXPECT_EQ(dest[c.expected.size()], '\0');
  }
}

// One row per record (status 1) with its cells; the label in slot 63 (status
// 2 there, nowhere else) is the title and never a row.
TEST(DirectoryTest, RowsCellsAndTitle) {
  DiscImage image(SourceType::Tk40);
  for (int slot : {0, 1, 5}) image.Entry(slot, {.name = "R" + std::to_string(slot)});
  image.Entry(7, {.status = 2, .name = "NOTLABEL"}).Entry(8, {.status = 3, .name = "OTHER"}).Label("BALTI");
  const auto rows = BuildListRows(image.Directory(), SourceType::Tk40);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(std::tuple(rows[2].slot, rows[2].cells[0], rows[2].cells[1]), std::tuple(5, "6", "R5"));
  EXPECT_EQ(BuildTitle(image.Directory(), SourceType::Tk40), "ZEP Converter - BALTI");

  const struct {
    const char* what;
    SourceType type;
    EntrySpec entry;
    int slot, cell;
    std::string expected;
  } cases[] = {
      {"bcd date", SourceType::Tk40, {.day = 0x05, .month = 0x11, .year = 0x08}, 3, 2, "05 Nov 08"},
      {"zep date one byte earlier", SourceType::ZepV1, {.day = 0x05, .month = 0x11, .year = 0x08}, 3, 2, "05 Nov 08"},
      {"month zero", SourceType::Tk40, {.day = 0x01, .month = 0x00, .year = 0x99}, 3, 2, "01  99"},
      {"month 0x0A", SourceType::Tk40, {.day = 0x01, .month = 0x0A, .year = 0x99}, 3, 2, "01  99"},
      {"month 0x12", SourceType::Tk40, {.day = 0x31, .month = 0x12, .year = 0x00}, 3, 2, "31 Dec 00"},
      {"month beyond the table", SourceType::Tk40, {.day = 0x01, .month = 0xFF, .year = 0x01}, 3, 2, "01  01"},
      {"non-bcd day", SourceType::Tk40, {.day = 0x2A, .month = 0x01, .year = 0x01}, 3, 2, "2a Jan 01"},
      {"start", SourceType::Tk40, {.start = {0x14, 0x05}}, 3, 3, "14:05"},
      {"end", SourceType::ZepV1, {.end = {0x23, 0x59}}, 3, 4, "23:59"},
      {"tk40 pings", SourceType::Tk40, {.first = 100, .second = 350}, 3, 5, "250"},
      {"tk40 negative pings", SourceType::Tk40, {.first = 100, .second = 90}, 3, 5, "-10"},
      {"tk40 wrapping difference", SourceType::Tk40, {.first = -2147483647 - 1, .second = 1}, 3, 5, "-2147483647"},
      {"zep pings are the sector count", SourceType::ZepV1, {.first = 100, .second = 42}, 3, 5, "42"},
      {"name shown up to a zero byte", SourceType::Tk40, {.name = std::string("AB\0CD", 5)}, 3, 1, "AB"},
      {"a record in slot 63 is record 64", SourceType::Tk40, {.name = "LAST"}, 63, 0, "64"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const DiscImage one = std::move(DiscImage(c.type).Entry(c.slot, c.entry));
    const auto rows = BuildListRows(one.Directory(), c.type);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].cells[static_cast<std::size_t>(c.cell)], c.expected);
    EXPECT_EQ(BuildTitle(one.Directory(), c.type), "ZEP Converter");
  }
  const struct {
    SourceType type;
    std::string name;
    bool terminate;
  } labels[] = {{SourceType::Tk40, "ABCDEFGHIJK", false}, {SourceType::ZepV1, "NORTH", true}};
  for (const auto& l : labels) {
    const DiscImage image = std::move(DiscImage(l.type).Label(l.name, l.terminate));
    EXPECT_EQ(BuildTitle(image.Directory(), l.type), "ZEP Converter - " + l.name);
    EXPECT_TRUE(BuildListRows(image.Directory(), l.type).empty());
  }
}

TEST(RecordNamesTest, FileNamesStayInsideTheFolder) {
  const std::pair<std::string, std::string> cases[] = {
      {"SURVEY1", "SURVEY1.ZEP"}, {"RUN.2", "RUN.2"},      {"RUN. 2", "RUN. 2.ZEP"},       {"", ".ZEP"},
      {"..", "__.ZEP"},           {".", "_.ZEP"},          {"../../x", ".._.._x"},         {"A\\B", "A_B.ZEP"},
      {"C:X", "C_X.ZEP"},         {"a*?\"<>|", "a______.ZEP"}, {std::string("T\r\n\x01", 4), "T___.ZEP"},
      {"CON", "_CON.ZEP"},        {"nul", "_nul.ZEP"},     {"COM1", "_COM1.ZEP"},          {"lpt9.txt", "_lpt9.txt"},
      {"CONSOLE", "CONSOLE.ZEP"}, {"COM0", "COM0.ZEP"},    {"\xFF\xFE", "\xFF\xFE.ZEP"},
  };
  for (const auto& [record, file] : cases) EXPECT_EQ(RecordFileName(record), file) << record;
}

TEST(RecordNamesTest, LaterRecordsWithTheSameNameGetDistinctNames) {
  RunFileNames names;
  const std::tuple<std::string, int, std::string> steps[] = {
      {"SURVEY", 3, "SURVEY.ZEP"},
      {"survey", 8, "survey_8.ZEP"},  // same file on a case-blind file system
      {"SURVEY", 9, "SURVEY_9.ZEP"},
      {"OTHER", 10, "OTHER.ZEP"},
      {"RUN.2", 11, "RUN.2"},
      {"RUN.2", 12, "RUN_12.2"},
      {"SURVEY_8", 13, "SURVEY_8_13.ZEP"},  // its own name is what an earlier duplicate was given
      {"A_5", 1, "A_5.ZEP"},
      {"A", 2, "A.ZEP"},
      {"A", 5, "A_5_2.ZEP"},  // the number is taken: a counter too
  };
  for (const auto& [record, number, file] : steps) EXPECT_EQ(names.Next(record, number), file) << record;
}

}  // namespace
}  // namespace zep
