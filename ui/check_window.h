#pragma once
// The check's result in a window of its own: the disc's line (type, label,
// dump area) above a list of its records, "Save..." for the same check.json
// that `zepconv check --json` writes, and "Close" (Esc too).

#include <windows.h>

#include <optional>
#include <string>

#include "export/check_report.h"
#include "ui/check_texts.h"

namespace zep::ui {

inline constexpr const char* kCheckWindowClass = "ZepCheckWindow";

// Opens the window, owned by owner, in place of an earlier one; the window
// keeps its own copy of the report.
HWND ShowCheckWindow(HWND owner, const CheckReport& report);
// The window now open, or null.
HWND CheckWindow();
// The message loop's share: Esc and Tab in the check window, as in a dialog.
bool IsCheckWindowMessage(MSG* msg);
// "Save...": the report as JSON to path; a Problem when it could not be written.
std::optional<Problem> SaveCheckReport(const CheckReport& report, const std::string& path);

}  // namespace zep::ui
