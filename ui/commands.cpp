#include "ui/commands.h"

#include <commctrl.h>

#include "disc/scan.h"
#include "res/resource.h"
#include "ui/conversion.h"
#include "ui/dialogs.h"
#include "ui/shell_state.h"

namespace zep::ui {
namespace {

void FillList(HWND list, const std::vector<ListRow>& rows) {
  for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
    const ListRow& row = rows[static_cast<std::size_t>(i)];
    LVITEMA item{};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = i;
    item.iSubItem = 0;
    item.pszText = const_cast<char*>(row.cells[0].c_str());
    item.lParam = row.slot;  // rows map back to slots only through this
    SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
    for (int sub = 1; sub < static_cast<int>(row.cells.size()); ++sub) {
      LVITEMA cell{};
      cell.mask = LVIF_TEXT;
      cell.iItem = i;
      cell.iSubItem = sub;
      cell.pszText = const_cast<char*>(row.cells[static_cast<std::size_t>(sub)].c_str());
      SendMessageA(list, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&cell));
    }
  }
}

}  // namespace

void RecomputeSelectionFlags() {
  const LRESULT count = SendMessageA(g_shell.recordList, LVM_GETITEMCOUNT, 0, 0);
  for (int i = 0; i < kSelectionRows; ++i) {
    const bool selected =
        i < count && SendMessageA(g_shell.recordList, LVM_GETITEMSTATE, i, LVIS_SELECTED) == LVIS_SELECTED;
    g_shell.selection[static_cast<std::size_t>(i)] = selected ? 1 : 0;
  }
}

void RefreshSelectionTable() {
  RecomputeSelectionFlags();
  SendMessageA(g_shell.progressBar, PBM_SETPOS, 0, 0);
}

LRESULT OnNotify(const NMHDR* header) {
  if (header->code == LVN_ITEMCHANGED) RefreshSelectionTable();
  return 0;
}

void UpdateMenuState(HMENU popup) {
  const MenuState state = ComputeMenuState(g_shell.selection, g_shell.sourceType);
  // By command: in a popup without these items the calls change nothing.
  EnableMenuItem(popup, IDM_CONVERT, MF_BYCOMMAND | (state.convertEnabled ? MF_ENABLED : MF_GRAYED));
  CheckMenuRadioItem(popup, IDM_SOURCE_TK40, IDM_SOURCE_ZEPV1, state.checkedSourceItem, MF_BYCOMMAND);
}

void ScanDriveIntoList(HWND window, char driveLetter) {
  SendMessageA(g_shell.recordList, LVM_DELETEALLITEMS, 0, 0);
  const ScanResult scan = ScanDisc([driveLetter] { return OpenDiscVolume(driveLetter); }, driveLetter,
                                   g_shell.sourceType, g_shell.directory, kScanDumpPath);
  if (!scan.message.empty()) MessageBoxA(window, scan.message.c_str(), "Error", MB_OK);
  FillList(g_shell.recordList, scan.rows);
  if (scan.titleChanged) SetWindowTextA(window, scan.title.c_str());
  // The list does not always report its clearing and refilling; flags left
  // from the earlier rows would convert records nobody selected.
  RecomputeSelectionFlags();
}

void SelectDriveAndScan(HWND window) {
  g_shell.driveLetter = static_cast<char>(ChooseDrive(window) & 0xFF);
  ScanDriveIntoList(window, g_shell.driveLetter);
}

bool OnCommand(HWND window, int commandId) {
  switch (commandId) {
    case IDM_ABOUT:
      ShowAboutBox(window);
      return true;
    case IDM_EXIT:
      DestroyWindow(window);
      return true;
    case IDM_CONVERT:
      ConvertSelectedRecords(window);
      return true;
    case IDM_SELECT_DRIVE:
      SelectDriveAndScan(window);
      return true;
    case IDM_CONTENTS:
      SplitLastScanDump(window);
      return true;
    case IDM_SOURCE_TK40:
      g_shell.sourceType = SourceType::Tk40;  // the list keeps what the last scan read
      return true;
    case IDM_SOURCE_ZEPV1:
      g_shell.sourceType = SourceType::ZepV1;
      return true;
    default:
      return false;
  }
}

}  // namespace zep::ui
