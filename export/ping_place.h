#pragma once
// Each ping's time and position, from the GPS track of its file: the fix its
// own text first gives, or else one interpolated by ping index between the
// fixes before and after it in the same track segment, or else none. A ping
// after the last fix of its segment, or before the first fix of the file,
// still gets a time: extrapolated from the nearest fix at the record's own
// ping rate (from its first timed fix to its last), never a position.
// Nothing is invented: every ping says where its time and its place came from.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "convert/record_file.h"
#include "export/track.h"

namespace zep {

enum class PlaceSource { kFix, kInterpolated, kNone };
const char* PlaceSourceName(PlaceSource s);  // "fix", "interpolated", "none"

enum class TimeSource { kFix, kInterpolated, kExtrapolated, kNone };
const char* TimeSourceName(TimeSource s);  // "fix", "interpolated", "extrapolated", "none"

struct PingPlace {
  PlaceSource source = PlaceSource::kNone;
  TimeSource timeSource = TimeSource::kNone;  // kNone exactly when timeNs is nothing
  std::optional<std::int64_t> timeNs;  // since 1970 UTC; nothing when the fixes have no date
  double lat = 0, lon = 0;             // when source is not kNone
};

// A fix of a record's track, and which ping of the walk gave it.
struct PlacedFix {
  TrackPoint point;
  bool newSegment = false;
  std::uint64_t ordinal = 0;
};

// The first and the last timed fix of a run of fixes, and the time from one
// ping to the next between them.
struct FixRate {
  std::optional<PlacedFix> first, last;
  std::optional<double> NsPerPing() const;
  void See(const PlacedFix& f);
};

// Places the pings of one record file in the order a walk of it gives them.
// It reads the file a second time, ahead of the caller's walk, to the next
// fix: memory stays constant however far apart the fixes are.
class PingLocator {
 public:
  explicit PingLocator(const std::string& path, double gapSeconds = 60);
  ~PingLocator();
  // The next ping of the caller's walk of the same file.
  PingPlace Next(const PingInfo& p);

 private:
  std::optional<PlacedFix> Fetch();

  std::string path_;
  PingReader ahead_;
  TrackReader track_;
  double gapSeconds_;
  std::uint64_t aheadOrdinal_ = 0, ordinal_ = 0;
  std::optional<PlacedFix> prev_, next_;
  bool exhausted_ = false;
  FixRate seen_;                   // the fixes the read ahead has passed
  std::optional<FixRate> record_;  // the whole record's, read once when a ping before the first fix needs it
};

// Places the pings of a walk as they come, with no second reading of the
// file and the same places as PingLocator: a ping waits for the fix after
// it, or the end of the walk. Each ping is handed to placed once, with its
// ordinal in the walk, in walk order; except that the pings before the
// record's first fix wait for the end (their time goes back from that fix at
// the whole record's rate) and come last. Memory grows with the pings
// waiting: those between two fixes, and those before the first.
class PingPlacer {
 public:
  using Placed = std::function<void(const PingInfo& p, std::uint64_t ordinal, const PingPlace& place)>;
  explicit PingPlacer(Placed placed, double gapSeconds = 60);
  ~PingPlacer();
  void Add(const PingInfo& p);
  // The end of the walk: every ping still waiting is placed.
  void Finish();

 private:
  void Settle(const PlacedFix* next);

  Placed placed_;
  TrackReader track_;
  std::uint64_t ordinal_ = 0;
  std::optional<PlacedFix> first_, prev_;
  FixRate seen_;
  std::vector<PingInfo> waiting_;  // since prev_, or from the first ping when there is none
  std::uint64_t waitingFrom_ = 0;  // the ordinal of waiting_'s first
  std::vector<PingInfo> head_;     // before the first fix
  std::uint64_t headFrom_ = 0;
};

}  // namespace zep
