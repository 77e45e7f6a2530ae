#pragma once
// "Convert Records to ZEP" and Help > "Contents": the runs that write files.

#include <windows.h>

#include <optional>
#include <string>

namespace zep::ui {

// The shell's folder browser. Empty when the user cancels, the shell's
// allocator is missing or the chosen item is no file-system folder.
std::optional<std::string> BrowseForOutputFolder(HWND owner, const char* instruction);

// The same browser in wide characters, for the Tools jobs: a folder outside
// the ANSI code page, or with a path longer than MAX_PATH, comes through whole.
std::optional<std::wstring> BrowseForToolFolder(HWND owner, const wchar_t* instruction);

// Converts every selected row's record into the chosen folder, in row order,
// with the status text and the progress bar; one "Error" box afterwards lists
// the records that failed or came out incomplete.
void ConvertSelectedRecords(HWND window);

// Splits the last scan dump into record files; an "Error" box names the files
// it could not write.
void SplitLastScanDump(HWND window);

}  // namespace zep::ui
