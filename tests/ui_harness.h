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

namespace zep::uitest {

// Drives mapped by ui_map_drive.sh: both read kDriveImagePath; M: is
// removable, N: a fixed disk. Q: is not mapped at all.
inline constexpr char kMoDrive = 'M';
inline constexpr char kFixedDrive = 'N';
inline constexpr char kMissingDrive = 'Q';
inline constexpr const char* kDriveImagePath = "C:\\zep-drive-m.img";

// Puts an image in the drives M: and N:.
void MapDiscImage(const test::DiscImage& image);

struct SeenDialog {
  std::string title;
  std::string text;                     // the static texts, one per line
  std::vector<std::string> comboItems;  // of control 1000, when the dialog has one
  std::string comboSelection;
};

using DialogAction = std::function<void(HWND dialog)>;

// Answers, in order, the dialogs this thread opens while the script lives;
// a dialog with no action left gets IDCANCEL. Every dialog is recorded.
class DialogScript {
 public:
  DialogScript();
  ~DialogScript();
  DialogScript(const DialogScript&) = delete;
  DialogScript& operator=(const DialogScript&) = delete;

  DialogScript& Then(DialogAction action);
  const std::vector<SeenDialog>& seen() const { return seen_; }

  void OnActivate(HWND window);

 private:
  HHOOK hook_ = nullptr;
  std::deque<DialogAction> actions_;
  std::vector<SeenDialog> seen_;
  std::set<HWND> answered_;
};

DialogAction Press(int id);
DialogAction CloseBox();
// The folder browser: select folder, then OK.
DialogAction ChooseFolder(const std::string& folder);
// The drive dialog: pick "X:" in the list, then press button.
DialogAction PickDrive(char letter, int button = IDOK);

struct LoggedMessage {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  std::string text;  // SB_SETTEXTA's text
};

// Logs the chosen messages that reach a window, then lets it handle them.
class MessageLog {
 public:
  MessageLog(HWND window, std::set<UINT> messages);
  ~MessageLog();
  MessageLog(const MessageLog&) = delete;
  MessageLog& operator=(const MessageLog&) = delete;
  const std::vector<LoggedMessage>& messages() const { return log_; }

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  HWND window_;
  WNDPROC previous_;
  std::set<UINT> wanted_;
  std::vector<LoggedMessage> log_;
};

// One main window per test, started by the program's own start-up with the
// shell's state as at program start.
class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

 public:
  // What the user does.
  void Command(int id);
  void SelectRows(std::initializer_list<int> rows);
  void Resize(int clientWidth, int clientHeight);
  // Scans drive M: with the image mapped, answering the drive dialog.
  void ScanImage(const test::DiscImage& image);

  // What the user sees.
  int RowCount() const;
  std::string Cell(int row, int subItem) const;
  LPARAM RowData(int row) const;
  std::string Title() const;
  std::string StatusText() const;
  int ProgressPos() const;
  PBRANGE ProgressRange() const;
  // The state of a menu item after the popup holding it was opened.
  UINT MenuItemState(int commandId);

  HWND window = nullptr;
};

}  // namespace zep::uitest
