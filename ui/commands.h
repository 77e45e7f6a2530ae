#pragma once
// The main window's command layer: the command table, the selection table,
// the menu state and the scan of the chosen drive.

#include <windows.h>

#include <string>

namespace zep::ui {

// Runs a command of the program; false for any other id.
bool OnCommand(HWND window, int commandId);
// WM_NOTIFY: list changes refresh the selection table. Always 0.
LRESULT OnNotify(const NMHDR* header);

// Rewrites all 64 flags from the list and resets the progress bar.
void RefreshSelectionTable();
// The flags alone, without touching the progress bar.
void RecomputeSelectionFlags();
// Grays "Convert Records to ZEP" when nothing is selected and puts the radio
// mark on the current source type.
void UpdateMenuState(HMENU popup);

// Command 111: the drive dialog, then the scan of the chosen drive.
void SelectDriveAndScan(HWND window);
// Scans a drive into the record list and the title, with the scan's error
// boxes, and recomputes the selection for the new rows.
void ScanDriveIntoList(HWND window, char driveLetter);

// File > "Open Disc Image...": the Open dialog, then the scan of the image.
void OpenImageAndScan(HWND window);
// The same scan for a disc image file (the Open dialog, a dropped file, the
// command line), through the mapfile found beside it.
// mapfile: the one to read it through; empty: the one found beside it.
void ScanImageIntoList(HWND window, const std::string& imagePath, const std::string& mapfile = "");
// The same for a path in wide characters, handed to the reader in a form its
// ANSI calls open (ui/wide_paths.h); an "Error" box when it has none.
void ScanImageIntoList(HWND window, const std::wstring& imagePath);

// The status bar's one line, over both parts; an empty text gives the parts
// (status text and progress bar) back.
void ShowStatusLine(const std::string& text);
// The line about the current source: its mapfile and the source type hint.
void ShowSourceStatus();

}  // namespace zep::ui
