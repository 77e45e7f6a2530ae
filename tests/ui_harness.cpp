#include "tests/ui_harness.h"

#include <objbase.h>
#include <shlobj.h>

#include <cstring>
#include <filesystem>

#include "app/startup.h"
#include "res/resource.h"
#include "ui/shell_state.h"

namespace zep::uitest {
namespace {

thread_local DialogScript* t_script = nullptr;
thread_local RunLog* t_log = nullptr;

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
  auto* texts = reinterpret_cast<std::string*>(param);
  // An icon's text is its resource id, not something a user reads.
  const bool isIcon = (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON;
  const std::string text = WindowText(child);
  if (_stricmp(ClassOf(child).c_str(), "Static") == 0 && !isIcon && !text.empty()) {
    *texts += (texts->empty() ? "" : "\n") + text;
  }
  return TRUE;
}

// The folder browser may still be filling its tree when it is activated, and
// a selection asked for before that is lost: a timer asks again until the
// folder is the selected item, then accepts it.
void CALLBACK ChooseFolderTick(HWND dialog, UINT, UINT_PTR, DWORD) {
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
    return;
  }
  SendMessageA(dialog, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(folder->c_str()));
}

LRESULT CALLBACK RunLogProc(HWND bar, UINT message, WPARAM wParam, LPARAM lParam) {
  // Message numbers above WM_USER mean different things to different
  // controls: SB_SETTEXTA is PBM_SETRANGE to a progress bar.
  if (bar == ui::g_shell.statusBar && message == SB_SETTEXTA) {
    t_log->log.push_back({message, wParam, 0, reinterpret_cast<const char*>(lParam)});
  } else if (bar == ui::g_shell.progressBar && (message == PBM_SETRANGE || message == PBM_SETPOS)) {
    t_log->log.push_back({message, wParam, lParam, ""});
  }
  return CallWindowProcA(reinterpret_cast<WNDPROC>(GetPropA(bar, "ZepProc")), bar, message, wParam, lParam);
}

}  // namespace

std::string WindowText(HWND window) {
  char text[1024] = "";
  GetWindowTextA(window, text, sizeof text);
  return text;
}

std::string StaticTexts(HWND dialog) {
  std::string texts;
  EnumChildWindows(dialog, CollectStatic, reinterpret_cast<LPARAM>(&texts));
  return texts;
}

DialogScript::DialogScript(std::vector<DialogAction> actions) : actions_(actions.begin(), actions.end()) {
  t_script = this;
  hook_ = SetWindowsHookExA(WH_CBT, CbtProc, nullptr, GetCurrentThreadId());
}

DialogScript::~DialogScript() {
  UnhookWindowsHookEx(hook_);
  t_script = nullptr;
}

void DialogScript::OnActivate(HWND window) {
  if (ClassOf(window) != "#32770" || !answered_.insert(window).second) return;
  SeenDialog seen{.title = WindowText(window), .text = StaticTexts(window)};
  const HWND combo = GetDlgItem(window, IDC_DRIVE_LIST);
  const int count = combo ? static_cast<int>(SendMessageA(combo, CB_GETCOUNT, 0, 0)) : 0;
  for (int i = 0; i < count; ++i) {
    char item[16] = "";
    SendMessageA(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item));
    seen.comboItems.push_back(item);
  }
  seen_.push_back(std::move(seen));
  if (actions_.empty()) return Press(IDCANCEL)(window);
  const DialogAction action = std::move(actions_.front());
  actions_.pop_front();
  action(window);
}

DialogAction Press(int id) {
  return [id](HWND dialog) { PostMessageA(dialog, WM_COMMAND, static_cast<WPARAM>(id), 0); };
}

DialogAction ChooseFolder(const std::string& folder) {
  return [folder](HWND dialog) {
    SetPropA(dialog, "ZepFolder", new std::string(folder));
    SetTimer(dialog, 1, 20, ChooseFolderTick);
  };
}

DialogAction PickDrive(char letter, int button) {
  return [letter, button](HWND dialog) {
    const char entry[3] = {letter, ':', '\0'};
    SendDlgItemMessageA(dialog, IDC_DRIVE_LIST, CB_SELECTSTRING, static_cast<WPARAM>(-1),
                        reinterpret_cast<LPARAM>(entry));
    Press(button)(dialog);
  };
}

HWND WaitFor(const std::function<HWND()>& found) {
  for (int i = 0; i < 400; ++i) {
    if (const HWND window = found()) return window;
    Sleep(50);
  }
  return nullptr;
}

HWND TopWindow(DWORD process, const char* className, const char* title) {
  for (HWND window = nullptr; (window = FindWindowExA(nullptr, window, className, title));) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if ((!process || owner == process) && IsWindowVisible(window)) return window;
  }
  return nullptr;
}

RunLog::RunLog() {
  t_log = this;
  for (const HWND bar : {ui::g_shell.statusBar, ui::g_shell.progressBar}) {
    const LONG_PTR previous = SetWindowLongPtrA(bar, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&RunLogProc));
    SetPropA(bar, "ZepProc", reinterpret_cast<HANDLE>(previous));
  }
}

RunLog::~RunLog() {
  for (const HWND bar : {ui::g_shell.statusBar, ui::g_shell.progressBar}) {
    SetWindowLongPtrA(bar, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RemovePropA(bar, "ZepProc")));
  }
  t_log = nullptr;
}

void MainWindowTest::SetUp() {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);  // for the folder browser, as the program has
  ui::g_shell = ui::ShellState{};
  window = app::StartMainWindow(GetModuleHandleA(nullptr), SW_SHOWNORMAL);
  ASSERT_NE(window, nullptr);
}

void MainWindowTest::TearDown() {
  if (IsWindow(window)) DestroyWindow(window);
  // The window's end posts the quit message; left in the queue it would end
  // the next test's modal loops at once.
  for (MSG msg; PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);) continue;
}

void MainWindowTest::Command(int id) { SendMessageA(window, WM_COMMAND, static_cast<WPARAM>(id), 0); }

void MainWindowTest::SelectRows(std::initializer_list<int> rows) {
  for (int row : rows) {
    LVITEMA item{.state = LVIS_SELECTED, .stateMask = LVIS_SELECTED};
    SendMessageA(ui::g_shell.recordList, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
  }
}

void MainWindowTest::ScanImage(const test::DiscImage& image) {
  image.WriteFile(kDriveImagePath);
  DialogScript script({PickDrive('M')});
  Command(IDM_SELECT_DRIVE);
  // Only the drive dialog: a scan of a mapped image shows no error box.
  ASSERT_EQ(script.seen().size(), 1u) << (script.seen().empty() ? "" : script.seen().back().text);
  ASSERT_EQ(script.seen()[0].title, "Select Drive/Volume");
}

std::string MainWindowTest::Cell(int row, int subItem) const {
  char text[64] = "";
  LVITEMA item{.iSubItem = subItem, .pszText = text, .cchTextMax = sizeof text};
  SendMessageA(ui::g_shell.recordList, LVM_GETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
  return text;
}

UINT MainWindowTest::MenuItemState(int commandId) {
  // What the window gets when the user opens each menu; it sets the items by
  // command, those of submenus included.
  const HMENU bar = GetMenu(window);
  for (int i = 0; i < GetMenuItemCount(bar); ++i) {
    SendMessageA(window, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(GetSubMenu(bar, i)), MAKELPARAM(i, FALSE));
  }
  return GetMenuState(bar, static_cast<UINT>(commandId), MF_BYCOMMAND);
}

}  // namespace zep::uitest
