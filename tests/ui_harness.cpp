#include "tests/ui_harness.h"

#include <shlobj.h>

#include <cstring>
#include <filesystem>
#include <map>

#include "app/startup.h"
#include "res/resource.h"
#include "ui/shell_state.h"

namespace zep::uitest {
namespace {

thread_local DialogScript* t_script = nullptr;

std::string WindowText(HWND window) {
  char text[1024] = "";
  GetWindowTextA(window, text, sizeof text);
  return text;
}

std::string ClassOf(HWND window) {
  char name[64] = "";
  GetClassNameA(window, name, sizeof name);
  return name;
}

LRESULT CALLBACK CbtProc(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE && t_script) t_script->OnActivate(reinterpret_cast<HWND>(wParam));
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

BOOL CALLBACK CollectStatic(HWND child, LPARAM param) {
  auto* seen = reinterpret_cast<SeenDialog*>(param);
  // An icon's text is its resource id, not something a user reads.
  const bool isIcon = (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON;
  if (_stricmp(ClassOf(child).c_str(), "Static") == 0 && !isIcon) {
    const std::string text = WindowText(child);
    if (!text.empty()) seen->text += (seen->text.empty() ? "" : "\n") + text;
  }
  return TRUE;
}

std::map<HWND, MessageLog*>& Logs() {
  static std::map<HWND, MessageLog*> logs;
  return logs;
}

}  // namespace

void MapDiscImage(const test::DiscImage& image) { image.WriteFile(kDriveImagePath); }

DialogScript::DialogScript() {
  t_script = this;
  hook_ = SetWindowsHookExA(WH_CBT, CbtProc, nullptr, GetCurrentThreadId());
}

DialogScript::~DialogScript() {
  UnhookWindowsHookEx(hook_);
  t_script = nullptr;
}

DialogScript& DialogScript::Then(DialogAction action) {
  actions_.push_back(std::move(action));
  return *this;
}

void DialogScript::OnActivate(HWND window) {
  if (ClassOf(window) != "#32770" || !answered_.insert(window).second) return;
  SeenDialog seen;
  seen.title = WindowText(window);
  EnumChildWindows(window, CollectStatic, reinterpret_cast<LPARAM>(&seen));
  if (const HWND combo = GetDlgItem(window, IDC_DRIVE_LIST)) {
    const int count = static_cast<int>(SendMessageA(combo, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
      char item[16] = "";
      SendMessageA(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item));
      seen.comboItems.push_back(item);
    }
    seen.comboSelection = WindowText(combo);
  }
  seen_.push_back(std::move(seen));
  if (actions_.empty()) {
    PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
    return;
  }
  DialogAction action = std::move(actions_.front());
  actions_.pop_front();
  action(window);
}

DialogAction Press(int id) {
  return [id](HWND dialog) { PostMessageA(dialog, WM_COMMAND, static_cast<WPARAM>(id), 0); };
}

DialogAction CloseBox() {
  return [](HWND dialog) { PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); };
}

// The folder browser may still be filling its tree when it is activated, and
// a selection asked for before that is lost: a timer asks again until the
// folder is the selected item, then accepts it.
std::map<HWND, std::string>& FolderChoices() {
  static std::map<HWND, std::string> choices;
  return choices;
}

void CALLBACK ChooseFolderTick(HWND dialog, UINT, UINT_PTR timer, DWORD) {
  const std::string& folder = FolderChoices().at(dialog);
  const HWND tree = FindWindowExA(dialog, nullptr, WC_TREEVIEWA, nullptr);
  char text[MAX_PATH] = "";
  TVITEMA item{};
  item.mask = TVIF_TEXT;
  item.hItem = reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
  item.pszText = text;
  item.cchTextMax = sizeof text;
  if (item.hItem && SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)) &&
      std::filesystem::path(folder).filename().string() == text) {
    KillTimer(dialog, timer);
    FolderChoices().erase(dialog);
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    return;
  }
  SendMessageA(dialog, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(folder.c_str()));
}

DialogAction ChooseFolder(const std::string& folder) {
  return [folder](HWND dialog) {
    FolderChoices()[dialog] = folder;
    SetTimer(dialog, 1, 20, ChooseFolderTick);
  };
}

DialogAction PickDrive(char letter, int button) {
  return [letter, button](HWND dialog) {
    const char entry[3] = {letter, ':', '\0'};
    SendDlgItemMessageA(dialog, IDC_DRIVE_LIST, CB_SELECTSTRING, static_cast<WPARAM>(-1),
                        reinterpret_cast<LPARAM>(entry));
    PostMessageA(dialog, WM_COMMAND, static_cast<WPARAM>(button), 0);
  };
}

MessageLog::MessageLog(HWND window, std::set<UINT> messages) : window_(window), wanted_(std::move(messages)) {
  Logs()[window_] = this;
  previous_ = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&MessageLog::Proc)));
}

MessageLog::~MessageLog() {
  SetWindowLongPtrA(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous_));
  Logs().erase(window_);
}

LRESULT CALLBACK MessageLog::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  MessageLog* self = Logs().at(window);
  if (self->wanted_.count(message)) {
    LoggedMessage entry{message, wParam, lParam, {}};
    // Message numbers above WM_USER mean different things to different
    // controls: SB_SETTEXTA is PBM_SETRANGE to a progress bar.
    if (message == SB_SETTEXTA && ClassOf(window) == STATUSCLASSNAMEA) {
      entry.text = reinterpret_cast<const char*>(lParam);
    }
    self->log_.push_back(std::move(entry));
  }
  return CallWindowProcA(self->previous_, window, message, wParam, lParam);
}

void MainWindowTest::SetUp() {
  ui::g_shell = ui::ShellState{};
  window = app::StartMainWindow(GetModuleHandleA(nullptr), SW_SHOWNORMAL);
  ASSERT_NE(window, nullptr);
}

void MainWindowTest::TearDown() {
  if (IsWindow(window)) DestroyWindow(window);
  // The window's end posts the quit message; left in the queue it would end
  // the next test's modal loops at once.
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
  }
}

void MainWindowTest::Command(int id) { SendMessageA(window, WM_COMMAND, static_cast<WPARAM>(id), 0); }

void MainWindowTest::SelectRows(std::initializer_list<int> rows) {
  for (int row : rows) {
    LVITEMA item{};
    item.stateMask = LVIS_SELECTED;
    item.state = LVIS_SELECTED;
    SendMessageA(ui::g_shell.recordList, LVM_SETITEMSTATE, static_cast<WPARAM>(row),
                 reinterpret_cast<LPARAM>(&item));
  }
}

void MainWindowTest::Resize(int clientWidth, int clientHeight) {
  SendMessageA(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(clientWidth, clientHeight));
}

void MainWindowTest::ScanImage(const test::DiscImage& image) {
  MapDiscImage(image);
  DialogScript script;
  script.Then(PickDrive(kMoDrive));
  Command(IDM_SELECT_DRIVE);
  // Only the drive dialog: a scan of a mapped image shows no error box.
  ASSERT_EQ(script.seen().size(), 1u) << script.seen().back().text;
  ASSERT_EQ(script.seen()[0].title, "Select Drive/Volume");
}

int MainWindowTest::RowCount() const {
  return static_cast<int>(SendMessageA(ui::g_shell.recordList, LVM_GETITEMCOUNT, 0, 0));
}

std::string MainWindowTest::Cell(int row, int subItem) const {
  char text[64] = "";
  LVITEMA item{};
  item.iSubItem = subItem;
  item.pszText = text;
  item.cchTextMax = sizeof text;
  SendMessageA(ui::g_shell.recordList, LVM_GETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
  return text;
}

LPARAM MainWindowTest::RowData(int row) const {
  LVITEMA item{};
  item.mask = LVIF_PARAM;
  item.iItem = row;
  if (!SendMessageA(ui::g_shell.recordList, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item))) return -1;
  return item.lParam;
}

std::string MainWindowTest::Title() const { return WindowText(window); }

std::string MainWindowTest::StatusText() const {
  char text[64] = "";
  SendMessageA(ui::g_shell.statusBar, SB_GETTEXTA, 0, reinterpret_cast<LPARAM>(text));
  return text;
}

int MainWindowTest::ProgressPos() const {
  return static_cast<int>(SendMessageA(ui::g_shell.progressBar, PBM_GETPOS, 0, 0));
}

PBRANGE MainWindowTest::ProgressRange() const {
  PBRANGE range{};
  SendMessageA(ui::g_shell.progressBar, PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(&range));
  return range;
}

UINT MainWindowTest::MenuItemState(int commandId) {
  // What the window gets when the user opens the menus, one popup after another.
  const HMENU bar = GetMenu(window);
  std::vector<HMENU> popups;
  for (int i = 0; i < GetMenuItemCount(bar); ++i) {
    const HMENU popup = GetSubMenu(bar, i);
    popups.push_back(popup);
    for (int k = 0; k < GetMenuItemCount(popup); ++k) {
      if (const HMENU sub = GetSubMenu(popup, k)) popups.push_back(sub);
    }
  }
  for (int i = 0; i < static_cast<int>(popups.size()); ++i) {
    SendMessageA(window, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(popups[i]), MAKELPARAM(i, FALSE));
  }
  return GetMenuState(bar, static_cast<UINT>(commandId), MF_BYCOMMAND);
}

}  // namespace zep::uitest
