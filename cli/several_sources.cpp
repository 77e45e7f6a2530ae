#include "cli/several_sources.h"

#include <nlohmann/json.hpp>

#include "cli/files.h"
#include "cli/run_report.h"
#include "cli/text.h"
#include "disc/rescue_map.h"
#include "box/inventory.h"

namespace zep::cli {

DiscOptions WithMapfileBeside(Console& con, const std::string& source, DiscOptions options) {
  if (!options.mapfile.empty()) return options;
  options.mapfile = FindMapfileBeside(source);
  if (!options.mapfile.empty()) {
    con.Note({source, "using the mapfile beside it, " + options.mapfile});
  }
  return options;
}

namespace {

using json = nlohmann::ordered_json;

// One disc's object, the document its command made set in as its report
// (null when it made none).
json DiscReportJson(const std::string& source, const std::string& folder, const std::string& mapfile, Outcome status,
                    json report) {
  return {{"source", source},
          {"folder", folder.empty() ? json(nullptr) : json(folder)},
          {"mapfile", mapfile.empty() ? json(nullptr) : json(mapfile)},
          {"status", ExitCode(status)},
          {"report", std::move(report)}};
}

// One disc of the run: what it gave and how it ended.
struct DiscDone {
  std::string source, folder;
  DiscTally tally;
  Outcome status = kDone;
};

// Runs one disc under a console of its own. Under --json its object goes into
// reports, so that stdout stays one JSON text; otherwise its lines go out
// under a "== SOURCE" heading.
DiscDone RunOneSource(Console& con, const std::string& source, const std::string& folder,
                      const DiscOptions& options, const DiscRun& run, json& reports) {
  DiscDone d;
  d.source = source;
  d.folder = folder;
  DiscOptions mine = WithMapfileBeside(con, source, options);
  mine.tally = &d.tally;
  if (con.json) {
    json report;
    Console discCon{con.out, con.err, con.progress, true, {}, source};
    discCon.document = &report;
    d.status = run(discCon, source, d.folder, mine);
    con.problems.insert(con.problems.end(), discCon.problems.begin(), discCon.problems.end());
    reports.push_back(DiscReportJson(source, d.folder, mine.mapfile, d.status, std::move(report)));
  } else {
    con.out << "== " << source << (d.folder.empty() ? "" : " -> " + d.folder) << '\n';
    Console discCon{con.out, con.err, con.progress, false, {}, source};
    d.status = run(discCon, source, d.folder, mine);
    con.problems.insert(con.problems.end(), discCon.problems.begin(), discCon.problems.end());
    con.out << '\n';
  }
  return d;
}

// The line per disc and the total, or the JSON text holding them; the run's
// exit status.
Outcome WriteSummary(Console& con, const std::vector<DiscDone>& done, json reports) {
  DiscTally total;
  StatusFold fold;
  for (const DiscDone& d : done) {
    total.Add(d.tally);
    fold.Add(d.status);
  }
  const Outcome status = fold.Status();
  auto outcome = [](Outcome s) { return s == kDone ? "done" : s == kPartly ? "partly done" : "nothing done"; };
  if (con.json) {
    const json totals = {{"discs", done.size()}, {"records", total.records}, {"pings", total.pings},
                         {"lost", total.lost}, {"past_end", total.pastEnd},
                         {"never_tried", total.notTried}, {"status", ExitCode(status)}};
    WriteJson(con, {{"discs", std::move(reports)}, {"total", totals}});
    return status;
  }
  for (const DiscDone& d : done) {
    con.out << d.source << (d.folder.empty() ? "" : " -> " + d.folder) << ": "
            << Counted(d.tally.records, "record", "records") << ", " << Counted(d.tally.pings, "ping", "pings") << ", "
            << UnitCounts(d.tally) << ", " << outcome(d.status) << '\n';
  }
  con.out << "total: " << Counted(static_cast<std::int64_t>(done.size()), "disc", "discs") << ", "
          << Counted(total.records, "record", "records") << ", " << Counted(total.pings, "ping", "pings") << ", "
          << UnitCounts(total) << ", " << outcome(status) << '\n';
  return status;
}

}  // namespace

Outcome RunSeveralSources(Console& con, const std::vector<std::string>& sources, const std::string& outDir,
                      const DiscOptions& options, const DiscRun& run) {
  std::vector<DiscDone> done;
  std::vector<std::string> taken;
  json reports = json::array();  // each disc's object
  for (const std::string& source : sources) {
    const std::string folder = outDir.empty() ? std::string() : JoinPath(outDir, DiscFolderName(source, taken));
    done.push_back(RunOneSource(con, source, folder, options, run, reports));
  }
  return WriteSummary(con, done, std::move(reports));
}

}  // namespace zep::cli
