// NMEA position sentences as the pings' texts hold them, and the dates their
// times of day get.

#include <gtest/gtest.h>

#include <optional>

#include "convert/nmea.h"

namespace zep {
namespace {

constexpr double kNone = 999;  // no position
constexpr int kNoTime = -1;

struct SentenceCase {
  const char* text;
  const char* type;  // "" when the text is no position sentence
  NmeaChecksum checksum = NmeaChecksum::kMissing;
  double lat = kNone, lon = kNone;
  int timeMs = kNoTime;
  bool fix = false;
};

const SentenceCase kSentences[] = {
    {"$GPGLL,5412.3660,N,01023.4720,E,091500,A", "GLL", NmeaChecksum::kMissing, 54.2061, 10.3912, 33300000, true},
    {"$GPGLL,5412.3660,N,01023.4720,E,091500,A*27", "GLL", NmeaChecksum::kOk, 54.2061, 10.3912, 33300000, true},
    {"$GNGGA,123519.50,4807.038,S,01131.000,W,1,08,0.9,545.4,M,46.9,M,,*7d", "GGA", NmeaChecksum::kOk, -48.1173,
     -11.5166667, 45319500, true},
    {"$GPRMC,235959,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*66", "RMC", NmeaChecksum::kOk, 48.1173,
     11.5166667, 86399000, true},
    // Not fixes: GLL and RMC status V, GGA quality 0; the position is shown all the same.
    {"$GPGLL,5412.3660,N,01023.4720,E,091500,V", "GLL", NmeaChecksum::kMissing, 54.2061, 10.3912, 33300000},
    {"$GPGGA,123519,4807.038,N,01131.000,E,0,08,0.9,545.4,M,46.9,M,,*46", "GGA", NmeaChecksum::kOk, 48.1173,
     11.5166667, 45319000},
    {"$IIRMC,101010,V,4807.038,N,01131.000,E,,,010100,,*1E", "RMC", NmeaChecksum::kOk, 48.1173, 11.5166667, 36610000},
    // A receiver before NMEA 2.0 sent neither time nor status.
    {"$GPGLL,5412.3660,N,01023.4720,E", "GLL", NmeaChecksum::kMissing, 54.2061, 10.3912, kNoTime, true},
    // A failed checksum leaves nothing to trust.
    {"$GPGLL,5412.3660,N,01023.4720,E,091500,A*28", "GLL", NmeaChecksum::kBad},
    {"$GPGLL,5412.3660,N,01023.4720,E,091500,A*2", "GLL", NmeaChecksum::kBad},
    {"$GPGLL,5412.3660,N,01023.4720,E,091500,A*G7", "GLL", NmeaChecksum::kBad},
    // Empty fields, and values that are no positions or times.
    {"$GPGLL,,,,,,V", "GLL"},
    {"$GPGLL,5460.0000,N,01023.4720,E,091500,A", "GLL", NmeaChecksum::kMissing, kNone, kNone, 33300000},
    {"$GPGLL,9100.0000,N,01023.4720,E,091500,A", "GLL", NmeaChecksum::kMissing, kNone, kNone, 33300000},
    {"$GPGLL,5412.3660,N,18100.0000,W,240000,A", "GLL"},
    {"$GPGLL,5412.3660,X,01023.4720,E,091500,A", "GLL", NmeaChecksum::kMissing, kNone, kNone, 33300000},
    {"$GPGLL,-412.3660,N,01023.4720,E,091500,A", "GLL", NmeaChecksum::kMissing, kNone, kNone, 33300000},
    // Not position sentences.
    {"", ""},
    {"SOUNDING 12", ""},
    {"GPGLL,5412.3660,N,01023.4720,E,091500,A", ""},
    {"$GPGSV,3,1,11,03,03,111,00,04,15,270,00,06,01,010,00,13,06,292,00*74", ""},
    {"$GPGL,5412.3660,N", ""},
    {"$gpgll,5412.3660,N,01023.4720,E,091500,A", ""},
};

TEST(NmeaTest, SentencesGiveTypeChecksumPositionTimeAndFix) {
  for (const SentenceCase& c : kSentences) {
    SCOPED_TRACE(c.text);
    const std::optional<NmeaPosition> p = ParseNmeaPosition(c.text);
    if (*c.type == '\0') {
      EXPECT_FALSE(p.has_value());
      continue;
    }
    ASSERT_TRUE(p.has_value());
    EXPECT_EQ(p->type, c.type);
    EXPECT_EQ(p->checksum, c.checksum);
    EXPECT_EQ(p->lat.has_value(), c.lat != kNone);
    EXPECT_EQ(p->lon.has_value(), c.lon != kNone);
    if (p->lat && p->lon) {
      EXPECT_NEAR(*p->lat, c.lat, 1e-7);
      EXPECT_NEAR(*p->lon, c.lon, 1e-7);
    }
    EXPECT_EQ(p->timeOfDayMs.value_or(kNoTime), c.timeMs);
    EXPECT_EQ(p->fixValid, c.fix);
  }
}

// Fixes of one file in turn: GLL and GGA take the ping's date and move to the
// next day when the time of day runs back past midnight; RMC has its own.
TEST(NmeaTest, TimesOfDayBecomeTimesAcrossMidnight) {
  struct Step {
    const char* sentence;
    CivilDate pingDate;
    const char* time;
  };
  const Step steps[] = {
      {"$GPGLL,5412.3660,N,01023.4720,E,235950,A", {2008, 12, 31}, "2008-12-31T23:59:50Z"},
      {"$GPGLL,5412.3660,N,01023.4720,E,000010.25,A", {2008, 12, 31}, "2009-01-01T00:00:10.250Z"},
      // A step back of minutes is time running backwards, not another day.
      {"$GPGLL,5412.3660,N,01023.4720,E,235500,A", {2008, 12, 31}, "2008-12-31T23:55:00Z"},
      {"$GPGGA,000500,5412.3660,N,01023.4720,E,1,08,0.9,5,M,4,M,,", {2008, 12, 31}, "2009-01-01T00:05:00Z"},
      {"$GPRMC,000600,A,5412.3660,N,01023.4720,E,,,020109,,", {2008, 12, 31}, "2009-01-02T00:06:00Z"},
  };
  FixClock clock;
  for (const Step& s : steps) {
    SCOPED_TRACE(s.sentence);
    const auto t = clock.Place(*ParseNmeaPosition(s.sentence), s.pingDate);
    ASSERT_TRUE(t.has_value());
    EXPECT_EQ(FormatIsoTime(*t), s.time);
  }
  EXPECT_FALSE(FixClock().Place(*ParseNmeaPosition("$GPGLL,5412.3660,N,01023.4720,E,235950,A"), std::nullopt));
}

TEST(NmeaTest, BcdDatesAndLocaleFreeNumbers) {
  EXPECT_EQ(DateFromBcd(0x2008, 0x02, 0x29), (CivilDate{2008, 2, 29}));
  EXPECT_FALSE(DateFromBcd(0x2009, 0x02, 0x29));
  EXPECT_FALSE(DateFromBcd(0x20A8, 0x01, 0x01));
  EXPECT_FALSE(DateFromBcd(0x2008, 0x13, 0x01));
  EXPECT_EQ(FormatDegrees(-11.51666666), "-11.5166667");
  EXPECT_EQ(FormatDegrees(-0.00000001), "0.0000000");
}

}  // namespace
}  // namespace zep
