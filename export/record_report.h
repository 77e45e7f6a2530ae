#pragma once
// What a record file holds, as one walk of it finds: its pings per mode, the
// dates, the first and last GPS text, the track's ends, and which pings are
// missing or have unread samples; as JSON and as text, as zepconv info
// shows it.

#include <cstdint>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "convert/record_file.h"
#include "disc/problem.h"
#include "export/track.h"

namespace zep {

struct RecordFileReport {
  std::string file;
  RecordWalk walk;
  std::map<unsigned, std::uint64_t> pingsPerMode;
  std::string firstDate, lastDate;  // YYYY-MM-DD, from the pings' own fields
  std::optional<std::string> firstGps, lastGps;
  // Nothing of the file can be used: it did not open, or it is some other
  // kind of file, not a damaged record file.
  std::optional<Problem> unusable;
  std::optional<TrackPoint> firstFix, lastFix;  // the track's ends
  std::vector<std::uint32_t> unreadPings;       // indexes of the pings with unread samples

  // "2008-11-05", or "2008-11-05 to 2008-11-06" when the pings span days.
  std::string DateRange() const;
  // Seconds from the first fix to the last, when both have a time.
  std::optional<std::int64_t> DurationSeconds() const;
};

RecordFileReport InspectRecordFile(const std::string& path);

// Runs of ping indexes, each its first index and how many: those missing, and
// those with unread samples.
using IndexRuns = std::vector<std::pair<std::uint64_t, std::uint64_t>>;
IndexRuns MissingRuns(const RecordWalk& walk);
IndexRuns UnreadRuns(const RecordFileReport& report);

// The report as `info --json` gives it; names as UTF-8 from their Latin-1 bytes.
nlohmann::ordered_json RecordReportValue(const RecordFileReport& report);
// The report as `info` shows it, a line a field; names shown as on a terminal (Printable).
void WriteRecordReportText(std::ostream& out, const RecordFileReport& report);

}  // namespace zep
