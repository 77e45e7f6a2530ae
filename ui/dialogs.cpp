#include "ui/dialogs.h"

#include <commdlg.h>

#include <algorithm>
#include <span>

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

namespace {

OPENFILENAMEA DiscImageDialog(HWND owner, std::span<char> buffer, const char* title) {
  OPENFILENAMEA open{};
  open.lStructSize = sizeof open;
  open.hwndOwner = owner;
  open.lpstrFilter = "Disc images (*.img;*.iso;*.bin;*.dd)\0*.img;*.iso;*.bin;*.dd\0All files (*.*)\0*.*\0";
  open.nFilterIndex = 1;
  open.lpstrFile = buffer.data();
  open.nMaxFile = static_cast<DWORD>(buffer.size());
  open.lpstrTitle = title;
  // The program's working folder stays where it started.
  open.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
  return open;
}

}  // namespace

std::optional<std::string> ChooseDiscImage(HWND owner) {
  char path[MAX_PATH] = "";
  OPENFILENAMEA open = DiscImageDialog(owner, path, "Open Disc Image");
  if (!GetOpenFileNameA(&open)) return std::nullopt;
  return std::string(path);
}

std::vector<std::string> SelectedFiles(std::string_view buffer) {
  std::vector<std::string> parts;
  for (std::size_t at = 0; at < buffer.size() && buffer[at] != '\0';) {
    const std::size_t end = std::min(buffer.find('\0', at), buffer.size());
    parts.emplace_back(buffer.substr(at, end - at));
    at = end + 1;
  }
  if (parts.size() <= 1) return parts;  // one file: its whole path
  std::vector<std::string> files;
  const std::string folder = parts[0].ends_with('\\') ? parts[0] : parts[0] + "\\";
  for (std::size_t i = 1; i < parts.size(); ++i) files.push_back(folder + parts[i]);
  return files;
}

std::vector<std::string> ChooseDiscImages(HWND owner) {
  std::vector<char> buffer(32 * 1024, '\0');  // a box of discs: many names in one folder
  OPENFILENAMEA open = DiscImageDialog(owner, buffer, "Disc Images for the Inventory");
  open.Flags |= OFN_ALLOWMULTISELECT;
  if (!GetOpenFileNameA(&open)) return {};
  return SelectedFiles(std::string_view(buffer.data(), buffer.size()));
}

}  // namespace zep::ui
