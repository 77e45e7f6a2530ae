#pragma once
// NMEA 0183 position sentences as GPS receivers send them and the recorders
// store them in a ping's text: GLL, GGA and RMC from any talker, with the
// calendar arithmetic that turns their times of day into points in time.
// Everything here is independent of the locale: numbers are read and written
// with from_chars and to_chars only.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "disc/civil_date.h"

namespace zep {

enum class NmeaChecksum { kOk, kMissing, kBad };

struct NmeaPosition {
  std::string type;  // "GLL", "GGA" or "RMC"
  NmeaChecksum checksum = NmeaChecksum::kMissing;
  std::optional<std::int32_t> timeOfDayMs;  // UTC
  std::optional<double> lat, lon;           // degrees, south and west negative; both or neither
  std::optional<CivilDate> date;            // RMC's own date
  // The receiver had a fix (GLL and RMC status A, GGA quality above 0), the
  // position is there and the checksum, if any, is right.
  bool fixValid = false;
};

// Reads a GLL, GGA or RMC sentence of any talker; nothing for any other text.
// A sentence whose checksum fails keeps only its type and checksum: none of
// its fields can be trusted.
std::optional<NmeaPosition> ParseNmeaPosition(std::string_view text);

inline constexpr std::int64_t kMsPerDay = 86400000;

// Places the fixes of one file in time. GLL and GGA carry a time of day only:
// their date is the ping's, moved on by a day each time the time of day runs
// back past midnight, that is by more than twelve hours; a smaller step back
// is time running backwards and stays on its day.
class FixClock {
 public:
  // Milliseconds since 1970 UTC; nothing when no date is known.
  std::optional<std::int64_t> Place(const NmeaPosition& fix, std::optional<CivilDate> pingDate);

 private:
  std::optional<std::int64_t> last_;
};

// Text forms, the same whatever the locale.
std::string FormatDegrees(double degrees);         // seven decimals
std::string FormatTimeOfDay(std::int32_t ms);      // hh:mm:ss, .sss when not whole
std::string FormatIsoTime(std::int64_t msSinceEpoch);  // 2008-11-05T09:15:00Z, .sss when not whole
void AppendIsoTime(std::string& out, std::int64_t msSinceEpoch);

}  // namespace zep
