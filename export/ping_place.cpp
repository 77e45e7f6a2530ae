#include "export/ping_place.h"

namespace zep {

const char* PlaceSourceName(PlaceSource s) {
  switch (s) {
    case PlaceSource::kFix: return "fix";
    case PlaceSource::kInterpolated: return "interpolated";
    case PlaceSource::kNone: return "none";
  }
  return "";
}

PingLocator::PingLocator(const std::string& path, double gapSeconds) : ahead_(path), track_(gapSeconds) {}

PingLocator::~PingLocator() = default;

std::optional<PingLocator::Fix> PingLocator::Fetch() {
  while (!exhausted_ && ahead_.Next()) {
    const std::uint64_t ordinal = aheadOrdinal_++;
    if (const auto step = track_.Next(ahead_.ping())) return Fix{step->point, step->newSegment, ordinal};
  }
  exhausted_ = true;
  return std::nullopt;
}

PingPlace PingLocator::Next(const PingInfo& p) {
  const std::uint64_t n = ordinal_++;
  while (!exhausted_ && (!next_ || next_->ordinal < n)) {
    if (next_) prev_ = next_;
    next_ = Fetch();
  }
  if (next_ && next_->ordinal < n) {  // the last fix lies behind
    prev_ = next_;
    next_.reset();
  }
  PingPlace place;
  const auto ms = [](const TrackPoint& t) { return t.timeMs ? std::optional(*t.timeMs * 1000000) : std::nullopt; };
  if (next_ && next_->ordinal == n) {
    place.source = PlaceSource::kFix;
    place.lat = next_->point.lat;
    place.lon = next_->point.lon;
    place.timeNs = ms(next_->point);
    return place;
  }
  if (!prev_ || !next_ || next_->newSegment) return place;
  // By ping index where the indexes count up between the two fixes, else by
  // the pings walked.
  const TrackPoint &a = prev_->point, &b = next_->point;
  const bool byIndex = a.ping < p.pingIndex && p.pingIndex < b.ping;
  const auto span = static_cast<std::int64_t>(byIndex ? b.ping - a.ping : next_->ordinal - prev_->ordinal);
  const auto step = static_cast<std::int64_t>(byIndex ? p.pingIndex - a.ping : n - prev_->ordinal);
  const double f = static_cast<double>(step) / static_cast<double>(span);
  place.source = PlaceSource::kInterpolated;
  place.lat = a.lat + (b.lat - a.lat) * f;
  place.lon = a.lon + (b.lon - a.lon) * f;
  if (const auto ta = ms(a), tb = ms(b); ta && tb) place.timeNs = *ta + (*tb - *ta) * step / span;
  return place;
}

}  // namespace zep
