#include "ui/check_window.h"

#include <commctrl.h>
#include <commdlg.h>

#include <memory>
#include <span>

#include "disc/file.h"
#include "res/resource.h"
#include "ui/shell_state.h"

namespace zep::ui {
namespace {

constexpr int kMargin = 6, kLineHeight = 18, kButtonWidth = 80, kButtonHeight = 24;
// "units" becomes the source type's: blocks or sectors.
constexpr std::array<std::pair<const char*, int>, 6> kColumns = {{
    {"Record", 55}, {"Name", 90}, {"Verdict", 80}, {"Whole units", 95}, {"Unreadable units", 150}, {"Pings", 60}}};

HWND g_checkWindow = nullptr;

CheckReport* ReportOf(HWND window) { return reinterpret_cast<CheckReport*>(GetWindowLongPtrA(window, GWLP_USERDATA)); }

std::string DumpAreaText(const AreaHealth& d) {
  if (d.readable()) return "dump area readable";
  if (d.beyondEnd == d.pieces) return "dump area past the end of the volume";
  return "dump area: " + std::to_string(d.unreadable) + " of " + std::to_string(d.pieces) + " pieces unreadable, " +
         std::to_string(d.beyondEnd) + " past the end";
}

void FillCheckList(HWND list, const CheckReport& report) {
  const std::vector<CheckRow> rows = CheckRows(report);
  for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
    for (int sub = 0; sub < static_cast<int>(kColumns.size()); ++sub) {
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

void OnCreateCheckWindow(HWND window, const CheckReport& report) {
  Child(window, "STATIC", CheckDiscLine(report).c_str(), SS_NOPREFIX | SS_LEFTNOWORDWRAP, IDC_CHECK_DISC_LINE);
  const HWND list = Child(window, WC_LISTVIEWA, "", LVS_REPORT | LVS_NOSORTHEADER | WS_BORDER, IDC_CHECK_LIST);
  SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT);
  const std::string unit = report.type == SourceType::Tk40 ? "blocks" : "sectors";
  for (int c = 0; c < static_cast<int>(kColumns.size()); ++c) {
    std::string title = kColumns[c].first;
    if (const std::size_t at = title.find("units"); at != std::string::npos) title.replace(at, 5, unit);
    LVCOLUMNA column{};
    column.mask = LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.cx = kColumns[c].second;
    column.pszText = title.data();
    column.iSubItem = c;
    SendMessageA(list, LVM_INSERTCOLUMNA, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(&column));
  }
  FillCheckList(list, report);
  Child(window, "BUTTON", "Save...", BS_PUSHBUTTON | WS_TABSTOP, IDC_CHECK_SAVE);
  const HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  for (int id : {IDC_CHECK_DISC_LINE, IDC_CHECK_LIST, IDC_CHECK_SAVE}) {
    SendDlgItemMessageA(window, id, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  }
}

void LayOutCheckWindow(HWND window, int width, int height) {
  const int inner = std::max(0, width - 2 * kMargin);
  SetWindowPos(GetDlgItem(window, IDC_CHECK_DISC_LINE), nullptr, kMargin, kMargin, inner, kLineHeight, SWP_NOZORDER);
  const int listTop = kMargin + kLineHeight + kMargin;
  const int buttonTop = height - kMargin - kButtonHeight;
  SetWindowPos(GetDlgItem(window, IDC_CHECK_LIST), nullptr, kMargin, listTop, inner,
               std::max(0, buttonTop - kMargin - listTop), SWP_NOZORDER);
  SetWindowPos(GetDlgItem(window, IDC_CHECK_SAVE), nullptr, width - kMargin - kButtonWidth, buttonTop, kButtonWidth,
               kButtonHeight, SWP_NOZORDER);
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
  wc.lpfnWndProc = CheckWindowProc;
  wc.hInstance = g_shell.instance;
  wc.hIcon = LoadIconA(g_shell.instance, MAKEINTRESOURCEA(IDI_PROGRAM));
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kCheckWindowClass;
  RegisterClassExA(&wc);  // the second time it is there already
}

}  // namespace

std::string UnitRanges(const std::vector<UnitRun>& runs) {
  std::string text;
  for (const UnitRun& r : runs) {
    if (!text.empty()) text += ", ";
    text += std::to_string(r.first);
    if (r.count > 1) text += "-" + std::to_string(r.first + r.count - 1);
  }
  return text.empty() ? "-" : text;
}

std::vector<CheckRow> CheckRows(const CheckReport& report) {
  std::vector<CheckRow> rows;
  for (const RecordHealth& h : report.health.records) {
    rows.push_back({std::to_string(h.slot + 1), RecordName(report.dir, h.slot, report.type), VerdictName(h.verdict),
                    std::to_string(h.wholeUnits) + " of " + std::to_string(h.units), UnitRanges(h.unreadable),
                    std::to_string(h.pings)});
  }
  return rows;
}

std::string CheckDiscLine(const CheckReport& report) {
  const std::string label = HasLabel(report.dir) ? "label " + RecordName(report.dir, kLabelSlot, report.type) : "no label";
  std::string line = std::string(SourceTypeName(report.type)) + " disc  \xB7  " + label + "  \xB7  " +
                     DumpAreaText(report.health.dump);
  const std::optional<SourceType> looksLike = report.evidence.type();
  if (looksLike && *looksLike != report.type) line += "  \xB7  it looks like " + report.evidence.Describe();
  if (report.directoryProblem) line += "  \xB7  directory not read whole: " + report.directoryProblem->what;
  return line;
}

HWND ShowCheckWindow(HWND owner, const CheckReport& report) {
  RegisterCheckWindowClass();
  if (g_checkWindow) DestroyWindow(g_checkWindow);
  const std::string title = "Check - " + report.source;
  g_checkWindow = CreateWindowExA(0, kCheckWindowClass, title.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0, 640, 360,
                                  owner, nullptr, g_shell.instance, const_cast<CheckReport*>(&report));
  ShowWindow(g_checkWindow, SW_SHOW);
  return g_checkWindow;
}

HWND CheckWindow() { return g_checkWindow; }

std::optional<Problem> SaveCheckReport(const CheckReport& report, const std::string& path) {
  const std::string json = CheckReportJson(report);
  OutputFile file = OutputFile::Create(path);
  if (file.open()) {
    file.Write(std::span(reinterpret_cast<const std::uint8_t*>(json.data()), json.size()));
    if (file.Close()) return std::nullopt;
  }
  return Problem{.subject = "", .what = file.error(), .kind = ProblemKind::kWriteFailed};
}

}  // namespace zep::ui
