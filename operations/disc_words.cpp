#include "operations/disc_words.h"

#include <cstdio>

namespace zep {
namespace {

// Indexed by the month byte itself, so BCD months find their names and the
// values in between find nothing.
constexpr const char* kMonthTable[19] = {"",    "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep",
                                         "",    "",    "",    "",    "",    "",    "Oct", "Nov", "Dec"};

std::string Format(const char* format, auto... args) {
  char text[64];
  std::snprintf(text, sizeof text, format, args...);
  return text;
}

const char* MonthText(std::uint8_t month) { return month < std::size(kMonthTable) ? kMonthTable[month] : ""; }

}  // namespace

std::vector<ListRow> BuildListRows(const RecordDirectory& dir, SourceType type) {
  std::vector<ListRow> rows;
  for (int slot = 0; slot < kSlotCount; ++slot) {
    if (!IsRecordSlot(dir, slot)) continue;
    const DirectoryEntry e = ReadEntry(dir, slot, type);
    ListRow row;
    row.slot = slot;
    row.cells[0] = Format("%i", slot + 1);
    row.cells[1] = RecordName(dir, slot, type);
    row.cells[2] = Format("%02x %s %02x", e.day, MonthText(e.month), e.year);
    row.cells[3] = Format("%02x:%02x", e.startTime[0], e.startTime[1]);
    row.cells[4] = Format("%02x:%02x", e.endTime[0], e.endTime[1]);
    row.cells[5] = Format("%i", static_cast<int>(e.extent.listed));
    rows.push_back(std::move(row));
  }
  return rows;
}

std::string BuildTitle(const RecordDirectory& dir, SourceType type) {
  std::string title = kTitleBase;
  if (HasLabel(dir)) title += " - " + RecordName(dir, kLabelSlot, type);
  return title;
}

std::string NoDiskMessage(char driveLetter) { return std::string("There is no disk in drive ") + driveLetter + "  "; }

std::string NotMoDiscMessage(char driveLetter) {
  return std::string("Drive ") + driveLetter + " is not an MO disc";
}

}  // namespace zep
