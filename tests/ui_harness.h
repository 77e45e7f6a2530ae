#pragma once
// Driving the Windows program's windows in the test's own process, under
// Wine's null display: the program's start-up makes the main window, tests
// send it what a user's actions send, a WH_CBT hook answers the modal
// dialogs, message boxes and folder browsers it opens, and a subclass logs
// what reaches the status bar and the progress bar.

#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <initializer_list>
#include <set>
#include <string>
#include <vector>

#include "tests/support/disc_image.h"
#include "ui/shell_state.h"

namespace zep::uitest {

// Drives mapped by ui_map_drive.sh: both read kDriveImagePath; M: is
// removable, N: a fixed disk. Q: is not mapped at all.
inline constexpr char kMissingDrive = 'Q';
inline constexpr const char* kDriveImagePath = "C:\\zep-drive-m.img";

struct SeenDialog {
  std::string title;
  std::string text;                     // the static texts, one per line
  std::vector<std::string> comboItems;  // of the drive list, when the dialog has one
};

using DialogAction = std::function<void(HWND dialog)>;

// Answers, in order, the dialogs this thread opens while the script lives;
// a dialog with no action left gets IDCANCEL. Every dialog is recorded.
class DialogScript {
 public:
  explicit DialogScript(std::vector<DialogAction> actions = {});
  ~DialogScript();
  const std::vector<SeenDialog>& seen() const { return seen_; }
  void OnActivate(HWND window);

 private:
  HHOOK hook_ = nullptr;
  std::deque<DialogAction> actions_;
  std::vector<SeenDialog> seen_;
  std::set<HWND> answered_;
};

DialogAction Press(int id);
// The folder browser: select folder, then OK.
DialogAction ChooseFolder(const std::string& folder);
// The drive dialog: pick "X:" in the list, then press button.
DialogAction PickDrive(char letter, int button = IDOK);

// A window's text, and a dialog's static texts one per line; in any process.
std::string WindowText(HWND window);
std::string StaticTexts(HWND dialog);

// Polls until found() gives a window, for at most 20 seconds.
HWND WaitFor(const std::function<HWND()>& found);
// A visible top-level window of process (0: any) with that class and title
// (null: any).
HWND TopWindow(DWORD process, const char* className, const char* title = nullptr);

struct LoggedMessage {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  std::string text;  // SB_SETTEXTA's text
  bool operator==(const LoggedMessage&) const = default;
};

// Logs the texts that reach the status bar and the range and positions that
// reach the progress bar of the running window, then lets the bars have them.
struct RunLog {
  RunLog();
  ~RunLog();
  std::vector<LoggedMessage> log;
};

// One main window per test, started by the program's own start-up with the
// shell's state as at program start.
struct MainWindowTest : ::testing::Test {
  void SetUp() override;
  void TearDown() override;
  void Command(int id);
  void SelectRows(std::initializer_list<int> rows);
  // Scans drive M: with the image mapped, answering the drive dialog.
  void ScanImage(const test::DiscImage& image);

  int RowCount() const { return static_cast<int>(SendMessageA(ui::g_shell.recordList, LVM_GETITEMCOUNT, 0, 0)); }
  std::string Cell(int row, int subItem) const;
  // The state of a menu item after the popup holding it was opened.
  UINT MenuItemState(int commandId);

  HWND window = nullptr;
};

}  // namespace zep::uitest
