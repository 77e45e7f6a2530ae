// The plain rules behind the windows: layout figures, menu state, output
// paths, the run's texts and the drive list.

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "res/resource.h"
#include "ui/dialogs.h"
#include "ui/layout.h"
#include "ui/menu_state.h"
#include "ui/run_texts.h"

namespace zep::ui {
namespace {

TEST(Layout, FiguresForClientWidths) {
  struct Case {
    int width, height, statusHeight;
    Layout expected;
  };
  const Case cases[] = {
      // The single-precision shares lie below 0.19, 0.22, ...: whole products lose a pixel.
      {400, 300, 20, {400, 280, {145, 379}, 231, {75, 87, 75, 47, 47, 63}}},
      {100, 300, 20, {100, 280, {145, 79}, -69, {18, 21, 18, 11, 11, 15}}},
      {381, 196, 23, {381, 173, {145, 360}, 212, {72, 83, 72, 45, 45, 60}}},
      // Minimized: everything from a 0 x 0 client area, negative sizes as computed.
      {0, 0, 20, {0, -20, {145, -21}, -169, {0, 0, 0, 0, 0, 0}}},
  };
  for (const Case& c : cases) {
    const Layout got = ComputeLayout(c.width, c.height, c.statusHeight);
    SCOPED_TRACE(c.width);
    EXPECT_EQ(got.listWidth, c.expected.listWidth);
    EXPECT_EQ(got.listHeight, c.expected.listHeight);
    EXPECT_EQ(got.statusPartEdges, c.expected.statusPartEdges);
    EXPECT_EQ(got.progressBarWidth, c.expected.progressBarWidth);
    EXPECT_EQ(got.columnWidths, c.expected.columnWidths);
  }
}

TEST(MenuState, ConvertNeedsASelectedRowAndTheRadioFollowsTheSourceType) {
  SelectionTable none{};
  SelectionTable last{};
  last[63] = 1;
  SelectionTable two{};
  two[0] = two[5] = 1;
  struct Case {
    const SelectionTable& selection;
    SourceType type;
    bool convertEnabled;
    unsigned checked;
  };
  const Case cases[] = {
      {none, SourceType::Tk40, false, IDM_SOURCE_TK40},
      {none, SourceType::ZepV1, false, IDM_SOURCE_ZEPV1},
      {last, SourceType::Tk40, true, IDM_SOURCE_TK40},
      {two, SourceType::ZepV1, true, IDM_SOURCE_ZEPV1},
  };
  for (const Case& c : cases) {
    const MenuState state = ComputeMenuState(c.selection, c.type);
    EXPECT_EQ(state.convertEnabled, c.convertEnabled);
    EXPECT_EQ(state.checkedSourceItem, c.checked);
  }
}

TEST(RunTexts, OutputPathJoinsWithOneBackslashAndRefusesPathsPastTheLimit) {
  const std::string folder247(247, 'f');
  struct Case {
    std::string folder, name;
    std::optional<std::string> expected;
  };
  const Case cases[] = {
      {"C:\\Out", "SURVEY1.ZEP", "C:\\Out\\SURVEY1.ZEP"},
      {"D:\\", "SURVEY1.ZEP", "D:\\SURVEY1.ZEP"},
      {"\\\\server\\share\\", "RUN.2", "\\\\server\\share\\RUN.2"},
      // 259 characters is the longest path there is room for.
      {folder247, "ABCDEFG.ZEP", folder247 + "\\ABCDEFG.ZEP"},
      {folder247, "ABCDEFGH.ZEP", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(JoinOutputPath(c.folder, c.name), c.expected) << c.name;
}

TEST(RunTexts, StatusTextHasNoSpaceAfterConverting) {
  EXPECT_EQ(ConvertingText("SURVEY1"), "Converting...SURVEY1");
  EXPECT_EQ(ConvertingText(""), "Converting...");
}

TEST(RunTexts, FailureBoxListsEachRecordAndCutsLongLists) {
  const std::vector<RecordFailure> two = {
      {.recordNumber = 3, .name = "SURVEY1", .incomplete = false, .reason = "C:\\Out\\SURVEY1.ZEP: access denied"},
      {.recordNumber = 6, .name = "REEF", .incomplete = true, .reason = "2 of 10 blocks could not be read"},
  };
  EXPECT_EQ(ConversionFailureText(two),
            "2 records were not converted completely:\n"
            "\nRecord 3 (SURVEY1): not converted: C:\\Out\\SURVEY1.ZEP: access denied"
            "\nRecord 6 (REEF): incomplete: 2 of 10 blocks could not be read");

  std::vector<RecordFailure> many(20, RecordFailure{.recordNumber = 1, .name = "X", .reason = "r"});
  const std::string text = ConversionFailureText(many);
  EXPECT_EQ(text.rfind("\n... and 4 more records"), text.size() - std::string("\n... and 4 more records").size());
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1 + 16 + 1);

  EXPECT_EQ(SplitFailureText({"C:\\fond0.zep: access denied"}),
            "Not every run of pings found in the scan dump could be written:\n\nC:\\fond0.zep: access denied");
}

TEST(DriveList, EntriesFollowTheDriveBitsFromA) {
  struct Case {
    std::uint32_t mask;
    std::vector<std::string> entries;
  };
  const Case cases[] = {
      {0, {}},
      {0b1001101, {"A:", "C:", "D:", "G:"}},
      {1u << 25, {"Z:"}},
      {0xFC000000u | 1u << 12, {"M:"}},  // bits past Z mean no drive
  };
  for (const Case& c : cases) EXPECT_EQ(DriveEntries(c.mask), c.entries) << c.mask;
}

}  // namespace
}  // namespace zep::ui
