#include "export/ping_place.h"

#include <cmath>

namespace zep {

const char* PlaceSourceName(PlaceSource s) {
  switch (s) {
    case PlaceSource::kFix: return "fix";
    case PlaceSource::kInterpolated: return "interpolated";
    case PlaceSource::kNone: return "none";
  }
  return "";
}

const char* TimeSourceName(TimeSource s) {
  switch (s) {
    case TimeSource::kFix: return "fix";
    case TimeSource::kInterpolated: return "interpolated";
    case TimeSource::kExtrapolated: return "extrapolated";
    case TimeSource::kNone: return "none";
  }
  return "";
}

PingLocator::PingLocator(const std::string& path, double gapSeconds)
    : path_(path), ahead_(path), track_(gapSeconds), gapSeconds_(gapSeconds) {}

PingLocator::~PingLocator() = default;

std::optional<PingLocator::Fix> PingLocator::Fetch() {
  while (!exhausted_ && ahead_.Next()) {
    const std::uint64_t ordinal = aheadOrdinal_++;
    if (const auto step = track_.Next(ahead_.ping())) {
      const Fix fix{step->point, step->newSegment, ordinal};
      seen_.See(fix);
      return fix;
    }
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
    if (place.timeNs) place.timeSource = TimeSource::kFix;
    return place;
  }
  if (!prev_ || !next_ || next_->newSegment) {
    Extrapolate(p, n, place);
    return place;
  }
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
  if (const auto ta = ms(a), tb = ms(b); ta && tb) {
    place.timeNs = *ta + (*tb - *ta) * step / span;
    place.timeSource = TimeSource::kInterpolated;
  }
  return place;
}

void PingLocator::Rate::See(const Fix& f) {
  if (!f.point.timeMs) return;
  if (!first) first = f;
  last = f;
}

// By ping index where the indexes count up from the first fix to the last,
// else by the pings walked; nothing when time does not run on between them.
std::optional<double> PingLocator::Rate::NsPerPing() const {
  if (!first || !last || *last->point.timeMs <= *first->point.timeMs) return std::nullopt;
  const double ns = static_cast<double>(*last->point.timeMs - *first->point.timeMs) * 1e6;
  if (last->point.ping > first->point.ping) return ns / (last->point.ping - first->point.ping);
  if (last->ordinal > first->ordinal) return ns / static_cast<double>(last->ordinal - first->ordinal);
  return std::nullopt;
}

// A ping after the last fix of its segment goes on from that fix; one
// before the first fix of the file goes back from it. The rate is known from
// the fixes read so far in the first case; the second needs the whole
// record's, read once more.
void PingLocator::Extrapolate(const PingInfo& p, std::uint64_t n, PingPlace& place) {
  const bool after = prev_.has_value();
  if (!after && !next_) return;
  const Fix& from = after ? *prev_ : *next_;
  if (!from.point.timeMs) return;
  if (!after && !record_) {
    record_.emplace();
    PingReader reader(path_);
    TrackReader track(gapSeconds_);
    for (std::uint64_t ordinal = 0; reader.Next(); ++ordinal) {
      if (const auto step = track.Next(reader.ping())) record_->See({step->point, step->newSegment, ordinal});
    }
  }
  const auto rate = (after ? seen_ : *record_).NsPerPing();
  if (!rate) return;
  const std::uint32_t at = from.point.ping;
  double steps = 0;
  if (after) steps = p.pingIndex > at ? p.pingIndex - at : static_cast<double>(n - from.ordinal);
  else steps = p.pingIndex < at ? -static_cast<double>(at - p.pingIndex) : -static_cast<double>(from.ordinal - n);
  place.timeNs = *from.point.timeMs * 1000000 + std::llround(steps * *rate);
  place.timeSource = TimeSource::kExtrapolated;
}

}  // namespace zep
