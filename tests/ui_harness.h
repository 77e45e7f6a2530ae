#pragma once
// Driving the Windows program's windows in the test's own process, under
// Wine's null display: the program's start-up makes the main window, tests
// send it what a user's actions send, a WH_CBT hook answers the modal dialogs,
// message boxes and folder browsers it opens. Drives (ui_map_drive.sh): M: and
// N: read kDriveImagePath, M: as a removable (MO) drive, N: as a fixed disk.

#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>
#include <shlobj.h>

#include <deque>
#include <filesystem>
#include <functional>
#include <set>

#include "app/startup.h"
#include "res/resource.h"
#include "tests/support/disc_image.h"
#include "ui/shell_state.h"

namespace zep::uitest {

inline constexpr const char* kDriveImagePath = "C:\\zep-drive-m.img";

inline std::string WindowText(HWND window) {
  char text[1024] = "";
  GetWindowTextA(window, text, sizeof text);
  return text;
}

// A dialog's static texts but icons, one per line.
inline std::string StaticTexts(HWND dialog) {
  std::string texts;
  EnumChildWindows(dialog, [](HWND child, LPARAM param) -> BOOL {
    char cls[16] = "";
    GetClassNameA(child, cls, sizeof cls);
    const std::string text = WindowText(child);
    if (!_stricmp(cls, "Static") && (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON && !text.empty()) {
      auto* all = reinterpret_cast<std::string*>(param);
      *all += (all->empty() ? "" : "\n") + text;
    }
    return TRUE;
  }, reinterpret_cast<LPARAM>(&texts));
  return texts;
}

struct SeenDialog {
  std::string title, text;              // the static texts, one per line
  std::vector<std::string> comboItems;  // of the drive list, when the dialog has one
};
using DialogAction = std::function<void(HWND dialog)>;

// Answers, in order, the dialogs this thread opens while the script lives; a
// dialog with no action left gets IDCANCEL. Every dialog is recorded.
class DialogScript {
 public:
  explicit DialogScript(std::vector<DialogAction> actions = {}) : actions_(actions.begin(), actions.end()) {
    current() = this;
    hook_ = SetWindowsHookExA(WH_CBT, [](int code, WPARAM w, LPARAM l) {
      if (code == HCBT_ACTIVATE && current()) current()->OnActivate(reinterpret_cast<HWND>(w));
      return CallNextHookEx(nullptr, code, w, l);
    }, nullptr, GetCurrentThreadId());
  }
  ~DialogScript() {
    UnhookWindowsHookEx(hook_);
    current() = nullptr;
  }
  const std::vector<SeenDialog>& seen() const { return seen_; }

 private:
  static DialogScript*& current() {
    static thread_local DialogScript* script = nullptr;
    return script;
  }
  void OnActivate(HWND window) {
    char cls[16] = "";
    GetClassNameA(window, cls, sizeof cls);
    if (std::string(cls) != "#32770" || !answered_.insert(window).second) return;
    SeenDialog seen{.title = WindowText(window), .text = StaticTexts(window)};
    const HWND combo = GetDlgItem(window, IDC_DRIVE_LIST);
    for (int i = 0; combo && i < SendMessageA(combo, CB_GETCOUNT, 0, 0); ++i) {
      char item[16] = "";
      SendMessageA(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item));
      seen.comboItems.push_back(item);
    }
    seen_.push_back(std::move(seen));
    DialogAction action = [](HWND d) { PostMessageA(d, WM_COMMAND, IDCANCEL, 0); };
    if (!actions_.empty()) action = std::move(actions_.front()), actions_.pop_front();
    action(window);
  }
  HHOOK hook_ = nullptr;
  std::deque<DialogAction> actions_;
  std::vector<SeenDialog> seen_;
  std::set<HWND> answered_;
};

inline DialogAction Press(int id) {
  return [id](HWND dialog) { PostMessageA(dialog, WM_COMMAND, static_cast<WPARAM>(id), 0); };
}

// The drive dialog: pick "X:" in the list, then press button.
inline DialogAction PickDrive(char letter, int button = IDOK) {
  return [letter, button](HWND dialog) {
    const char entry[3] = {letter, ':', '\0'};
    SendDlgItemMessageA(dialog, IDC_DRIVE_LIST, CB_SELECTSTRING, static_cast<WPARAM>(-1),
                        reinterpret_cast<LPARAM>(entry));
    Press(button)(dialog);
  };
}

// The folder browser may still be filling its tree when it is activated, and
// a selection asked for before that is lost: a timer asks again until the
// folder is the selected item, then accepts it.
inline DialogAction ChooseFolder(const std::string& folder) {
  return [folder](HWND dialog) {
    SetPropA(dialog, "ZepFolder", new std::string(folder));
    SetTimer(dialog, 1, 20, [](HWND dialog, UINT, UINT_PTR, DWORD) {
      auto* folder = static_cast<std::string*>(GetPropA(dialog, "ZepFolder"));
      const HWND tree = FindWindowExA(dialog, nullptr, WC_TREEVIEWA, nullptr);
      char text[MAX_PATH] = "";
      TVITEMA item{.mask = TVIF_TEXT,
                   .hItem = reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CARET, 0)),
                   .pszText = text,
                   .cchTextMax = sizeof text};
      if (item.hItem && SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)) &&
          std::filesystem::path(*folder).filename().string() == text) {
        KillTimer(dialog, 1);
        delete folder;
        PostMessageA(dialog, WM_COMMAND, IDOK, 0);
      } else {
        SendMessageA(dialog, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(folder->c_str()));
      }
    });
  };
}

// Polls, for at most 20 seconds, for a visible top-level window of process
// (0: any) with that class and title (null: any) for which also() holds.
inline HWND WaitFor(DWORD process, const char* className, const char* title, std::function<bool(HWND)> also = {}) {
  for (int i = 0; i < 400; ++i, Sleep(50)) {
    for (HWND window = nullptr; (window = FindWindowExA(nullptr, window, className, title));) {
      DWORD owner = 0;
      GetWindowThreadProcessId(window, &owner);
      if ((!process || owner == process) && IsWindowVisible(window) && (!also || also(window))) return window;
    }
  }
  return nullptr;
}

// One main window per test, started by the program's own start-up with the
// shell's state as at program start.
struct MainWindowTest : ::testing::Test {
  void SetUp() override {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);  // for the folder browser, as the program has
    ui::g_shell = ui::ShellState{};
    window = app::StartMainWindow(GetModuleHandleA(nullptr), SW_SHOWNORMAL);
    ASSERT_NE(window, nullptr);
  }
  void TearDown() override {
    if (IsWindow(window)) DestroyWindow(window);
    // The window's end posts the quit message; left in the queue it would end
    // the next test's modal loops at once.
    for (MSG msg; PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);) continue;
  }
  void Command(int id) { SendMessageA(window, WM_COMMAND, static_cast<WPARAM>(id), 0); }
  void SelectRows(std::initializer_list<int> rows) {
    for (int row : rows) {
      LVITEMA item{.state = LVIS_SELECTED, .stateMask = LVIS_SELECTED};
      SendMessageA(ui::g_shell.recordList, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    }
  }
  // Scans drive M: with the image mapped, answering the drive dialog; a scan
  // of a mapped image shows no error box.
  void ScanImage(const test::DiscImage& image) {
    image.WriteFile(kDriveImagePath);
    DialogScript script({PickDrive('M')});
    Command(IDM_SELECT_DRIVE);
    ASSERT_EQ(script.seen().size(), 1u) << (script.seen().empty() ? "" : script.seen().back().text);
  }
  int RowCount() const { return static_cast<int>(SendMessageA(ui::g_shell.recordList, LVM_GETITEMCOUNT, 0, 0)); }
  std::string Cell(int row, int subItem) const {
    char text[64] = "";
    LVITEMA item{.iSubItem = subItem, .pszText = text, .cchTextMax = sizeof text};
    SendMessageA(ui::g_shell.recordList, LVM_GETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    return text;
  }
  // The state of a menu item after each popup was opened, as a user opens them.
  UINT MenuItemState(int commandId) {
    const HMENU bar = GetMenu(window);
    for (int i = 0; i < GetMenuItemCount(bar); ++i) {
      SendMessageA(window, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(GetSubMenu(bar, i)), MAKELPARAM(i, FALSE));
    }
    return GetMenuState(bar, static_cast<UINT>(commandId), MF_BYCOMMAND);
  }
  HWND window = nullptr;
};

}  // namespace zep::uitest
