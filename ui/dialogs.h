#pragma once
// The About box and the Select Drive/Volume dialog.

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zep::ui {

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK SelectDriveDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

void ShowAboutBox(HWND owner);
// The ASCII code of the chosen drive letter, 0 when no drive is present.
INT_PTR ChooseDrive(HWND owner);

// The Open dialog for a disc image: its path, or empty when cancelled.
std::optional<std::string> ChooseDiscImage(HWND owner);

// "A:", "C:", ... for the bits of a GetLogicalDrives mask, from 'A' up.
std::vector<std::string> DriveEntries(std::uint32_t driveMask);

}  // namespace zep::ui
