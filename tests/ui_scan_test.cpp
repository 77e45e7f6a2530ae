// Choosing the drive, the scan into the record list and the title, the
// scan's error boxes, the selection table and the menu state.

#include <algorithm>

#include "res/resource.h"
#include "tests/ui_harness.h"
#include "ui/commands.h"
#include "ui/dialogs.h"
#include "ui/shell_state.h"

namespace zep::uitest {
namespace {

using test::DiscImage;
using ui::g_shell;
using ScanTest = MainWindowTest;
using Cells = std::vector<std::string>;

DiscImage ThreeRecords() {
  DiscImage image(SourceType::Tk40);
  image.Entry(0, {.name = "SURVEY1", .first = 0, .second = 4})
      .Entry(1, {.name = "HARBOUR", .day = 0x2A, .month = 0x00, .year = 0x09, .first = 4, .second = 6})
      .Entry(5, {.name = "REEF", .start = {0x23, 0x59}, .end = {0x00, 0x01}, .first = 10, .second = 7})
      .Label("BALTIC");
  return image;
}

TEST_F(ScanTest, ScanOfTheMappedDiscListsOneRowPerRecordWithItsSlot) {
  ScanImage(ThreeRecords());
  const Cells expected[] = {
      {"0", "1", "SURVEY1", "05 Nov 08", "14:05", "15:30", "4"},
      {"1", "2", "HARBOUR", "2a  09", "14:05", "15:30", "2"},
      {"5", "6", "REEF", "05 Nov 08", "23:59", "00:01", "-3"},
  };
  ASSERT_EQ(RowCount(), 3);
  for (int row = 0; row < 3; ++row) {
    LVITEMA item{.mask = LVIF_PARAM, .iItem = row};
    SendMessageA(g_shell.recordList, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    Cells cells{std::to_string(item.lParam)};  // the slot the row carries, then what it shows
    for (int sub = 0; sub < 6; ++sub) cells.push_back(Cell(row, sub));
    EXPECT_EQ(cells, expected[row]);
  }
  EXPECT_EQ(WindowText(window), "ZEP Converter - BALTIC");
}

TEST_F(ScanTest, DriveWithoutDiskOrWithoutMoDiscShowsItsErrorBoxAndEmptiesTheList) {
  struct Case {
    char drive;
    const char* message;
    const char* titleAfter;
  };
  const Case cases[] = {
      {kMissingDrive, "There is no disk in drive Q  ", "ZEP Converter"},
      {'N', "Drive N is not an MO disc", "ZEP Converter - BALTIC"},  // the title is left
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.drive);
    ScanImage(ThreeRecords());
    DialogScript script;
    ui::ScanDriveIntoList(window, c.drive);
    ASSERT_EQ(script.seen().size(), 1u);
    EXPECT_EQ(script.seen()[0].title, "Error");
    EXPECT_EQ(script.seen()[0].text, c.message);
    EXPECT_EQ(RowCount(), 0);
    EXPECT_EQ(WindowText(window), c.titleAfter);
  }
}

TEST_F(ScanTest, DriveDialogListsPresentDrivesAndEveryWayOutTakesTheSelection) {
  struct Case {
    DialogAction answer;
    char expected;
  };
  const Case cases[] = {
      {Press(IDOK), 0},  // 0: the lowest drive, selected at the start
      {PickDrive('N', IDCANCEL), 'N'},
  };
  for (const Case& c : cases) {
    DialogScript script({c.answer});
    const INT_PTR chosen = ui::ChooseDrive(window);
    ASSERT_EQ(script.seen().size(), 1u);
    const Cells& drives = script.seen()[0].comboItems;
    ASSERT_FALSE(drives.empty());
    EXPECT_EQ(chosen, c.expected ? c.expected : drives[0][0]);
    EXPECT_TRUE(std::is_sorted(drives.begin(), drives.end()));
    for (const char* present : {"C:", "M:", "N:"}) EXPECT_EQ(std::count(drives.begin(), drives.end(), present), 1);
    EXPECT_EQ(std::count(drives.begin(), drives.end(), "Q:"), 0);
  }
}

TEST_F(ScanTest, ConvertIsGrayedUntilARowIsSelectedAndTheRadioShowsTheSourceType) {
  EXPECT_TRUE(MenuItemState(IDM_CONVERT) & MF_GRAYED);
  EXPECT_TRUE(MenuItemState(IDM_SOURCE_TK40) & MF_CHECKED);
  EXPECT_FALSE(MenuItemState(IDM_SOURCE_ZEPV1) & MF_CHECKED);

  ScanImage(ThreeRecords());
  EXPECT_TRUE(MenuItemState(IDM_CONVERT) & MF_GRAYED);
  SendMessageA(g_shell.progressBar, PBM_SETPOS, 40, 0);
  SelectRows({2, 0});
  ui::SelectionTable expected{};
  expected[0] = expected[2] = 1;
  EXPECT_EQ(g_shell.selection, expected);
  EXPECT_EQ(SendMessageA(g_shell.progressBar, PBM_GETPOS, 0, 0), 0) << "a new selection resets the bar";
  EXPECT_FALSE(MenuItemState(IDM_CONVERT) & MF_GRAYED);

  Command(IDM_SOURCE_ZEPV1);
  EXPECT_FALSE(MenuItemState(IDM_SOURCE_TK40) & MF_CHECKED);
  EXPECT_TRUE(MenuItemState(IDM_SOURCE_ZEPV1) & MF_CHECKED);
  MENUITEMINFOA info{.cbSize = sizeof info, .fMask = MIIM_FTYPE};
  GetMenuItemInfoA(GetMenu(window), IDM_SOURCE_ZEPV1, FALSE, &info);
  EXPECT_TRUE(info.fType & MFT_RADIOCHECK);
}

}  // namespace
}  // namespace zep::uitest
