#pragma once
// Calendar dates, and the BCD bytes the recorders write them in (0x2008 for
// 2008, 0x11 for November): one decoder and one leap-year rule (the
// proleptic Gregorian calendar) for the directory, the ping headers, the
// ISO dates zepconv prints and the GPS track.

#include <cstdint>
#include <optional>
#include <string>

namespace zep {

struct CivilDate {
  int year = 0, month = 0, day = 0;
  bool operator==(const CivilDate&) const = default;
};

// "2008-11-05".
std::string FormatIsoDate(const CivilDate& date);
void AppendIsoDate(std::string& out, const CivilDate& date);
// n with at least width digits, its sign before them: "0042", "-07".
void AppendPadded(std::string& out, std::int64_t n, int width);

// Days since 1970-01-01 and back.
std::int64_t DaysFromCivil(const CivilDate& date);
CivilDate CivilFromDays(std::int64_t days);

// A month of 1 to 12 and a day that month has in that year.
bool IsCalendarDate(const CivilDate& date);

// The decimal value of the low `digits` BCD nibbles of value; nothing when
// one of them is not a decimal digit.
std::optional<int> BcdValue(unsigned value, int digits = 2);

// A ping header's BCD date (year 0x2008, month 0x11, day 0x05); nothing when
// a nibble is not a decimal digit or the day does not exist.
std::optional<CivilDate> DateFromBcd(std::uint16_t year, std::uint8_t month, std::uint8_t day);

}  // namespace zep
