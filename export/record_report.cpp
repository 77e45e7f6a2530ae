#include "export/record_report.h"

#include <cmath>
#include <cstdio>

#include "convert/nmea.h"
#include "disc/count_text.h"
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

namespace {

nlohmann::ordered_json PositionJson(const std::optional<TrackPoint>& p) {
  if (!p) return nullptr;
  // Seven decimals, as the track gives them (a centimetre).
  const auto round7 = [](double v) { return std::round(v * 1e7) / 1e7; };
  return {{"lat", round7(p->lat)}, {"lon", round7(p->lon)}};
}

nlohmann::ordered_json GapsJson(const RecordWalk& w) {
  nlohmann::ordered_json gaps = nlohmann::ordered_json::array();
  for (const WalkGap& g : w.gaps) {
    gaps.push_back({{"begin", g.begin},
                    {"end", g.end},
                    {"reason", g.problem.what},
                    {"missing_first", g.firstMissing()},
                    {"missing", g.missing()}});
  }
  return gaps;
}

nlohmann::ordered_json RunsJson(const IndexRuns& runs) {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const auto& [first, count] : runs) list.push_back({{"first", first}, {"count", count}});
  return list;
}

}  // namespace

nlohmann::ordered_json RecordReportValue(const RecordFileReport& r) {
  using json = nlohmann::ordered_json;
  if (r.unusable) {
    // The file is named beside it: a file that is no record file says only that.
    const bool named = r.unusable->kind == ProblemKind::kNotRecordFile;
    return {{"file", r.file}, {"error", named ? r.unusable->what : r.unusable->Text()}};
  }
  json modes = json::array();
  for (const auto& [mode, pings] : r.pingsPerMode) modes.push_back({{"mode", mode}, {"pings", pings}});
  auto textOrNull = [](const std::optional<std::string>& t) { return t ? json(Latin1ToUtf8(*t)) : json(nullptr); };
  return {{"file", r.file},
          {"whole", r.walk.Whole()},
          {"pings", r.walk.pings},
          {"unread_pings", r.walk.unreadPings},
          {"unread_samples", r.walk.unreadSamples},
          {"unread", RunsJson(UnreadRuns(r))},
          {"missing_pings", r.walk.MissingPings()},
          {"missing", RunsJson(MissingRuns(r.walk))},
          {"date", r.walk.pings > 0 ? json(r.DateRange()) : json(nullptr)},
          {"modes", modes},
          {"first_gps", textOrNull(r.firstGps)},
          {"last_gps", textOrNull(r.lastGps)},
          {"duration_s", r.DurationSeconds() ? json(*r.DurationSeconds()) : json(nullptr)},
          {"first_position", PositionJson(r.firstFix)},
          {"last_position", PositionJson(r.lastFix)},
          {"gaps", GapsJson(r.walk)},
          {"size", r.walk.size},
          {"problem", r.walk.Whole() ? json(nullptr) : json(r.walk.NotWholeText())}};
}

namespace {

// "14, 92 to 94": indexes, runs of them shortened.
std::string IndexList(const IndexRuns& runs) {
  std::vector<UnitRun> units;
  for (const auto& [first, count] : runs) units.push_back({static_cast<std::int64_t>(first), static_cast<std::int64_t>(count)});
  return RunList(units, " to ");
}

}  // namespace

void WriteRecordReportText(std::ostream& out, const RecordFileReport& r) {
  out << r.file << '\n';
  out << "  pings      " << r.walk.pings << '\n';
  if (r.walk.unreadPings > 0) {
    out << "  unread     " << r.walk.unreadPings << (r.walk.unreadPings == 1 ? " ping with " : " pings with ")
        << r.walk.unreadSamples << " samples not read: " << IndexList(UnreadRuns(r)) << '\n';
  }
  if (const std::uint64_t missing = r.walk.MissingPings(); missing > 0) {
    out << "  missing    " << missing << (missing == 1 ? " ping: " : " pings: ") << IndexList(MissingRuns(r.walk))
        << '\n';
  }
  if (r.walk.pings > 0) {
    out << "  date       " << r.DateRange() << '\n';
    out << "  modes      ";
    const char* separator = "";
    for (const auto& [mode, pings] : r.pingsPerMode) {
      out << separator << mode << " (" << pings << (pings == 1 ? " ping)" : " pings)");
      separator = ", ";
    }
    out << '\n';
  }
  out << "  first GPS  " << (r.firstGps ? Printable(*r.firstGps) : "none") << '\n';
  out << "  last GPS   " << (r.lastGps ? Printable(*r.lastGps) : "none") << '\n';
  if (const auto seconds = r.DurationSeconds()) out << "  duration   " << ClockText(*seconds) << '\n';
  const auto position = [](const std::optional<TrackPoint>& p) {
    return p ? FormatDegrees(p->lat) + ", " + FormatDegrees(p->lon) : std::string("none");
  };
  out << "  first fix  " << position(r.firstFix) << '\n';
  out << "  last fix   " << position(r.lastFix) << '\n';
  for (const WalkGap& g : r.walk.gaps) out << "  gap        " << DescribeGap(g) << '\n';
  out << "  whole      " << (r.walk.Whole() ? "yes" : "no: " + r.walk.NotWholeText()) << '\n';
}

}  // namespace zep
