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
#include "disc/record_names.h"
#include "disc/scan.h"
#include "convert/disc_check.h"
#include "export/check_report.h"

namespace zep::cli {
namespace {

constexpr std::int64_t kMiB = 1024 * 1024;


}  // namespace

Outcome CheckCommand(Console& con, const std::string& source, std::optional<SourceType> type, bool json,
                 const DiscOptions& options) {
  std::optional<DiscSource> disc = OpenSource(con, source, options.mapfile, options.failedReads);
  if (!disc) return kRefused;
  SourceCheck r = StartCheck(*disc, {type, false, true, options.forceType});
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
  const CheckReport report{source, r.type.type, r.type.evidence, r.dir, r.directoryProblem, r.health};
  if (json) WriteJson(con, CheckReportValue(report));
  else WriteCheckReportText(con.out, report);
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
