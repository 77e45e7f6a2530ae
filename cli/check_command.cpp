// zepconv check: the disc's health, read once, nothing written.

#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/disc_type.h"
#include "cli/progress.h"
#include "cli/run_report.h"
#include "cli/text.h"
#include "operations/disc_problems.h"
#include "operations/source_check.h"
#include "disc/count_text.h"
#include "disc/record_names.h"
#include "disc/scan.h"
#include "convert/disc_check.h"
#include "export/check_report.h"

namespace zep::cli {
namespace {

constexpr std::int64_t kMiB = 1024 * 1024;

using Report = SourceCheck;

std::string Ranges(const std::vector<UnitRun>& runs) { return RunList(runs, "-"); }

// "320, to the end", "92, breaks at byte 3698176", "14 + 224 after 1 hole".
std::string WalkText(const RecordHealth& h) {
  std::string text;
  for (std::uint64_t run : h.walkRuns) text += (text.empty() ? "" : " + ") + std::to_string(run);
  const std::size_t holes = h.walkRuns.size() - 1;
  if (holes > 0) text += " after " + Counted(static_cast<std::int64_t>(holes), "hole");
  if (h.walkStopsAt) text += ", breaks at byte " + std::to_string(*h.walkStopsAt);
  else if (holes == 0) text += ", to the end";
  return text;
}

void WriteText(Console& con, const Report& r) {
  const bool tk40 = r.type.type == SourceType::Tk40;
  const AreaHealth& d = r.health.dump;
  const bool noDirectory = r.type.evidence.kind == DiscKind::Blank && r.directoryProblem;
  con.out << "type       " << (noDirectory ? "no record directory to weigh" : r.type.evidence.Describe());
  if (r.type.evidence.type() != r.type.type && !r.health.records.empty()) {
    con.out << "; read as " << SourceTypeName(r.type.type) << " as --type says";
  }
  con.out << '\n'
          << "directory  " << (!r.directoryProblem ? "read" : "not read whole: " + r.directoryProblem->Text()) << '\n'
          << "label      " << (HasLabel(r.dir) ? Printable(RecordName(r.dir, kLabelSlot, r.type.type)) : "none") << '\n'
          << "dump area  ";
  if (d.readable()) con.out << "readable\n";
  else if (d.beyondEnd == d.pieces) con.out << "past the end of the volume\n";
  else con.out << d.unreadable << " of " << d.pieces << " pieces unreadable, " << d.beyondEnd << " past the end\n";
  con.out << '\n';
  if (r.health.records.empty()) {
    con.out << "(no records)\n";
    return;
  }
  std::vector<std::vector<std::string>> rows;
  for (const RecordHealth& h : r.health.records) {
    std::vector<std::string> row = {std::to_string(h.slot + 1), Printable(RecordName(r.dir, h.slot, r.type.type)),
                                    std::to_string(h.directoryCount), std::to_string(h.wholeUnits),
                                    h.unreadable.empty() ? "-" : Ranges(h.unreadable), std::to_string(h.beyondEnd)};
    if (tk40) row.push_back(std::to_string(h.noMode));
    else row.push_back(WalkText(h));
    row.push_back(std::to_string(h.pings));
    row.push_back(h.unreadPings > 0 ? std::to_string(h.unreadPings) : "-");
    row.push_back(h.missing.empty() ? "-" : Ranges(h.missing));
    row.push_back(VerdictName(h.verdict));
    rows.push_back(row);
  }
  const std::string unit = tk40 ? "blocks" : "sectors";
  WriteTable(con.out,
             {{"Record", true}, {"Name"}, {"Count", true}, {"Whole " + unit, true}, {"Unreadable " + unit},
              {"Beyond end", true}, {tk40 ? "No mode" : "Walk (pings)", tk40}, {"Pings", true}, {"Unread pings", true},
              {"Missing pings"}, {"Verdict"}},
             rows);
  // The two columns that seem to disagree by 2 on every record.
  if (!tk40) {
    con.out << "\nCount is the directory's; the first 2 sectors of a record are never copied, the other sector "
               "columns count the rest.\n";
  }
}

}  // namespace

Outcome CheckCommand(Console& con, const std::string& source, std::optional<SourceType> type, bool json,
                 const DiscOptions& options) {
  std::optional<DiscSource> disc = OpenSource(con, source, options.mapfile, options.failedReads);
  if (!disc) return kRefused;
  Report r = StartCheck(*disc, {type, false, true, options.forceType});
  // The evidence is part of the report; only a contradicted --type gets a word on stderr.
  if (type && !SayType(con, source, r.type, type, false)) return kRefused;
  {
    const std::uint64_t total = r.checkable ? BytesToCheck(r.dir, r.type.type, disc->size) : 0;
    ProgressBar bar(con.err, con.progress, "check", static_cast<std::int64_t>((total + kMiB - 1) / kMiB), "MiB", kMiB);
    const Progress hooks = bar.Hooks();
    std::function<void(std::uint64_t)> progress;
    if (hooks.setPos) progress = [&](std::uint64_t done) { hooks.setPos(static_cast<std::int32_t>(done / kMiB)); };
    CheckRecords(*disc, r, progress);
  }
  if (json) WriteJson(con, CheckReportValue({source, r.type.type, r.type.evidence, r.dir, r.directoryProblem, r.health}));
  else WriteText(con, r);
  if (!r.checkable) {
    con.Report({source, "the records were not checked; give --type tk40 or --type zep to check them as such", 0,
                r.type.said.kind});
    return kRefused;
  }
  for (const RecordHealth& h : r.health.records) {
    if (options.tally) options.tally->Add(TallyOfCheck(r.type.type, h));
    const std::string name = Printable(RecordName(r.dir, h.slot, r.type.type));
    if (std::optional<Problem> p = RecordHealthProblem(h, r.type.type, name)) con.Report(std::move(*p));
  }
  return AnythingLost(r) ? kPartly : kDone;
}

}  // namespace zep::cli
