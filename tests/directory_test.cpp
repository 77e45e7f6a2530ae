// The record directory of both recorder generations: entry layouts, name
// terminators, list rows and the title.

#include <gtest/gtest.h>

#include "disc/directory.h"
#include "disc/scan.h"
#include "tests/support/disc_image.h"

namespace zep {
namespace {

using test::DiscImage;
using test::EntrySpec;

std::string RawName(std::initializer_list<int> bytes) {
  std::string s;
  for (int b : bytes) s.push_back(static_cast<char>(b));
  return s;
}

struct NameCase {
  const char* what;
  SourceType type;
  std::string field;  // the 11 bytes as stored (padded with 0x20 when shorter)
  std::string expected;
  int count;
};

void PrintTo(const NameCase& c, std::ostream* os) { *os << c.what; }

class CopyRecordNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(CopyRecordNameTest, CopiesUpToTerminatorOrElevenBytes) {
  const NameCase& c = GetParam();
  std::uint8_t field[11];
  std::fill(std::begin(field), std::end(field), 0x20);
  std::copy(c.field.begin(), c.field.end(), field);
  char dest[16];
  std::fill(std::begin(dest), std::end(dest), 'x');
  EXPECT_EQ(CopyRecordName(dest, field, c.type), c.count);
  EXPECT_EQ(std::string(dest, static_cast<std::size_t>(c.count)), c.expected);
  EXPECT_EQ(dest[c.count], '\0');
}

INSTANTIATE_TEST_SUITE_P(
    Names, CopyRecordNameTest,
    ::testing::Values(
        NameCase{"tk40 terminated", SourceType::Tk40, RawName({'R', 'U', 'N', 0xFF, 'Z'}), "RUN", 3},
        NameCase{"tk40 eleven without terminator", SourceType::Tk40, "ABCDEFGHIJK", "ABCDEFGHIJK", 11},
        NameCase{"tk40 empty", SourceType::Tk40, RawName({0xFF, 'A'}), "", 0},
        NameCase{"tk40 carriage return is ordinary", SourceType::Tk40, RawName({'A', 0x0D, 'B', 0xFF}),
                 RawName({'A', 0x0D, 'B'}), 3},
        NameCase{"zep terminated", SourceType::ZepV1, RawName({'S', 'U', 'R', 0x0D, 'X'}), "SUR", 3},
        NameCase{"zep 0xFF is ordinary", SourceType::ZepV1, RawName({'A', 0xFF, 0x0D}), RawName({'A', 0xFF}), 2},
        NameCase{"zero byte is copied", SourceType::Tk40, RawName({'A', 0x00, 'B', 0xFF}), RawName({'A', 0, 'B'}),
                 3}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(DirectoryTest, EntryLayoutsDifferOnlyInTheDate) {
  for (SourceType type : {SourceType::Tk40, SourceType::ZepV1}) {
    EntrySpec entry;
    entry.name = "LINE7";
    entry.day = 0x21;
    entry.month = 0x09;
    entry.year = 0x97;
    entry.start = {0x08, 0x15};
    entry.end = {0x09, 0x45};
    entry.first = 0x01020304;
    entry.second = -7;
    const auto dir = DiscImage(type).Entry(9, entry).Directory();
    const DirectoryEntry e = ReadEntry(dir, 9, type);
    EXPECT_EQ(e.status, 1);
    EXPECT_EQ(e.day, 0x21);
    EXPECT_EQ(e.month, 0x09);
    EXPECT_EQ(e.year, 0x97);
    EXPECT_EQ(e.startTime[1], 0x15);
    EXPECT_EQ(e.endTime[0], 0x09);
    EXPECT_EQ(e.first, 0x01020304);
    EXPECT_EQ(e.second, -7);
  }
  // The raw offsets: TK40 keeps the day at 13, ZEP V1.X at 12.
  EntrySpec entry;
  entry.day = 0x31;
  EXPECT_EQ(DiscImage(SourceType::Tk40).Entry(0, entry).Directory()[13], 0x31);
  EXPECT_EQ(DiscImage(SourceType::ZepV1).Entry(0, entry).Directory()[12], 0x31);
}

TEST(ListRowsTest, OneRowPerRecordSlotCarryingItsSlot) {
  DiscImage image(SourceType::Tk40);
  for (int slot : {0, 1, 5}) image.Entry(slot, {.name = "R" + std::to_string(slot)});
  image.Entry(7, {.status = 2, .name = "NOTLABEL"});  // status 2 outside slot 63: empty
  image.Entry(8, {.status = 3, .name = "OTHER"});
  const auto rows = BuildListRows(image.Directory(), SourceType::Tk40);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[2].slot, 5);
  EXPECT_EQ(rows[2].cells[0], "6");
  EXPECT_EQ(rows[2].cells[1], "R5");
  EXPECT_TRUE(BuildListRows(RecordDirectory{}, SourceType::Tk40).empty());
}

struct CellCase {
  const char* what;
  SourceType type;
  EntrySpec entry;
  int cell;
  std::string expected;
};

void PrintTo(const CellCase& c, std::ostream* os) { *os << c.what; }

class ListCellTest : public ::testing::TestWithParam<CellCase> {};

TEST_P(ListCellTest, FormatsCell) {
  const CellCase& c = GetParam();
  const auto rows = BuildListRows(DiscImage(c.type).Entry(3, c.entry).Directory(), c.type);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].cells[static_cast<std::size_t>(c.cell)], c.expected) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cells, ListCellTest,
    ::testing::Values(
        CellCase{"bcd date", SourceType::Tk40, {.day = 0x05, .month = 0x11, .year = 0x08}, 2, "05 Nov 08"},
        CellCase{"zep date one byte earlier", SourceType::ZepV1, {.day = 0x05, .month = 0x11, .year = 0x08}, 2,
                 "05 Nov 08"},
        CellCase{"month zero", SourceType::Tk40, {.day = 0x01, .month = 0x00, .year = 0x99}, 2, "01  99"},
        CellCase{"month 0x0A", SourceType::Tk40, {.day = 0x01, .month = 0x0A, .year = 0x99}, 2, "01  99"},
        CellCase{"month 0x12", SourceType::Tk40, {.day = 0x31, .month = 0x12, .year = 0x00}, 2, "31 Dec 00"},
        CellCase{"month beyond the table", SourceType::Tk40, {.day = 0x01, .month = 0xFF, .year = 0x01}, 2,
                 "01  01"},
        CellCase{"non-bcd day", SourceType::Tk40, {.day = 0x2A, .month = 0x01, .year = 0x01}, 2, "2a Jan 01"},
        CellCase{"start", SourceType::Tk40, {.start = {0x14, 0x05}}, 3, "14:05"},
        CellCase{"end", SourceType::ZepV1, {.end = {0x23, 0x59}}, 4, "23:59"},
        CellCase{"tk40 pings", SourceType::Tk40, {.first = 100, .second = 350}, 5, "250"},
        CellCase{"tk40 no pings", SourceType::Tk40, {.first = 100, .second = 100}, 5, "0"},
        CellCase{"tk40 negative pings", SourceType::Tk40, {.first = 100, .second = 90}, 5, "-10"},
        CellCase{"tk40 wrapping difference", SourceType::Tk40, {.first = -2147483647 - 1, .second = 1}, 5,
                 "-2147483647"},
        CellCase{"zep pings are the sector count", SourceType::ZepV1, {.first = 100, .second = 42}, 5, "42"},
        CellCase{"record number", SourceType::Tk40, {}, 0, "4"},
        CellCase{"name shown up to a zero byte", SourceType::Tk40, {.name = std::string("AB\0CD", 5)}, 1, "AB"}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

struct TitleCase {
  const char* what;
  SourceType type;
  std::uint8_t status63;
  std::string name;
  bool terminate;
  std::string expected;
};

void PrintTo(const TitleCase& c, std::ostream* os) { *os << c.what; }

class TitleTest : public ::testing::TestWithParam<TitleCase> {};

TEST_P(TitleTest, ShowsTheLabelOfSlot63) {
  const TitleCase& c = GetParam();
  DiscImage image(c.type);
  image.Entry(63, {.status = c.status63, .name = c.name, .terminate = c.terminate});
  EXPECT_EQ(BuildTitle(image.Directory(), c.type), c.expected) << c.what;
  // A label is never a row; a record in slot 63 is record 64.
  const auto rows = BuildListRows(image.Directory(), c.type);
  EXPECT_EQ(rows.size(), c.status63 == 1 ? 1u : 0u);
  if (!rows.empty()) {
    EXPECT_EQ(rows[0].cells[0], "64");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Titles, TitleTest,
    ::testing::Values(TitleCase{"five letters", SourceType::Tk40, 2, "BALTI", true, "ZEP Converter - BALTI"},
                      TitleCase{"eleven letters", SourceType::Tk40, 2, "ABCDEFGHIJK", false,
                                "ZEP Converter - ABCDEFGHIJK"},
                      TitleCase{"zep terminator", SourceType::ZepV1, 2, "NORTH", true, "ZEP Converter - NORTH"},
                      TitleCase{"record in slot 63", SourceType::Tk40, 1, "LAST", true, "ZEP Converter"},
                      TitleCase{"no label", SourceType::Tk40, 0, "", true, "ZEP Converter"}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(MessagesTest, ErrorTexts) {
  EXPECT_EQ(NoDiskMessage('Q'), "There is no disk in drive Q  ");
  EXPECT_EQ(NotMoDiscMessage('C'), "Drive C is not an MO disc");
  EXPECT_EQ(DriveVolumePath('E'), "\\\\.\\E:");
}

}  // namespace
}  // namespace zep
