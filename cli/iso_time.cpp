#include "cli/iso_time.h"

#include <chrono>
#include <cstdio>

namespace zep::cli {
namespace {

std::optional<int> Bcd(std::uint8_t b) {
  if ((b >> 4) > 9 || (b & 0x0F) > 9) return std::nullopt;
  return (b >> 4) * 10 + (b & 0x0F);
}

// Minutes after midnight.
std::optional<int> ClockTime(const std::array<std::uint8_t, 2>& hhmm) {
  const auto h = Bcd(hhmm[0]), m = Bcd(hhmm[1]);
  if (!h || !m || *h > 23 || *m > 59) return std::nullopt;
  return *h * 60 + *m;
}

std::string DateText(const std::chrono::year_month_day& d) {
  char text[48];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(d.year()), static_cast<unsigned>(d.month()),
                static_cast<unsigned>(d.day()));
  return text;
}

std::string At(const std::chrono::year_month_day& d, int minutes) {
  char text[32];
  std::snprintf(text, sizeof text, "T%02d:%02d", minutes / 60, minutes % 60);
  return DateText(d) + text;
}

}  // namespace

IsoTimes IsoTimesOf(const DirectoryEntry& entry) {
  IsoTimes t;
  const auto y = Bcd(entry.year), m = Bcd(entry.month), d = Bcd(entry.day);
  if (!y || !m || !d) return t;
  const std::chrono::year_month_day date{std::chrono::year(*y < 69 ? 2000 + *y : 1900 + *y),
                                         std::chrono::month(static_cast<unsigned>(*m)),
                                         std::chrono::day(static_cast<unsigned>(*d))};
  if (!date.ok()) return t;
  t.date = DateText(date);
  const auto start = ClockTime(entry.startTime), end = ClockTime(entry.endTime);
  if (!start) return t;
  t.start = At(date, *start);
  if (!end) return t;
  // A recording that ends before it starts ran past midnight.
  const std::chrono::year_month_day endDate =
      *end < *start ? std::chrono::year_month_day(std::chrono::sys_days(date) + std::chrono::days(1)) : date;
  t.end = At(endDate, *end);
  return t;
}

}  // namespace zep::cli
