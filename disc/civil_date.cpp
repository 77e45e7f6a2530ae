#include "disc/civil_date.h"

#include <array>
#include <charconv>

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

void AppendPadded(std::string& out, std::int64_t n, int width) {
  std::array<char, 24> digits{};
  // The magnitude as unsigned: -n overflows for the least int64.
  const std::uint64_t magnitude = n < 0 ? 0 - static_cast<std::uint64_t>(n) : static_cast<std::uint64_t>(n);
  const auto r = std::to_chars(digits.data(), digits.data() + digits.size(), magnitude);
  const auto length = static_cast<int>(r.ptr - digits.data());
  if (n < 0) out += '-';
  out.append(static_cast<std::size_t>(width > length ? width - length : 0), '0');
  out.append(digits.data(), r.ptr);
}

void AppendIsoDate(std::string& out, const CivilDate& date) {
  AppendPadded(out, date.year, 4);
  out += '-';
  AppendPadded(out, date.month, 2);
  out += '-';
  AppendPadded(out, date.day, 2);
}

std::string FormatIsoDate(const CivilDate& date) {
  std::string s;
  AppendIsoDate(s, date);
  return s;
}

}  // namespace zep
