#include "disc/iso_time.h"

#include <cstdio>

#include "disc/civil_date.h"

namespace zep {
namespace {

// Minutes after midnight.
std::optional<int> ClockTime(const std::array<std::uint8_t, 2>& hhmm) {
  const auto h = BcdValue(hhmm[0]), m = BcdValue(hhmm[1]);
  if (!h || !m || *h > 23 || *m > 59) return std::nullopt;
  return *h * 60 + *m;
}

std::string At(const CivilDate& d, int minutes) {
  char text[32];
  std::snprintf(text, sizeof text, "T%02d:%02d", minutes / 60, minutes % 60);
  return FormatIsoDate(d) + text;
}

}  // namespace

IsoTimes IsoTimesOf(const DirectoryEntry& entry) {
  IsoTimes t;
  const auto y = BcdValue(entry.year), m = BcdValue(entry.month), d = BcdValue(entry.day);
  if (!y || !m || !d) return t;
  const CivilDate date{*y < 69 ? 2000 + *y : 1900 + *y, *m, *d};
  if (!IsCalendarDate(date)) return t;
  t.date = FormatIsoDate(date);
  const auto start = ClockTime(entry.startTime), end = ClockTime(entry.endTime);
  if (!start) return t;
  t.start = At(date, *start);
  if (!end) return t;
  // A recording that ends before it starts ran past midnight.
  t.end = At(*end < *start ? CivilFromDays(DaysFromCivil(date) + 1) : date, *end);
  return t;
}

}  // namespace zep
