#pragma once
// What the check window shows, as plain functions of the check's report: its
// rows, the disc's line, the column titles and widths, and where its children
// go for a client size. Kept apart from the window so they run without one.

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "export/check_report.h"

namespace zep::ui {

inline constexpr int kCheckColumns = 9;

// A list row: Record, Name, Verdict, Whole units, Unreadable units (a count
// and ranges), Units past the end, Missing pings, Pings with unread samples,
// Pings.
using CheckRow = std::array<std::string, kCheckColumns>;
std::vector<CheckRow> CheckRows(const CheckReport& report);
// The titles, "units" named as the source type's: blocks or sectors.
CheckRow CheckColumnTitles(SourceType type);
// "TK40 · label BALTIC · dump area readable", and what the directory lost.
std::string CheckDiscLine(const CheckReport& report);
// "12-15, 20": runs of units as the list and zepconv show them.
std::string UnitRanges(const std::vector<UnitRun>& runs);

// Each column as wide as its widest text, the title included, measured by
// measure plus padding: no cell is cut.
std::array<int, kCheckColumns> FitColumnWidths(const CheckRow& titles, const std::vector<CheckRow>& rows,
                                               const std::function<int(const std::string&)>& measure, int padding);

struct Box {
  int x = 0, y = 0, width = 0, height = 0;
  bool operator==(const Box&) const = default;
};
struct CheckLayout {
  Box discLine, list, save, close;
};
// The disc's line on top, the list below it, Save and Close at the bottom
// right; nothing gets a negative size.
CheckLayout ComputeCheckLayout(int clientWidth, int clientHeight);

}  // namespace zep::ui
