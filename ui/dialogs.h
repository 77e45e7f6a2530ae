#pragma once
// The About box and the Select Drive/Volume dialog.

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zep::ui {

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK SelectDriveDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

void ShowAboutBox(HWND owner);
// The ASCII code of the chosen drive letter, 0 when no drive is present.
INT_PTR ChooseDrive(HWND owner);

// The Open dialog for a disc image: its path, in wide characters and as long
// as the system allows, or empty when cancelled.
std::optional<std::wstring> ChooseDiscImage(HWND owner);
// The same with several images picked at once, for the inventory; empty when
// cancelled.
std::vector<std::wstring> ChooseDiscImages(HWND owner);
// The paths in the buffer a multi-select Open dialog fills: the folder, then
// each name, each ending in a zero; one path alone when one file was chosen.
std::vector<std::wstring> SelectedFiles(std::wstring_view buffer);

// "A:", "C:", ... for the bits of a GetLogicalDrives mask, from 'A' up.
std::vector<std::string> DriveEntries(std::uint32_t driveMask);

}  // namespace zep::ui
