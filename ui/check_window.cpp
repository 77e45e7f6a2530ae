#include "ui/check_window.h"

#include <commctrl.h>
#include <commdlg.h>

#include <memory>
#include <span>

#include "disc/file.h"
#include "disc/text_file.h"
#include "res/resource.h"
#include "ui/shell_state.h"

namespace zep::ui {
namespace {

// The list's cells keep this much room beside their text, as the list's own
// autosize does.
constexpr int kCellPadding = 16;

HWND g_checkWindow = nullptr;

CheckReport* ReportOf(HWND window) { return reinterpret_cast<CheckReport*>(GetWindowLongPtrA(window, GWLP_USERDATA)); }

void FillCheckList(HWND list, const CheckReport& report) {
  const std::vector<CheckRow> rows = CheckRows(report);
  for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
    for (int sub = 0; sub < kCheckColumns; ++sub) {
      LVITEMA item{};
      item.mask = LVIF_TEXT;
      item.iItem = i;
      item.iSubItem = sub;
      item.pszText = const_cast<char*>(rows[static_cast<std::size_t>(i)][static_cast<std::size_t>(sub)].c_str());
      SendMessageA(list, sub == 0 ? LVM_INSERTITEMA : LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    }
  }
}

HWND Child(HWND parent, const char* className, const char* text, DWORD style, int id) {
  return CreateWindowExA(0, className, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 10, 10, parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), g_shell.instance, nullptr);
}

// Each column as wide as its widest cell or title, in the list's own font.
void FitColumns(HWND list, const CheckRow& titles, const std::vector<CheckRow>& rows) {
  const auto measure = [list](const std::string& text) {
    return static_cast<int>(SendMessageA(list, LVM_GETSTRINGWIDTHA, 0, reinterpret_cast<LPARAM>(text.c_str())));
  };
  const auto widths = FitColumnWidths(titles, rows, measure, kCellPadding);
  for (int c = 0; c < kCheckColumns; ++c) {
    SendMessageA(list, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(c), MAKELPARAM(widths[static_cast<std::size_t>(c)], 0));
  }
}

void OnCreateCheckWindow(HWND window, const CheckReport& report) {
  Child(window, "STATIC", CheckDiscLine(report).c_str(), SS_NOPREFIX | SS_LEFTNOWORDWRAP, IDC_CHECK_DISC_LINE);
  const HWND list =
      Child(window, WC_LISTVIEWA, "", LVS_REPORT | LVS_NOSORTHEADER | WS_BORDER | WS_TABSTOP, IDC_CHECK_LIST);
  SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT);
  CheckRow titles = CheckColumnTitles(report.type);
  for (int c = 0; c < kCheckColumns; ++c) {
    LVCOLUMNA column{};
    column.mask = LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.cx = 50;  // until the text is in and measured
    column.pszText = titles[static_cast<std::size_t>(c)].data();
    column.iSubItem = c;
    SendMessageA(list, LVM_INSERTCOLUMNA, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(&column));
  }
  FillCheckList(list, report);
  Child(window, "BUTTON", "Save...", BS_PUSHBUTTON | WS_TABSTOP, IDC_CHECK_SAVE);
  Child(window, "BUTTON", "Close", BS_PUSHBUTTON | WS_TABSTOP, IDCANCEL);
  const HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  for (int id : {IDC_CHECK_DISC_LINE, IDC_CHECK_LIST, IDC_CHECK_SAVE, IDCANCEL}) {
    SendDlgItemMessageA(window, id, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  }
  FitColumns(list, titles, CheckRows(report));  // in the font the list shows
}

void Place(HWND window, int id, const Box& box) {
  SetWindowPos(GetDlgItem(window, id), nullptr, box.x, box.y, box.width, box.height, SWP_NOZORDER);
}

void LayOutCheckWindow(HWND window, int width, int height) {
  const CheckLayout layout = ComputeCheckLayout(width, height);
  Place(window, IDC_CHECK_DISC_LINE, layout.discLine);
  Place(window, IDC_CHECK_LIST, layout.list);
  Place(window, IDC_CHECK_SAVE, layout.save);
  Place(window, IDCANCEL, layout.close);
  // The buttons move over what the window painted before: all of it anew.
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

// The Save dialog, then the file; a failure in the program's "Error" box.
void SaveFromWindow(HWND window) {
  char path[MAX_PATH] = "check.json";
  OPENFILENAMEA save{};
  save.lStructSize = sizeof save;
  save.hwndOwner = window;
  save.lpstrFilter = "Check report (*.json)\0*.json\0All files (*.*)\0*.*\0";
  save.nFilterIndex = 1;
  save.lpstrFile = path;
  save.nMaxFile = sizeof path;
  save.lpstrTitle = "Save Check Report";
  save.lpstrDefExt = "json";
  save.Flags = OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
  if (!GetSaveFileNameA(&save)) return;
  if (const auto problem = SaveCheckReport(*ReportOf(window), path)) {
    MessageBoxA(window, problem->Text().c_str(), "Error", MB_OK);
  }
}

LRESULT CALLBACK CheckWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE: {
      // The window's own copy, deleted with it.
      const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
      auto* report = new CheckReport(*static_cast<const CheckReport*>(create->lpCreateParams));
      SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(report));
      OnCreateCheckWindow(window, *report);
      return 0;
    }
    case WM_SIZE:
      LayOutCheckWindow(window, LOWORD(lParam), HIWORD(lParam));
      return 0;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDC_CHECK_SAVE) SaveFromWindow(window);
      if (LOWORD(wParam) == IDCANCEL) DestroyWindow(window);  // Close, and Esc
      return 0;
    case WM_NCDESTROY:
      delete ReportOf(window);
      if (g_checkWindow == window) g_checkWindow = nullptr;
      return DefWindowProcA(window, message, wParam, lParam);
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

void RegisterCheckWindowClass() {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = CheckWindowProc;
  wc.hInstance = g_shell.instance;
  wc.hIcon = LoadIconA(g_shell.instance, MAKEINTRESOURCEA(IDI_PROGRAM));
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kCheckWindowClass;
  RegisterClassExA(&wc);  // the second time it is there already
}

// Wide enough for every column, where the screen has room; the list scrolls
// sideways beyond that.
void WidenToColumns(HWND window) {
  const HWND list = GetDlgItem(window, IDC_CHECK_LIST);
  int columns = 0;
  for (int c = 0; c < kCheckColumns; ++c) columns += static_cast<int>(SendMessageA(list, LVM_GETCOLUMNWIDTH, c, 0));
  RECT client{}, outer{}, work{};
  GetClientRect(window, &client);  // the list may not be laid out yet
  GetWindowRect(window, &outer);
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  const int listWidth = ComputeCheckLayout(client.right, client.bottom).list.width;
  const int wanted = (outer.right - outer.left) - listWidth + columns + 2 * GetSystemMetrics(SM_CXBORDER) +
                     GetSystemMetrics(SM_CXVSCROLL);
  const int width = std::min<int>(wanted, work.right - work.left);
  if (width > outer.right - outer.left) {
    SetWindowPos(window, nullptr, 0, 0, width, outer.bottom - outer.top, SWP_NOMOVE | SWP_NOZORDER);
  }
}

}  // namespace

HWND ShowCheckWindow(HWND owner, const CheckReport& report) {
  RegisterCheckWindowClass();
  if (g_checkWindow) DestroyWindow(g_checkWindow);
  const std::string title = "Check - " + report.source;
  g_checkWindow = CreateWindowExA(0, kCheckWindowClass, title.c_str(), WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                                  CW_USEDEFAULT, 0, 640, 360, owner, nullptr, g_shell.instance,
                                  const_cast<CheckReport*>(&report));
  WidenToColumns(g_checkWindow);
  ShowWindow(g_checkWindow, SW_SHOW);
  return g_checkWindow;
}

HWND CheckWindow() { return g_checkWindow; }

bool IsCheckWindowMessage(MSG* msg) { return g_checkWindow && IsDialogMessageA(g_checkWindow, msg); }

std::optional<Problem> SaveCheckReport(const CheckReport& report, const std::string& path) {
  return WriteTextFile(path, CheckReportJson(report));
}

}  // namespace zep::ui
