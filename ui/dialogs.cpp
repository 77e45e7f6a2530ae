#include "ui/dialogs.h"

#include <commdlg.h>

#include <algorithm>
#include <span>

#include "res/resource.h"
#include "ui/shell_state.h"
#include "ui/wide_paths.h"

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

OPENFILENAMEW DiscImageDialog(HWND owner, std::span<wchar_t> buffer, const wchar_t* title) {
  OPENFILENAMEW open{};
  open.lStructSize = sizeof open;
  open.hwndOwner = owner;
  open.lpstrFilter = L"Disc images (*.img;*.iso;*.bin;*.dd)\0*.img;*.iso;*.bin;*.dd\0All files (*.*)\0*.*\0";
  open.nFilterIndex = 1;
  open.lpstrFile = buffer.data();
  open.nMaxFile = static_cast<DWORD>(buffer.size());
  open.lpstrTitle = title;
  // The program's working folder stays where it started.
  open.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
  return open;
}

}  // namespace

std::optional<std::wstring> ChooseDiscImage(HWND owner) {
  std::vector<wchar_t> path(kLongPathChars, L'\0');
  OPENFILENAMEW open = DiscImageDialog(owner, path, L"Open Disc Image");
  if (!GetOpenFileNameW(&open)) return std::nullopt;
  return std::wstring(path.data());
}

std::vector<std::wstring> SelectedFiles(std::wstring_view buffer) {
  std::vector<std::wstring> parts;
  for (std::size_t at = 0; at < buffer.size() && buffer[at] != L'\0';) {
    const std::size_t end = std::min(buffer.find(L'\0', at), buffer.size());
    parts.emplace_back(buffer.substr(at, end - at));
    at = end + 1;
  }
  if (parts.size() <= 1) return parts;  // one file: its whole path
  std::vector<std::wstring> files;
  const std::wstring folder = parts[0].ends_with(L'\\') ? parts[0] : parts[0] + L"\\";
  for (std::size_t i = 1; i < parts.size(); ++i) files.push_back(folder + parts[i]);
  return files;
}

std::vector<std::wstring> ChooseDiscImages(HWND owner) {
  std::vector<wchar_t> buffer(4 * kLongPathChars, L'\0');  // a box of discs: many names in one folder
  OPENFILENAMEW open = DiscImageDialog(owner, buffer, L"Disc Images for the Inventory");
  open.Flags |= OFN_ALLOWMULTISELECT;
  if (!GetOpenFileNameW(&open)) return {};
  return SelectedFiles(std::wstring_view(buffer.data(), buffer.size()));
}

}  // namespace zep::ui
