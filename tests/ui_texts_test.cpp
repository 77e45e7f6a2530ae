// The Windows program's plain functions (the layout, the menu state, the
// run's paths and texts), natively as well as under Wine: they need no window.

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <tuple>

#include "res/resource.h"
#include "ui/check_texts.h"
#include "ui/inventory_texts.h"
#include "ui/layout.h"
#include "ui/menu_state.h"
#include "ui/run_texts.h"

namespace zep::ui {
namespace {

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
