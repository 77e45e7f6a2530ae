#include "cli/several_sources.h"

#include <sstream>

#include <nlohmann/json.hpp>

#include "cli/files.h"
#include "cli/run_report.h"
#include "cli/text.h"
#include "disc/rescue_map.h"
#include "export/inventory.h"

namespace zep::cli {

DiscOptions WithMapfileBeside(Console& con, const std::string& source, DiscOptions options) {
  if (!options.mapfile.empty()) return options;
  options.mapfile = FindMapfileBeside(source);
  if (!options.mapfile.empty()) {
    con.Note({source, "using the mapfile beside it, " + options.mapfile});
  }
  return options;
}

int RunSeveralSources(Console& con, const std::vector<std::string>& sources, const std::string& outDir,
                      const DiscOptions& options, const DiscRun& run) {
  using json = nlohmann::ordered_json;
  struct Done {
    std::string source, folder;
    DiscTally tally;
    int status = kDone;
  };
  std::vector<Done> done;
  std::vector<std::string> taken;
  json reports = json::array();
  for (const std::string& source : sources) {
    Done d;
    d.source = source;
    if (!outDir.empty()) d.folder = JoinPath(outDir, DiscFolderName(source, taken));
    DiscOptions mine = WithMapfileBeside(con, source, options);
    mine.tally = &d.tally;
    if (con.json) {
      // Each disc's object goes into one array, so that stdout stays one JSON text.
      std::ostringstream out;
      Console discCon{out, con.err, con.progress, true, {}, source};
      d.status = run(discCon, source, d.folder, mine);
      con.problems.insert(con.problems.end(), discCon.problems.begin(), discCon.problems.end());
      json report = json::parse(out.str(), nullptr, false);
      reports.push_back({{"source", source},
                         {"folder", d.folder.empty() ? json(nullptr) : json(d.folder)},
                         {"mapfile", mine.mapfile.empty() ? json(nullptr) : json(mine.mapfile)},
                         {"status", d.status},
                         {"report", report.is_discarded() ? json(nullptr) : report}});
    } else {
      con.out << "== " << source << (d.folder.empty() ? "" : " -> " + d.folder) << '\n';
      Console discCon{con.out, con.err, con.progress, false, {}, source};
      d.status = run(discCon, source, d.folder, mine);
      con.problems.insert(con.problems.end(), discCon.problems.begin(), discCon.problems.end());
      con.out << '\n';
    }
    done.push_back(d);
  }

  DiscTally total;
  int worst = kDone, best = kRefused;
  for (const Done& d : done) {
    total.records += d.tally.records;
    total.pings += d.tally.pings;
    total.lost += d.tally.lost;
    worst = std::max(worst, d.status);
    best = std::min(best, d.status);
  }
  const int status = worst == kDone ? kDone : best == kRefused ? kRefused : kPartly;
  auto outcome = [](int s) { return s == kDone ? "done" : s == kPartly ? "partly done" : "nothing done"; };
  if (con.json) {
    json doc = {{"discs", reports},
                {"total", {{"discs", done.size()}, {"records", total.records}, {"pings", total.pings},
                           {"lost", total.lost}, {"status", status}}}};
    con.out << doc.dump(2, ' ', false, kReplaceInvalid) << '\n';
    return status;
  }
  for (const Done& d : done) {
    con.out << d.source << (d.folder.empty() ? "" : " -> " + d.folder) << ": " << d.tally.records << " records, "
            << d.tally.pings << " pings, " << d.tally.lost << " units lost, " << outcome(d.status) << '\n';
  }
  con.out << "total: " << done.size() << " discs, " << total.records << " records, " << total.pings << " pings, "
          << total.lost << " units lost, " << outcome(status) << '\n';
  return status;
}

}  // namespace zep::cli
