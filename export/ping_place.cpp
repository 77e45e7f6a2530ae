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

namespace {

std::optional<std::int64_t> TimeNs(const TrackPoint& t) {
  return t.timeMs ? std::optional(*t.timeMs * 1000000) : std::nullopt;
}

PingPlace AtFix(const PlacedFix& fix) {
  PingPlace place;
  place.source = PlaceSource::kFix;
  place.lat = fix.point.lat;
  place.lon = fix.point.lon;
  place.timeNs = TimeNs(fix.point);
  if (place.timeNs) place.timeSource = TimeSource::kFix;
  return place;
}

// The n-th ping of the walk, between two fixes of one segment: by ping index
// where the indexes count up between the two, else by the pings walked.
PingPlace Between(const PingInfo& p, std::uint64_t n, const PlacedFix& prev, const PlacedFix& next) {
  const TrackPoint &a = prev.point, &b = next.point;
  const bool byIndex = a.ping < p.pingIndex && p.pingIndex < b.ping;
  const auto span = static_cast<std::int64_t>(byIndex ? b.ping - a.ping : next.ordinal - prev.ordinal);
  const auto step = static_cast<std::int64_t>(byIndex ? p.pingIndex - a.ping : n - prev.ordinal);
  const double f = static_cast<double>(step) / static_cast<double>(span);
  PingPlace place;
  place.source = PlaceSource::kInterpolated;
  place.lat = a.lat + (b.lat - a.lat) * f;
  place.lon = a.lon + (b.lon - a.lon) * f;
  if (const auto ta = TimeNs(a), tb = TimeNs(b); ta && tb) {
    place.timeNs = *ta + (*tb - *ta) * step / span;
    place.timeSource = TimeSource::kInterpolated;
  }
  return place;
}

// A ping after the last fix of its segment (after) goes on from that fix;
// one before the first fix of the file goes back from it: a time at the
// rate's ping rate, never a place.
PingPlace Beyond(const PingInfo& p, std::uint64_t n, const PlacedFix& from, bool after, const FixRate& rate) {
  PingPlace place;
  const auto ns = rate.NsPerPing();
  if (!from.point.timeMs || !ns) return place;
  const std::uint32_t at = from.point.ping;
  double steps = 0;
  if (after) steps = p.pingIndex > at ? p.pingIndex - at : static_cast<double>(n - from.ordinal);
  else steps = p.pingIndex < at ? -static_cast<double>(at - p.pingIndex) : -static_cast<double>(from.ordinal - n);
  place.timeNs = *from.point.timeMs * 1000000 + std::llround(steps * *ns);
  place.timeSource = TimeSource::kExtrapolated;
  return place;
}

}  // namespace

PingLocator::PingLocator(const std::string& path, double gapSeconds)
    : path_(path), ahead_(path), track_(gapSeconds), gapSeconds_(gapSeconds) {}

PingLocator::~PingLocator() = default;

std::optional<PlacedFix> PingLocator::Fetch() {
  while (!exhausted_ && ahead_.Next()) {
    const std::uint64_t ordinal = aheadOrdinal_++;
    if (const auto step = track_.Next(ahead_.ping())) {
      const PlacedFix fix{step->point, step->newSegment, ordinal};
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
  if (next_ && next_->ordinal == n) return AtFix(*next_);
  if (prev_ && next_ && !next_->newSegment) return Between(p, n, *prev_, *next_);
  const bool after = prev_.has_value();
  if (!after && !next_) return {};
  const PlacedFix& from = after ? *prev_ : *next_;
  // Going back from the first fix needs the whole record's rate, read once.
  if (!after && from.point.timeMs && !record_) {
    record_.emplace();
    PingReader reader(path_);
    TrackReader track(gapSeconds_);
    for (std::uint64_t ordinal = 0; reader.Next(); ++ordinal) {
      if (const auto step = track.Next(reader.ping())) record_->See({step->point, step->newSegment, ordinal});
    }
  }
  return Beyond(p, n, from, after, after ? seen_ : *record_);
}

void FixRate::See(const PlacedFix& f) {
  if (!f.point.timeMs) return;
  if (!first) first = f;
  last = f;
}

// By ping index where the indexes count up from the first fix to the last,
// else by the pings walked; nothing when time does not run on between them.
std::optional<double> FixRate::NsPerPing() const {
  if (!first || !last || *last->point.timeMs <= *first->point.timeMs) return std::nullopt;
  const double ns = static_cast<double>(*last->point.timeMs - *first->point.timeMs) * 1e6;
  if (last->point.ping > first->point.ping) return ns / (last->point.ping - first->point.ping);
  if (last->ordinal > first->ordinal) return ns / static_cast<double>(last->ordinal - first->ordinal);
  return std::nullopt;
}

PingPlacer::PingPlacer(Placed placed, double gapSeconds) : placed_(std::move(placed)), track_(gapSeconds) {}
PingPlacer::~PingPlacer() = default;

void PingPlacer::Add(const PingInfo& p) {
  const std::uint64_t n = ordinal_++;
  const auto step = track_.Next(p);
  if (!step) {
    if (waiting_.empty()) waitingFrom_ = n;
    waiting_.push_back(p);
    return;
  }
  const PlacedFix fix{step->point, step->newSegment, n};
  seen_.See(fix);
  Settle(&fix);
  placed_(p, n, AtFix(fix));
  if (!first_) first_ = fix;
  prev_ = fix;
}

// The pings waiting, now that the fix after them (next) or the end has come.
void PingPlacer::Settle(const PlacedFix* next) {
  if (!prev_ && next) {  // before the first fix: they wait for the end
    head_.swap(waiting_);
    headFrom_ = waitingFrom_;
  }
  for (std::size_t i = 0; i < waiting_.size(); ++i) {
    const PingInfo& q = waiting_[i];
    const std::uint64_t n = waitingFrom_ + i;
    if (!prev_) placed_(q, n, {});  // no fix at all
    else if (next && !next->newSegment) placed_(q, n, Between(q, n, *prev_, *next));
    else placed_(q, n, Beyond(q, n, *prev_, true, seen_));
  }
  waiting_.clear();
}

void PingPlacer::Finish() {
  Settle(nullptr);
  for (std::size_t i = 0; i < head_.size(); ++i) {
    const std::uint64_t n = headFrom_ + i;
    placed_(head_[i], n, Beyond(head_[i], n, *first_, false, seen_));
  }
  head_.clear();
}

}  // namespace zep
