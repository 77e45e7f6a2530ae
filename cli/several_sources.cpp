#include "cli/several_sources.h"

#include <sstream>

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

// A JSON text indented by two per level, set in at depth levels.
std::string Indented(const std::string& text, int depth) {
  std::string out;
  for (char c : text) {
    out += c;
    if (c == '\n') out.append(static_cast<std::size_t>(2 * depth), ' ');
  }
  return out;
}

// One disc's object, its command's report set in as the command wrote it:
// the report is our own JSON, and reading it back would only lose what
// nlohmann cannot hold (a name that is not UTF-8).
std::string DiscReportJson(const std::string& source, const std::string& folder, const std::string& mapfile,
                           Outcome status, const std::string& report) {
  json head = {{"source", source},
               {"folder", folder.empty() ? json(nullptr) : json(folder)},
               {"mapfile", mapfile.empty() ? json(nullptr) : json(mapfile)},
               {"status", ExitCode(status)}};
  std::string text = head.dump(2, ' ', false, kReplaceInvalid);
  std::string body = report;
  while (!body.empty() && (body.back() == '\n' || body.back() == ' ')) body.pop_back();
  text.resize(text.size() - 2);  // "\n}"
  text += ",\n  \"report\": " + (body.empty() ? std::string("null") : Indented(body, 1)) + "\n}";
  return Indented(text, 2);
}

// {"discs": [each disc's object], "total": {...}}, as nlohmann indents it.
void WriteJsonReports(std::ostream& out, const std::vector<std::string>& reports, const json& totals) {
  out << "{\n  \"discs\": [";
  for (std::size_t i = 0; i < reports.size(); ++i) out << (i ? ",\n    " : "\n    ") << reports[i];
  out << (reports.empty() ? "],\n" : "\n  ],\n") << "  \"total\": " << Indented(totals.dump(2), 1) << "\n}\n";
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
                      const DiscOptions& options, const DiscRun& run, std::vector<std::string>& reports) {
  DiscDone d;
  d.source = source;
  d.folder = folder;
  DiscOptions mine = WithMapfileBeside(con, source, options);
  mine.tally = &d.tally;
  if (con.json) {
    std::ostringstream out;
    Console discCon{out, con.err, con.progress, true, {}, source};
    d.status = run(discCon, source, d.folder, mine);
    con.problems.insert(con.problems.end(), discCon.problems.begin(), discCon.problems.end());
    reports.push_back(DiscReportJson(source, d.folder, mine.mapfile, d.status, out.str()));
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
Outcome WriteSummary(Console& con, const std::vector<DiscDone>& done, const std::vector<std::string>& reports) {
  DiscTally total;
  StatusFold fold;
  for (const DiscDone& d : done) {
    total.records += d.tally.records;
    total.pings += d.tally.pings;
    total.lost += d.tally.lost;
    total.pastEnd += d.tally.pastEnd;
    total.notTried += d.tally.notTried;
    fold.Add(d.status);
  }
  const Outcome status = fold.Status();
  auto outcome = [](Outcome s) { return s == kDone ? "done" : s == kPartly ? "partly done" : "nothing done"; };
  if (con.json) {
    const json totals = {{"discs", done.size()}, {"records", total.records}, {"pings", total.pings},
                         {"lost", total.lost}, {"past_end", total.pastEnd},
                         {"never_tried", total.notTried}, {"status", ExitCode(status)}};
    WriteJsonReports(con.out, reports, totals);
    return status;
  }
  for (const DiscDone& d : done) {
    con.out << d.source << (d.folder.empty() ? "" : " -> " + d.folder) << ": "
            << Count(d.tally.records, "record", "records") << ", " << Count(d.tally.pings, "ping", "pings") << ", "
            << UnitCounts(d.tally) << ", " << outcome(d.status) << '\n';
  }
  con.out << "total: " << Count(static_cast<std::int64_t>(done.size()), "disc", "discs") << ", "
          << Count(total.records, "record", "records") << ", " << Count(total.pings, "ping", "pings") << ", "
          << UnitCounts(total) << ", " << outcome(status) << '\n';
  return status;
}

}  // namespace

Outcome RunSeveralSources(Console& con, const std::vector<std::string>& sources, const std::string& outDir,
                      const DiscOptions& options, const DiscRun& run) {
  std::vector<DiscDone> done;
  std::vector<std::string> taken;
  std::vector<std::string> reports;  // each disc's object, as it will stand in the array
  for (const std::string& source : sources) {
    const std::string folder = outDir.empty() ? std::string() : JoinPath(outDir, DiscFolderName(source, taken));
    done.push_back(RunOneSource(con, source, folder, options, run, reports));
  }
  return WriteSummary(con, done, reports);
}

}  // namespace zep::cli
