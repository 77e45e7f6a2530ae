#pragma once
// Each ping's time and position, from the GPS track of its file: the fix its
// own text first gives, or else one interpolated by ping index between the
// fixes before and after it in the same track segment, or else none. Nothing
// is invented: every ping says which of the three it is.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "convert/record_file.h"
#include "export/track.h"

namespace zep {

enum class PlaceSource { kFix, kInterpolated, kNone };
const char* PlaceSourceName(PlaceSource s);  // "fix", "interpolated", "none"

struct PingPlace {
  PlaceSource source = PlaceSource::kNone;
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
  std::optional<Fix> Fetch();

  PingReader ahead_;
  TrackReader track_;
  std::uint64_t aheadOrdinal_ = 0, ordinal_ = 0;
  std::optional<Fix> prev_, next_;
  bool exhausted_ = false;
};

}  // namespace zep
