#include "ui/dialogs.h"

#include <commdlg.h>

#include "res/resource.h"
#include "ui/shell_state.h"

namespace zep::ui {
namespace {

bool IsOkOrCancel(WPARAM wParam) { return LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL; }

}  // namespace

std::vector<std::string> DriveEntries(std::uint32_t driveMask) {
  std::vector<std::string> entries;
  for (int bit = 0; bit < 26; ++bit) {
    if (driveMask & (1u << bit)) entries.push_back({static_cast<char>('A' + bit), ':'});
  }
  return entries;
}

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      return TRUE;
    case WM_COMMAND:
      if (!IsOkOrCancel(wParam)) return FALSE;
      EndDialog(dialog, LOWORD(wParam));
      return TRUE;
    default:
      return FALSE;
  }
}

INT_PTR CALLBACK SelectDriveDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG: {
      const HWND list = GetDlgItem(dialog, IDC_DRIVE_LIST);
      for (const std::string& entry : DriveEntries(GetLogicalDrives())) {
        SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
      }
      SendMessageA(list, CB_SETCURSEL, 0, 0);
      return TRUE;
    }
    case WM_COMMAND: {
      // There is no way back: Esc and the close box take the selected drive too.
      if (!IsOkOrCancel(wParam)) return FALSE;
      char text[4] = "";
      GetDlgItemTextA(dialog, IDC_DRIVE_LIST, text, sizeof text);
      EndDialog(dialog, static_cast<unsigned char>(text[0]));
      return TRUE;
    }
    default:
      return FALSE;
  }
}

void ShowAboutBox(HWND owner) {
  DialogBoxParamA(g_shell.instance, MAKEINTRESOURCEA(IDD_ABOUT), owner, AboutDialogProc, 0);
}

INT_PTR ChooseDrive(HWND owner) {
  return DialogBoxParamA(g_shell.instance, MAKEINTRESOURCEA(IDD_SELECT_DRIVE), owner, SelectDriveDialogProc, 0);
}

std::optional<std::string> ChooseDiscImage(HWND owner) {
  char path[MAX_PATH] = "";
  OPENFILENAMEA open{};
  open.lStructSize = sizeof open;
  open.hwndOwner = owner;
  open.lpstrFilter = "Disc images (*.img;*.iso;*.bin;*.dd)\0*.img;*.iso;*.bin;*.dd\0All files (*.*)\0*.*\0";
  open.nFilterIndex = 1;
  open.lpstrFile = path;
  open.nMaxFile = sizeof path;
  open.lpstrTitle = "Open Disc Image";
  // The program's working folder stays where it started.
  open.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
  if (!GetOpenFileNameA(&open)) return std::nullopt;
  return std::string(path);
}

}  // namespace zep::ui
