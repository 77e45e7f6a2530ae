#pragma once
// The GPS track of a record file: the fixes in its pings' texts, each once,
// placed in time and cut into segments where the boat cannot have gone
// straight from one fix to the next.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "convert/nmea.h"
#include "convert/record_file.h"

namespace zep {

// A jump no boat makes: 50 m/s (97 knots, 180 km/h) is twice the speed of
// fast planing workboats and far above any survey speed, while the position
// jumps of a GPS receiver that loses its fix are kilometres within seconds.
// Fixes less than a second apart may be up to 50 m apart.
inline constexpr double kTopSpeedMetresPerSecond = 50.0;

struct TrackPoint {
  double lat = 0, lon = 0;
  std::optional<std::int64_t> timeMs;  // since 1970 UTC; nothing when no date or time is known
  std::uint32_t ping = 0;              // pingIndex of the ping whose text gave the fix
  const char* sentence = "";           // GLL, GGA or RMC
};

double DistanceMetres(const TrackPoint& a, const TrackPoint& b);

// Whether b, following a, starts a new segment: a time gap over gapSeconds,
// time running backwards, or a jump faster than the top speed.
bool StartsSegment(const TrackPoint& a, const TrackPoint& b, double gapSeconds);

// Reads the fixes of one file ping by ping.
class TrackReader {
 public:
  explicit TrackReader(double gapSeconds) : gapSeconds_(gapSeconds) {}

  struct Step {
    TrackPoint point;
    bool newSegment = false;
  };
  // The new point this ping's text gives, if any. A ping repeats the text of
  // the one before until a new one comes: a repeated text, or a fix equal to
  // the last one, is no new point.
  std::optional<Step> Next(const PingInfo& p);

  int badChecksums() const { return badChecksums_; }

 private:
  double gapSeconds_;
  FixClock clock_;
  std::array<std::uint8_t, ping::kGpsTextSize> lastText_{};
  bool seenText_ = false;
  std::optional<TrackPoint> last_;
  int badChecksums_ = 0;
};

enum class TrackFormat { kGpx, kGeoJson, kKml, kCsv };

class TrackWriter;

// The track of record files as their pings come, from a walk of a file or
// from a conversion as it writes one, appended to out segment by segment.
class TrackSink {
 public:
  TrackSink(TrackFormat format, std::string& out, double gapSeconds);
  ~TrackSink();
  TrackSink(const TrackSink&) = delete;
  TrackSink& operator=(const TrackSink&) = delete;

  // The pings that follow are the file's, named so in the output.
  void StartFile(const std::string& name);
  // A fix this ping's text gives, if any, placed in the track.
  std::optional<TrackReader::Step> Ping(const PingInfo& p);
  // Sentences of the file left out for a bad checksum.
  int EndFile();
  // Closes the document.
  void End();

 private:
  std::unique_ptr<TrackWriter> writer_;
  std::optional<TrackReader> reader_;
  std::string file_;
  double gapSeconds_;
  int segments_ = 0;
  bool open_ = false;
};

}  // namespace zep
