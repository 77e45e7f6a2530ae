#pragma once
// A disc as both faces show it: the window title with the disc's label, the
// record list's cells, and a drive that gives no MO disc. zepconv's list and
// the Windows program's show the same cells and titles, so they are made once
// here; the core below gives only the directory and the kinds of problems.

#include <array>
#include <string>
#include <vector>

#include "disc/directory.h"

namespace zep {

inline constexpr const char* kTitleBase = "ZEP Converter";

struct ListRow {
  int slot = 0;                      // carried as the row's item data
  std::array<std::string, 6> cells;  // Record No., Name, Date, Start, End, Pings
};

// Rows for every record slot, in slot order, and the title (with the label).
std::vector<ListRow> BuildListRows(const RecordDirectory& dir, SourceType type);
std::string BuildTitle(const RecordDirectory& dir, SourceType type);

std::string NoDiskMessage(char driveLetter);     // "There is no disk in drive X  "
std::string NotMoDiscMessage(char driveLetter);  // "Drive X is not an MO disc"

}  // namespace zep
