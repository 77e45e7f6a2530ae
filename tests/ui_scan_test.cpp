// Choosing the drive, the scan into the record list and the title, the
// scan's error boxes, the selection table and the menu state.

#include <filesystem>

#include "res/resource.h"
#include "tests/ui_harness.h"
#include "ui/commands.h"
#include "ui/dialogs.h"
#include "ui/menu_state.h"
#include "ui/shell_state.h"

namespace zep::uitest {
namespace {

using test::DiscImage;
using ui::g_shell;

using ScanTest = MainWindowTest;

DiscImage ThreeRecords() {
  DiscImage image(SourceType::Tk40);
  image.Entry(0, {.name = "SURVEY1", .first = 0, .second = 4})
      .Entry(1, {.name = "HARBOUR", .day = 0x2A, .month = 0x00, .year = 0x09, .first = 4, .second = 6})
      .Entry(5, {.name = "REEF", .start = {0x23, 0x59}, .end = {0x00, 0x01}, .first = 10, .second = 7})
      .Label("BALTIC");
  return image;
}

std::vector<std::string> Row(const MainWindowTest& test, int row) {
  std::vector<std::string> cells;
  for (int sub = 0; sub < 6; ++sub) cells.push_back(test.Cell(row, sub));
  return cells;
}

TEST_F(ScanTest, ScanOfTheMappedDiscListsOneRowPerRecordWithItsSlot) {
  ScanImage(ThreeRecords());
  ASSERT_EQ(RowCount(), 3);
  using Cells = std::vector<std::string>;
  EXPECT_EQ(Row(*this, 0), (Cells{"1", "SURVEY1", "05 Nov 08", "14:05", "15:30", "4"}));
  EXPECT_EQ(Row(*this, 1), (Cells{"2", "HARBOUR", "2a  09", "14:05", "15:30", "2"}));
  EXPECT_EQ(Row(*this, 2), (Cells{"6", "REEF", "05 Nov 08", "23:59", "00:01", "-3"}));
  EXPECT_EQ(RowData(0), 0);
  EXPECT_EQ(RowData(1), 1);
  EXPECT_EQ(RowData(2), 5);
  EXPECT_EQ(Title(), "ZEP Converter - BALTIC");
  EXPECT_EQ(g_shell.driveLetter, kMoDrive);
  EXPECT_EQ(std::filesystem::file_size("C:\\test.bin"), 5056u * 4096u);
}

TEST_F(ScanTest, ZepDiscIsReadWithItsOwnLayoutAfterSwitchingTheSourceType) {
  DiscImage image(SourceType::ZepV1);
  image.Entry(2, {.name = "LINE7", .day = 0x31, .month = 0x12, .year = 0x99, .first = 1, .second = 9});
  Command(IDM_SOURCE_ZEPV1);
  ScanImage(image);
  ASSERT_EQ(RowCount(), 1);
  EXPECT_EQ(Row(*this, 0), (std::vector<std::string>{"3", "LINE7", "31 Dec 99", "14:05", "15:30", "9"}));
  EXPECT_EQ(Title(), "ZEP Converter");

  // Switching back does not rescan: the list keeps what it shows.
  Command(IDM_SOURCE_TK40);
  EXPECT_EQ(RowCount(), 1);
  EXPECT_EQ(Cell(0, 1), "LINE7");
}

TEST_F(ScanTest, DriveWithoutDiskOrWithoutMoDiscShowsItsErrorBoxAndEmptiesTheList) {
  struct Case {
    char drive;
    const char* message;
    const char* titleAfter;
  };
  const Case cases[] = {
      {kMissingDrive, "There is no disk in drive Q  ", "ZEP Converter"},
      {kFixedDrive, "Drive N is not an MO disc", "ZEP Converter - BALTIC"},  // the title is left
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
    EXPECT_EQ(Title(), c.titleAfter);
  }
}

TEST_F(ScanTest, DriveDialogListsPresentDrivesAndEveryWayOutTakesTheSelection) {
  const std::vector<std::string> drives = ui::DriveEntries(GetLogicalDrives());
  ASSERT_GE(drives.size(), 2u);
  const char first = drives[0][0];
  struct Case {
    const char* how;
    DialogAction answer;
    char expected;
  };
  const Case cases[] = {
      {"Enter", Press(IDOK), first},
      {"Esc", Press(IDCANCEL), first},
      {"close box", CloseBox(), first},
      {"M: then OK", PickDrive('M', IDOK), 'M'},
      {"N: then Esc", PickDrive('N', IDCANCEL), 'N'},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.how);
    DialogScript script;
    script.Then(c.answer);
    EXPECT_EQ(ui::ChooseDrive(window), c.expected);
    ASSERT_EQ(script.seen().size(), 1u);
    EXPECT_EQ(script.seen()[0].title, "Select Drive/Volume");
    // Opened anew each time, with the lowest drive selected.
    EXPECT_EQ(script.seen()[0].comboItems, drives);
    EXPECT_EQ(script.seen()[0].comboSelection, drives[0]);
  }
  EXPECT_NE(std::find(drives.begin(), drives.end(), "M:"), drives.end());
}

TEST_F(ScanTest, SelectionTableFollowsTheListAndResetsTheProgressBar) {
  ScanImage(ThreeRecords());
  SendMessageA(g_shell.progressBar, PBM_SETPOS, 40, 0);
  SelectRows({2, 0});
  ui::SelectionTable expected{};
  expected[0] = expected[2] = 1;
  EXPECT_EQ(g_shell.selection, expected);
  EXPECT_EQ(ProgressPos(), 0);
}

TEST_F(ScanTest, ConvertIsGrayedUntilARowIsSelectedAndTheRadioShowsTheSourceType) {
  EXPECT_EQ(MenuItemState(IDM_CONVERT) & MF_GRAYED, static_cast<UINT>(MF_GRAYED));
  EXPECT_TRUE(MenuItemState(IDM_SOURCE_TK40) & MF_CHECKED);
  EXPECT_FALSE(MenuItemState(IDM_SOURCE_ZEPV1) & MF_CHECKED);

  ScanImage(ThreeRecords());
  EXPECT_EQ(MenuItemState(IDM_CONVERT) & MF_GRAYED, static_cast<UINT>(MF_GRAYED));
  SelectRows({1});
  EXPECT_EQ(MenuItemState(IDM_CONVERT) & MF_GRAYED, 0u);

  Command(IDM_SOURCE_ZEPV1);
  EXPECT_FALSE(MenuItemState(IDM_SOURCE_TK40) & MF_CHECKED);
  EXPECT_TRUE(MenuItemState(IDM_SOURCE_ZEPV1) & MF_CHECKED);
  MENUITEMINFOA info{};
  info.cbSize = sizeof info;
  info.fMask = MIIM_FTYPE;
  GetMenuItemInfoA(GetMenu(window), IDM_SOURCE_ZEPV1, FALSE, &info);
  EXPECT_TRUE(info.fType & MFT_RADIOCHECK);
}

// The list does not report its clearing and refilling under every platform;
// a flag left from the earlier rows must not survive the scan.
TEST_F(ScanTest, EveryScanClearsTheSelectionOfTheEarlierList) {
  struct Case {
    const char* how;
    std::function<void(ScanTest&)> rescan;
  };
  const Case cases[] = {
      {"same disc again", [](ScanTest& t) { t.ScanImage(ThreeRecords()); }},
      {"no disk", [](ScanTest& t) {
         DialogScript script;
         ui::ScanDriveIntoList(t.window, kMissingDrive);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.how);
    ScanImage(ThreeRecords());
    SelectRows({2});
    ASSERT_EQ(g_shell.selection[2], 1);
    c.rescan(*this);
    EXPECT_EQ(g_shell.selection, ui::SelectionTable{});
    EXPECT_EQ(MenuItemState(IDM_CONVERT) & MF_GRAYED, static_cast<UINT>(MF_GRAYED));
  }
}

}  // namespace
}  // namespace zep::uitest
