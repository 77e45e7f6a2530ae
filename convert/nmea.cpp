#include "convert/nmea.h"

#include <array>
#include <charconv>
#include <vector>

namespace zep {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool AllDigits(std::string_view s) {
  for (char c : s)
    if (!IsDigit(c)) return false;
  return true;
}

int Number(std::string_view digits) {
  int n = 0;
  std::from_chars(digits.data(), digits.data() + digits.size(), n);
  return n;
}

int HexDigit(char c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::vector<std::string_view> Fields(std::string_view body) {
  std::vector<std::string_view> fields;
  for (;;) {
    const std::size_t comma = body.find(',');
    fields.push_back(body.substr(0, comma));
    if (comma == std::string_view::npos) return fields;
    body.remove_prefix(comma + 1);
  }
}

// hhmmss with an optional fraction; the fraction counts to the millisecond.
std::optional<std::int32_t> TimeOfDay(std::string_view f) {
  const std::string_view whole = f.substr(0, f.find('.'));
  const std::string_view fraction = whole.size() < f.size() ? f.substr(whole.size() + 1) : std::string_view{};
  if (whole.size() != 6 || !AllDigits(whole) || !AllDigits(fraction)) return std::nullopt;
  const int h = Number(whole.substr(0, 2)), m = Number(whole.substr(2, 2)), s = Number(whole.substr(4, 2));
  if (h > 23 || m > 59 || s > 59) return std::nullopt;
  int ms = 0;
  for (std::size_t i = 0; i < 3; ++i) ms = ms * 10 + (i < fraction.size() ? fraction[i] - '0' : 0);
  return ((h * 60 + m) * 60 + s) * 1000 + ms;
}

// ddmm.mmmm (latitude) or dddmm.mmmm (longitude) and its hemisphere letter.
std::optional<double> Angle(std::string_view f, std::string_view hemisphere, char positive, char negative,
                            int maxDegrees) {
  const std::string_view whole = f.substr(0, f.find('.'));
  const std::string_view fraction = whole.size() < f.size() ? f.substr(whole.size() + 1) : std::string_view{};
  if (whole.size() < 3 || whole.size() > 5 || !AllDigits(whole) || !AllDigits(fraction)) return std::nullopt;
  if (hemisphere.size() != 1 || (hemisphere[0] != positive && hemisphere[0] != negative)) return std::nullopt;
  double minutes = 0;
  if (std::from_chars(f.data() + whole.size() - 2, f.data() + f.size(), minutes).ec != std::errc{}) {
    return std::nullopt;
  }
  const int degrees = Number(whole.substr(0, whole.size() - 2));
  const double value = degrees + minutes / 60.0;
  if (minutes >= 60.0 || value > maxDegrees) return std::nullopt;
  return hemisphere[0] == negative ? -value : value;
}

// RMC's ddmmyy. Two-digit years from 80 are the 1900s, the rest the 2000s:
// GPS receivers came after 1980.
std::optional<CivilDate> DdMmYy(std::string_view f) {
  if (f.size() != 6 || !AllDigits(f)) return std::nullopt;
  const int yy = Number(f.substr(4, 2));
  const CivilDate d{yy >= 80 ? 1900 + yy : 2000 + yy, Number(f.substr(2, 2)), Number(f.substr(0, 2))};
  if (!IsCalendarDate(d)) return std::nullopt;
  return d;
}

std::string_view At(const std::vector<std::string_view>& fields, std::size_t i) {
  return i < fields.size() ? fields[i] : std::string_view{};
}

void ReadPosition(NmeaPosition& p, const std::vector<std::string_view>& f, std::size_t latField) {
  const auto lat = Angle(At(f, latField), At(f, latField + 1), 'N', 'S', 90);
  const auto lon = Angle(At(f, latField + 2), At(f, latField + 3), 'E', 'W', 180);
  if (lat && lon) {
    p.lat = lat;
    p.lon = lon;
  }
}

}  // namespace

std::optional<NmeaPosition> ParseNmeaPosition(std::string_view text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\r' || text.back() == '\n')) text.remove_suffix(1);
  if (text.empty() || text[0] != '$') return std::nullopt;
  text.remove_prefix(1);
  const std::size_t star = text.find('*');
  const std::string_view body = text.substr(0, star);
  const std::string_view address = body.substr(0, body.find(','));
  if (address.size() != 5) return std::nullopt;
  for (char c : address)
    if (!IsDigit(c) && (c < 'A' || c > 'Z')) return std::nullopt;
  NmeaPosition p;
  p.type = address.substr(2);
  if (p.type != "GLL" && p.type != "GGA" && p.type != "RMC") return std::nullopt;

  if (star != std::string_view::npos) {
    unsigned sum = 0;
    for (char c : body) sum ^= static_cast<unsigned char>(c);
    const std::string_view given = text.substr(star + 1);
    const bool ok = given.size() == 2 && HexDigit(given[0]) >= 0 && HexDigit(given[1]) >= 0 &&
                    static_cast<unsigned>(HexDigit(given[0]) * 16 + HexDigit(given[1])) == sum;
    p.checksum = ok ? NmeaChecksum::kOk : NmeaChecksum::kBad;
    if (!ok) return p;
  }

  const std::vector<std::string_view> f = Fields(body);
  bool fix = false;
  if (p.type == "GLL") {
    // $--GLL,lat,N,lon,E,hhmmss,A: receivers before NMEA 2.0 sent neither
    // the time nor the status, and their positions are fixes.
    ReadPosition(p, f, 1);
    p.timeOfDayMs = TimeOfDay(At(f, 5));
    fix = f.size() <= 6 || At(f, 6) == "A";
  } else if (p.type == "GGA") {
    // $--GGA,hhmmss,lat,N,lon,E,quality,...
    p.timeOfDayMs = TimeOfDay(At(f, 1));
    ReadPosition(p, f, 2);
    const std::string_view quality = At(f, 6);
    fix = quality.size() == 1 && quality[0] >= '1' && quality[0] <= '9';
  } else {
    // $--RMC,hhmmss,A,lat,N,lon,E,speed,course,ddmmyy,...
    p.timeOfDayMs = TimeOfDay(At(f, 1));
    fix = At(f, 2) == "A";
    ReadPosition(p, f, 3);
    p.date = DdMmYy(At(f, 9));
  }
  p.fixValid = fix && p.lat.has_value();
  return p;
}

std::optional<std::int64_t> FixClock::Place(const NmeaPosition& fix, std::optional<CivilDate> pingDate) {
  const std::optional<CivilDate> date = fix.date ? fix.date : pingDate;
  if (!date || !fix.timeOfDayMs) return std::nullopt;
  std::int64_t t = DaysFromCivil(*date) * kMsPerDay + *fix.timeOfDayMs;
  constexpr std::int64_t kHalfDay = kMsPerDay / 2;
  if (!fix.date && last_ && t < *last_ - kHalfDay) t += (*last_ - kHalfDay - t + kMsPerDay - 1) / kMsPerDay * kMsPerDay;
  last_ = t;
  return t;
}

namespace {

void AppendClock(std::string& s, std::int64_t msOfDay) {
  AppendPadded(s, msOfDay / 3600000, 2);
  s += ':';
  AppendPadded(s, msOfDay / 60000 % 60, 2);
  s += ':';
  AppendPadded(s, msOfDay / 1000 % 60, 2);
  if (msOfDay % 1000 != 0) {
    s += '.';
    AppendPadded(s, msOfDay % 1000, 3);
  }
}

}  // namespace

std::string FormatDegrees(double degrees) {
  std::array<char, 32> text{};
  const auto r = std::to_chars(text.data(), text.data() + text.size(), degrees, std::chars_format::fixed, 7);
  std::string s(text.data(), r.ptr);
  // Rounding may leave "-0.0000000", which is no position south or west.
  if (s.find_first_not_of("-0.") == std::string::npos && s[0] == '-') s.erase(0, 1);
  return s;
}

std::string FormatTimeOfDay(std::int32_t ms) {
  std::string s;
  AppendClock(s, ms);
  return s;
}

void AppendIsoTime(std::string& out, std::int64_t msSinceEpoch) {
  const std::int64_t days = (msSinceEpoch >= 0 ? msSinceEpoch : msSinceEpoch - kMsPerDay + 1) / kMsPerDay;
  AppendIsoDate(out, CivilFromDays(days));
  out += 'T';
  AppendClock(out, msSinceEpoch - days * kMsPerDay);
  out += 'Z';
}

std::string FormatIsoTime(std::int64_t msSinceEpoch) {
  std::string s;
  AppendIsoTime(s, msSinceEpoch);
  return s;
}

}  // namespace zep
