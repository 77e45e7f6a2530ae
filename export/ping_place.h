#pragma once
// Each ping's time and position, from the GPS track of its file: the fix its
// own text first gives, or else one interpolated by ping index between the
// fixes before and after it in the same track segment, or else none. A ping
// after the last fix of its segment, or before the first fix of the file,
// still gets a time: extrapolated from the nearest fix at the record's own
// ping rate (from its first timed fix to its last), never a position.
// Nothing is invented: every ping says where its time and its place came from.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

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
  struct Fix {
    TrackPoint point;
    bool newSegment = false;
    std::uint64_t ordinal = 0;  // which ping of the walk gave it
  };
  // The first and the last timed fix of the record, and the time from one
  // ping to the next between them.
  struct Rate {
    std::optional<Fix> first, last;
    std::optional<double> NsPerPing() const;
    void See(const Fix& f);
  };
  std::optional<Fix> Fetch();
  void Extrapolate(const PingInfo& p, std::uint64_t n, PingPlace& place);

  std::string path_;
  PingReader ahead_;
  TrackReader track_;
  double gapSeconds_;
  std::uint64_t aheadOrdinal_ = 0, ordinal_ = 0;
  std::optional<Fix> prev_, next_;
  bool exhausted_ = false;
  Rate seen_;                   // the fixes the read ahead has passed
  std::optional<Rate> record_;  // the whole record's, read once when a ping before the first fix needs it
};

}  // namespace zep
