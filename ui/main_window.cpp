#include "ui/main_window.h"

#include <commctrl.h>

#include <array>
#include <string>

#include "ui/background_job.h"
#include "ui/commands.h"
#include "ui/layout.h"
#include "ui/shell_state.h"

namespace zep::ui {
namespace {

struct ColumnSpec {
  const char* title;
  int width;  // until the first resize sets the shares
};

constexpr std::array<ColumnSpec, 6> kColumns = {{
    {"Record No.", 70},
    {"Name", 80},
    {"Date", 70},
    {"Start", 45},
    {"End", 45},
    {"Pings", 60},
}};

HWND CreateChild(const char* className, DWORD style, int x, int y, int width, int height, HWND parent) {
  return CreateWindowExA(0, className, "", style, x, y, width, height, parent, nullptr, g_shell.instance, nullptr);
}

void InsertColumns(HWND list) {
  for (int c = 0; c < static_cast<int>(kColumns.size()); ++c) {
    LVCOLUMNA column{};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.fmt = LVCFMT_LEFT;
    column.cx = kColumns[c].width;
    column.pszText = const_cast<char*>(kColumns[c].title);
    column.iSubItem = c;
    SendMessageA(list, LVM_INSERTCOLUMNA, c, reinterpret_cast<LPARAM>(&column));
  }
}

}  // namespace

LRESULT OnCreate(HWND window) {
  // The status bar docks itself at the bottom at its own height, whatever it
  // is created with.
  g_shell.statusBar = CreateChild(STATUSCLASSNAMEA, WS_CHILD | WS_VISIBLE, -100, -100, 10, 10, window);
  g_shell.progressBar = CreateChild(PROGRESS_CLASSA, WS_CHILD | WS_VISIBLE, kProgressBarX, kProgressBarY, 500,
                                    kProgressBarHeight, g_shell.statusBar);
  g_shell.recordList = CreateChild(WC_LISTVIEWA, WS_CHILD | LVS_REPORT | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER, 0, 0,
                                   300, 150, window);
  SendMessageA(g_shell.recordList, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT);
  InsertColumns(g_shell.recordList);
  SendMessageA(g_shell.recordList, LVM_SETITEMCOUNT, kSelectionRows, 0);
  ShowWindow(g_shell.recordList, SW_SHOW);
  DragAcceptFiles(window, TRUE);  // a disc image dropped onto the window is opened
  return 0;
}

LRESULT OnDropFiles(HWND window, HDROP drop) {
  if (JobRunning()) {  // the job reads the source: it stays until the job ends
    DragFinish(drop);
    return 0;
  }
  // One disc at a time: of several files dropped, the first is opened.
  const UINT length = DragQueryFileW(drop, 0, nullptr, 0);
  std::wstring path(length, L'\0');
  const bool got = length > 0 && DragQueryFileW(drop, 0, path.data(), length + 1) == length;
  DragFinish(drop);
  if (got) ScanImageIntoList(window, path);
  return 0;
}

void LayoutChildren(int width, int height) {
  RECT status{};
  GetClientRect(g_shell.statusBar, &status);
  const Layout layout = ComputeLayout(width, height, status.bottom - status.top);

  SetWindowPos(g_shell.recordList, nullptr, 0, 0, layout.listWidth, layout.listHeight, SWP_NOZORDER);
  int edges[2] = {layout.statusPartEdges[0], layout.statusPartEdges[1]};
  SendMessageA(g_shell.statusBar, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(edges));
  SendMessageA(g_shell.statusBar, WM_SIZE, 0, 0);
  SetWindowPos(g_shell.progressBar, nullptr, 0, 0, layout.progressBarWidth, kProgressBarHeight,
               SWP_NOMOVE | SWP_NOZORDER);
  for (int c = 0; c < static_cast<int>(layout.columnWidths.size()); ++c) {
    SendMessageA(g_shell.recordList, LVM_SETCOLUMNWIDTH, c, MAKELPARAM(layout.columnWidths[c], 0));
  }
}

LRESULT OnGetMinMaxInfo(HWND window, WPARAM wParam, LPARAM lParam) {
  auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
  info->ptMinTrackSize.x = kMinTrackWidth;
  info->ptMinTrackSize.y = kMinTrackHeight;
  // The window is no MDI child: the MDI default finds no MDI client above it
  // and leaves the rest to the ordinary default, which sets the maximized size
  // and the maximum tracking size (checked under Wine by the window tests).
  return DefMDIChildProcA(window, WM_GETMINMAXINFO, wParam, lParam);
}

LRESULT OnHelp(HWND window) {
  WinHelpA(window, kHelpFile, HELP_FINDER, 0);
  return 0;
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      return OnCreate(window);
    case WM_DESTROY:
      EndJobWithWindow();
      PostQuitMessage(0);
      return 0;
    case WM_SIZE:
      LayoutChildren(LOWORD(lParam), HIWORD(lParam));
      return DefWindowProcA(window, message, wParam, lParam);
    case WM_GETMINMAXINFO:
      return OnGetMinMaxInfo(window, wParam, lParam);
    case WM_NOTIFY:
      return OnNotify(reinterpret_cast<const NMHDR*>(lParam));
    case WM_HELP:
      return OnHelp(window);
    case WM_COMMAND:
      if (OnCommand(window, LOWORD(wParam))) return 0;
      return DefWindowProcA(window, message, wParam, lParam);
    case WM_DROPFILES:
      return OnDropFiles(window, reinterpret_cast<HDROP>(wParam));
    case WM_INITMENUPOPUP:
      UpdateMenuState(reinterpret_cast<HMENU>(wParam));
      return 0;
    case kJobProgressMessage:
      OnJobProgress();
      return 0;
    case kJobDoneMessage:
      OnJobDone(window);
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

}  // namespace zep::ui
