#include "disc/civil_date.h"

namespace zep {

std::int64_t DaysFromCivil(const CivilDate& date) {
  // Howard Hinnant's days_from_civil: eras of 400 years from 0000-03-01.
  const std::int64_t y = date.year - (date.month <= 2 ? 1 : 0);
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t mp = (date.month + 9) % 12;
  const std::int64_t doy = (153 * mp + 2) / 5 + date.day - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

CivilDate CivilFromDays(std::int64_t days) {
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const std::int64_t doe = days - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  CivilDate d;
  d.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  d.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  d.year = static_cast<int>(yoe + era * 400 + (d.month <= 2 ? 1 : 0));
  return d;
}

bool IsCalendarDate(const CivilDate& d) {
  if (d.month < 1 || d.month > 12 || d.day < 1 || d.day > 31) return false;
  // A day that exists survives the round trip through the day count.
  return CivilFromDays(DaysFromCivil(d)) == d;
}

std::optional<int> BcdValue(unsigned value, int digits) {
  int n = 0;
  for (int i = digits - 1; i >= 0; --i) {
    const unsigned nibble = (value >> (4 * i)) & 0xF;
    if (nibble > 9) return std::nullopt;
    n = n * 10 + static_cast<int>(nibble);
  }
  return n;
}

std::optional<CivilDate> DateFromBcd(std::uint16_t year, std::uint8_t month, std::uint8_t day) {
  const auto y = BcdValue(year, 4), m = BcdValue(month), d = BcdValue(day);
  if (!y || !m || !d) return std::nullopt;
  const CivilDate date{*y, *m, *d};
  if (!IsCalendarDate(date)) return std::nullopt;
  return date;
}

namespace {

// At least width digits, the sign before them.
std::string Padded(std::int64_t n, std::size_t width) {
  const std::string digits = std::to_string(n < 0 ? -n : n);
  return (n < 0 ? "-" : "") + std::string(width > digits.size() ? width - digits.size() : 0, '0') + digits;
}

}  // namespace

std::string FormatIsoDate(const CivilDate& date) {
  return Padded(date.year, 4) + '-' + Padded(date.month, 2) + '-' + Padded(date.day, 2);
}

}  // namespace zep
