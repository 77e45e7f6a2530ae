// The Windows program's plain functions (the layout, the menu state, the
// run's paths and texts), natively as well as under Wine: they need no window.

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <tuple>

#include "operations/disc_words.h"
#include "res/resource.h"
#include "tests/support/disc_image.h"
#include "ui/check_texts.h"
#include "ui/inventory_texts.h"
#include "ui/layout.h"
#include "ui/menu_state.h"
#include "ui/run_texts.h"

namespace zep::ui {
namespace {

using test::DiscImage;
using test::EntrySpec;

// One row per record (status 1) with its cells, names up to their type's
// terminator; the label in slot 63 (status 2 there, nowhere else) is the title
// and never a row; zepconv's list shows the same. Its tests show ordinary
// dates, times and counts.
TEST(DiscWordsTest, RowsCellsAndTitle) {
  DiscImage image(SourceType::Tk40);
  for (int slot : {0, 1, 5}) image.Entry(slot, {.name = "R" + std::to_string(slot)});
  image.Entry(7, {.status = 2, .name = "NOTLABEL"}).Entry(8, {.status = 3, .name = "OTHER"}).Label("BALTI");
  const auto rows = BuildListRows(image.Directory(), SourceType::Tk40);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(std::tuple(rows[2].slot, rows[2].cells[0], rows[2].cells[1]), std::tuple(5, "6", "R5"));
  EXPECT_EQ(BuildTitle(image.Directory(), SourceType::Tk40), "ZEP Converter - BALTI");
  const auto tk40 = SourceType::Tk40, zep = SourceType::ZepV1;
  const std::tuple<const char*, SourceType, EntrySpec, int, int, std::string> cases[] = {  // slot, cell, shown
      {"tk40 name ends at FF", tk40, {.name = "RU\r\x0D\xFFZ", .terminate = false}, 3, 1, "RU\r\r"},
      {"eleven bytes, no terminator", tk40, {.name = "ABCDEFGHIJK", .terminate = false}, 3, 1, "ABCDEFGHIJK"},
      {"zep name ends at CR", zep, {.name = "A\xFF\rX", .terminate = false}, 3, 1, "A\xFF"},
      {"name shown up to a zero byte", tk40, {.name = std::string("AB\0CD", 5)}, 3, 1, "AB"},
      {"month zero", tk40, {.day = 0x01, .month = 0x00, .year = 0x99}, 3, 2, "01  99"},
      {"month 0x0A", tk40, {.day = 0x01, .month = 0x0A, .year = 0x99}, 3, 2, "01  99"},
      {"month 0x12", tk40, {.day = 0x31, .month = 0x12, .year = 0x00}, 3, 2, "31 Dec 00"},
      {"month beyond the table", tk40, {.day = 0x01, .month = 0xFF, .year = 0x01}, 3, 2, "01  01"},
      {"non-bcd day", zep, {.day = 0x2A, .month = 0x01, .year = 0x01}, 3, 2, "2a Jan 01"},
      {"tk40 negative pings", tk40, {.first = 100, .second = 90}, 3, 5, "-10"},
      {"tk40 wrapping difference", tk40, {.first = -2147483647 - 1, .second = 1}, 3, 5, "-2147483647"},
      {"a record in slot 63 is record 64", tk40, {.name = "LAST"}, 63, 0, "64"},
  };
  for (const auto& [what, type, entry, slot, cell, shown] : cases) {
    const DiscImage one = std::move(DiscImage(type).Entry(slot, entry));
    const auto rows = BuildListRows(one.Directory(), type);
    ASSERT_EQ(rows.size(), 1u) << what;
    EXPECT_EQ(rows[0].cells[static_cast<std::size_t>(cell)], shown) << what;
    EXPECT_EQ(BuildTitle(one.Directory(), type), "ZEP Converter") << what;
  }
  for (const auto& [type, name, terminate] : {std::tuple(tk40, "ABCDEFGHIJK", false), std::tuple(zep, "NORTH", true)}) {
    const DiscImage label = std::move(DiscImage(type).Label(name, terminate));
    EXPECT_EQ(BuildTitle(label.Directory(), type), std::string("ZEP Converter - ") + name);
    EXPECT_TRUE(BuildListRows(label.Directory(), type).empty());
  }
}

TEST(UiTextsTest, LayoutMenuStatePathsAndErrorBox) {
  // Single-precision column shares lose a pixel; a tiny window gives the bar a negative width.
  const Layout wide = ComputeLayout(400, 300, 20);
  EXPECT_EQ(std::tuple(wide.listWidth, wide.listHeight, wide.statusPartEdges[0], wide.statusPartEdges[1], wide.columnWidths),
            std::tuple(400, 280, kStatusTextPartEdge, 379, std::array<int, 6>{75, 87, 75, 47, 47, 63}));
  EXPECT_LT(ComputeLayout(100, 300, 20).progressBarWidth, 0);

  SelectionTable selection{};
  selection[63] = 1;
  EXPECT_EQ(ComputeMenuState(selection, SourceType::ZepV1).checkedSourceItem, unsigned{IDM_SOURCE_ZEPV1});

  // A message box taller than the screen would hide its OK button.
  EXPECT_EQ(ConversionFailureText({{{RecordSubject(2, "H"), "3 blocks lost", 3}, true}}),
            "1 record was not converted completely:\n\nRecord 2 (H): incomplete: 3 blocks lost");
  const std::string many = ConversionFailureText(std::vector<RecordFailure>(20, {{"Record 1 (X)", "r"}, false}));
  EXPECT_EQ(std::count(many.begin(), many.end(), '\n'), 1 + 16 + 1);
  EXPECT_TRUE(many.ends_with("\n... and 4 more records")) << many;
}

TEST(UiTextsTest, StatusHintsAndTheWrongTypeQuestionNameWhatFits) {
  const struct {
    std::string mapfile;
    std::optional<SourceType> looksLike;
    SourceType chosen;
    bool lost;
    std::string expected;
  } cases[] = {
      {"", SourceType::Tk40, SourceType::Tk40, false, ""},
      {"d.map", std::nullopt, SourceType::Tk40, true,
       "No records listed: the directory is lost (Tools > Recover Lost Records) | Mapfile in use: d.map"},
      {"", SourceType::ZepV1, SourceType::Tk40, true,
       "No records listed: the directory is lost (Tools > Recover Lost Records) | This disc looks like a ZEP V1.X "
       "disc (File > Source Type)"},
  };
  for (const auto& c : cases) EXPECT_EQ(SourceStatusText(c.mapfile, c.looksLike, c.chosen, c.lost), c.expected);
  EXPECT_TRUE(WrongTypeQuestion(SourceType::ZepV1).starts_with("No record of this disc fits ZEP V1.X; it looks like a TK40 disc"));
  EXPECT_TRUE(WrongTypeQuestion(SourceType::Tk40).ends_with("Convert as TK40 anyway?"));
}

// The check window's rows say why a record is damaged; its columns fit the
// widest text; its children stay inside a window of any size.
TEST(UiTextsTest, CheckRowsWidthsAndLayout) {
  CheckReport report;
  report.type = SourceType::ZepV1;
  RecordHealth h{.slot = 1, .units = 630, .wholeUnits = 600, .unreadable = {{12, 4}, {20, 1}}, .unreadableUnits = 5,
                 .beyondEnd = 25, .pings = 610, .unreadPings = 3, .missing = {{7, 2}}};
  report.health.records = {h, RecordHealth{.slot = 4, .units = 2, .wholeUnits = 2, .pings = 2}};
  const std::vector<CheckRow> rows = CheckRows(report);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0], (CheckRow{"2", RecordName(report.dir, 1, report.type), "whole", "600 of 630", "5 (12-15, 20)", "25", "2", "3", "610"}));
  EXPECT_EQ(rows[1][4], "0");
  EXPECT_EQ(CheckColumnTitles(SourceType::Tk40)[4], "Unreadable blocks");

  const auto widths = FitColumnWidths(CheckColumnTitles(report.type), rows,
                                      [](const std::string& t) { return static_cast<int>(t.size()) * 7; }, 10);
  EXPECT_EQ(widths, (std::array<int, kCheckColumns>{6 * 7 + 10, 4 * 7 + 10, 7 * 7 + 10, 13 * 7 + 10, 18 * 7 + 10,
                                                    12 * 7 + 10, 13 * 7 + 10, 25 * 7 + 10, 5 * 7 + 10}));

  const struct {
    int width, height;
    Box list, save, close;
  } layouts[] = {
      {640, 360, {6, 30, 628, 294}, {468, 330, 80, 24}, {554, 330, 80, 24}},
      {50, 20, {6, 30, 38, 0}, {6, 30, 80, 24}, {6, 30, 80, 24}},  // smaller than its parts: nothing negative
  };
  for (const auto& l : layouts) {
    const CheckLayout got = ComputeCheckLayout(l.width, l.height);
    EXPECT_EQ(std::tuple(got.list, got.save, got.close), std::tuple(l.list, l.save, l.close)) << l.width;
  }
}

TEST(UiTextsTest, InventoryCountGivesEachHealth) {
  using enum Health;
  const std::pair<std::vector<Health>, std::string> cases[] = {
      {{kWhole}, "1 disc in D:\\box: 1 whole"},
      {{kUnreadable, kWhole, kNotRead, kDamaged, kWhole, kDirectoryLost},
       "6 discs in D:\\box: 2 whole, 1 damaged, 1 directory lost, 1 unreadable, 1 not read"},
      {{}, "0 discs in D:\\box"},
  };
  for (const auto& [healths, expected] : cases) EXPECT_EQ(InventoryCountText(healths, "D:\\box"), expected);
}

}  // namespace
}  // namespace zep::ui
