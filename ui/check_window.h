#pragma once
// The check's result in a window of its own: the disc's line (type, label,
// dump area) above a list of its records, and "Save..." for the same
// check.json that `zepconv check --json` writes.

#include <windows.h>

#include <array>
#include <string>
#include <vector>

#include "export/check_report.h"

namespace zep::ui {

inline constexpr const char* kCheckWindowClass = "ZepCheckWindow";

// A list row: Record, Name, Verdict, Whole units, Unreadable units (ranges),
// Pings.
using CheckRow = std::array<std::string, 6>;
std::vector<CheckRow> CheckRows(const CheckReport& report);
// "TK40 · label BALTIC · dump area readable", and what the directory lost.
std::string CheckDiscLine(const CheckReport& report);
// "12-15, 20": runs of units as the list and zepconv show them.
std::string UnitRanges(const std::vector<UnitRun>& runs);

// Opens the window, owned by owner, in place of an earlier one; the window
// keeps its own copy of the report.
HWND ShowCheckWindow(HWND owner, const CheckReport& report);
// The window now open, or null.
HWND CheckWindow();
// "Save...": the report as JSON to path; a Problem when it could not be written.
std::optional<Problem> SaveCheckReport(const CheckReport& report, const std::string& path);

}  // namespace zep::ui
