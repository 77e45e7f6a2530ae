// Any text through the NMEA position reader: whatever it accepts is a
// position on the globe or nothing, and a fix always has one.

#include <string>

#include "convert/nmea.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const auto p = zep::ParseNmeaPosition(text);
  if (!p) return 0;
  FUZZ_CHECK(p->lat.has_value() == p->lon.has_value());
  if (p->lat) FUZZ_CHECK(*p->lat >= -90 && *p->lat <= 90 && *p->lon >= -180 && *p->lon <= 180);
  if (p->timeOfDayMs) FUZZ_CHECK(*p->timeOfDayMs >= 0 && *p->timeOfDayMs < zep::kMsPerDay);
  if (p->fixValid) FUZZ_CHECK(p->lat && p->checksum != zep::NmeaChecksum::kBad);
  if (p->lat) FUZZ_CHECK(zep::FormatDegrees(*p->lat).find("nan") == std::string::npos);
  return 0;
}
