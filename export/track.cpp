#include "export/track.h"

#include <algorithm>
#include <cmath>

#include "export/text_output.h"

namespace zep {

double DistanceMetres(const TrackPoint& a, const TrackPoint& b) {
  // Haversine on the mean Earth radius: within half a percent of the
  // ellipsoid, far closer than the top speed needs.
  constexpr double kRadius = 6371008.8, kRad = 3.14159265358979323846 / 180.0;
  const double dLat = (b.lat - a.lat) * kRad, dLon = (b.lon - a.lon) * kRad;
  const double h = std::sin(dLat / 2) * std::sin(dLat / 2) +
                   std::cos(a.lat * kRad) * std::cos(b.lat * kRad) * std::sin(dLon / 2) * std::sin(dLon / 2);
  return 2 * kRadius * std::asin(std::min(1.0, std::sqrt(h)));
}

bool StartsSegment(const TrackPoint& a, const TrackPoint& b, double gapSeconds) {
  double seconds = 0;
  if (a.timeMs && b.timeMs) {
    const std::int64_t dt = *b.timeMs - *a.timeMs;
    if (dt < 0 || static_cast<double>(dt) > gapSeconds * 1000.0) return true;
    seconds = static_cast<double>(dt) / 1000.0;
  }
  return DistanceMetres(a, b) > kTopSpeedMetresPerSecond * std::max(seconds, 1.0);
}

std::optional<TrackReader::Step> TrackReader::Next(const PingInfo& p) {
  const std::uint8_t* text = p.header.data() + ping::kGpsText;
  if (seenText_ && std::equal(lastText_.begin(), lastText_.end(), text)) return std::nullopt;
  seenText_ = true;
  std::copy_n(text, lastText_.size(), lastText_.begin());
  const std::optional<NmeaPosition> fix = ParseNmeaPosition(StoredGpsText(p));
  if (!fix) return std::nullopt;
  if (fix->checksum == NmeaChecksum::kBad) {
    ++badChecksums_;
    return std::nullopt;
  }
  if (!fix->fixValid) return std::nullopt;
  Step step;
  TrackPoint& pt = step.point;
  pt.lat = *fix->lat;
  pt.lon = *fix->lon;
  pt.timeMs = clock_.Place(*fix, DateFromBcd(p.year, p.month, p.day));
  pt.ping = p.pingIndex;
  pt.sentence = fix->type == "GLL" ? "GLL" : fix->type == "GGA" ? "GGA" : "RMC";
  if (last_ && last_->timeMs == pt.timeMs && last_->lat == pt.lat && last_->lon == pt.lon) return std::nullopt;
  step.newSegment = !last_ || StartsSegment(*last_, pt, gapSeconds_);
  last_ = pt;
  return step;
}

}  // namespace zep
