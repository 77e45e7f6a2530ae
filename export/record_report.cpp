#include "export/record_report.h"

#include <cstdio>

#include "export/text_output.h"

namespace zep {
namespace {

std::string DateOf(const PingInfo& p) {
  // The fields are BCD, so their hex digits are the decimal ones.
  char text[16];
  std::snprintf(text, sizeof text, "%04x-%02x-%02x", p.year, p.month, p.day);
  return text;
}

}  // namespace

std::string RecordFileReport::DateRange() const {
  return firstDate == lastDate ? firstDate : firstDate + " to " + lastDate;
}

std::optional<std::int64_t> RecordFileReport::DurationSeconds() const {
  if (!firstFix || !firstFix->timeMs || !lastFix->timeMs) return std::nullopt;
  return (*lastFix->timeMs - *firstFix->timeMs) / 1000;
}

RecordFileReport InspectRecordFile(const std::string& path) {
  RecordFileReport r;
  r.file = path;
  TrackReader track(60);
  r.walk = WalkRecordFile(path, [&r, &track](const PingInfo& p) {
    ++r.pingsPerMode[p.mode];
    if (!p.unread.empty()) r.unreadPings.push_back(p.pingIndex);
    if (const auto step = track.Next(p)) {
      if (!r.firstFix) r.firstFix = step->point;
      r.lastFix = step->point;
    }
    r.lastDate = DateOf(p);
    if (r.firstDate.empty()) r.firstDate = r.lastDate;
    const std::string gps = StoredGpsText(p);
    if (!gps.empty()) {
      if (!r.firstGps) r.firstGps = gps;
      r.lastGps = gps;
    }
  });
  r.unusable = r.walk.Unusable(r.file);
  return r;
}

IndexRuns MissingRuns(const RecordWalk& walk) {
  IndexRuns runs;
  for (const WalkGap& g : walk.gaps) {
    if (g.missing() > 0) runs.emplace_back(g.firstMissing(), g.missing());
  }
  return runs;
}

IndexRuns UnreadRuns(const RecordFileReport& report) {
  IndexRuns runs;
  for (const std::uint32_t i : report.unreadPings) {
    if (!runs.empty() && runs.back().first + runs.back().second == i) ++runs.back().second;
    else runs.emplace_back(i, 1);
  }
  return runs;
}

}  // namespace zep
