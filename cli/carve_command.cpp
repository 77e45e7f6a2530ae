// zepconv carve: the records of a disc whose directory is lost, as runs of ping
// records (ZEP V1.X) or of data blocks (TK40) found anywhere on it.

#include <optional>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/disc_type.h"
#include "cli/files.h"
#include "cli/progress.h"
#include "disc/scan.h"
#include "convert/carve.h"
#include "operations/records.h"

namespace zep::cli {
namespace {

constexpr std::int64_t kMiB = 1024 * 1024;

// What to look for, and what to leave out: the pings a conversion of each
// listed record writes, as its walk finds them, so that a default convert
// and carve of one disc hold each ping once. A disc whose type nothing tells
// is searched for both kinds of run.
std::optional<CarvePlan> PlanCarveOf(Console& con, const DiscSource& disc, std::optional<SourceType> given, bool all,
                                     bool force) {
  const CarveStart start = StartCarve(disc, {.given = given, .force = force}, all);
  if (start.scanDump) {
    if (!all) {
      con.Report({"", disc.source + " is a scan dump: it has no record directory, every run is kept", 0,
                  ProblemKind::kNoDirectory});
    }
    return start.plan;
  }
  if (const std::optional<Problem>& unread = start.directoryProblem; unread && !all) {
    con.Report({unread->subject, unread->what + "; every run is kept", unread->units, unread->kind});
  }
  if (!SayType(con, disc.source, start.settled, given, false, !start.directoryProblem)) return std::nullopt;
  if (start.plan->kept == KeptWhole::kNothingToTrust) {
    con.Report({"", "the record directory lists nothing to trust: every run is kept", 0, ProblemKind::kNoDirectory});
  }
  return start.plan;
}

// The carve itself, under a bar counting MiB of the disc.
CarveResult CarveUnderBar(Console& con, const DiscSource& disc, CarveOptions& options) {
  ProgressBar bar(con.err, con.progress, "carve", disc.size >= 0 ? (disc.size + kMiB - 1) / kMiB : 0, "MiB", kMiB);
  const Progress hooks = bar.Hooks();
  if (hooks.setPos) {
    options.progress = [&](std::uint64_t reached) {
      hooks.setPos(static_cast<std::int32_t>((reached + kMiB - 1) / kMiB) - 1);
    };
  }
  return CarveRuns(*disc.volume, options);
}

// The files carved, one line each, and every problem; the exit status.
Outcome TellCarved(Console& con, const std::string& source, const std::string& outDir, const CarveResult& r,
               DiscTally* discTally) {
  if (discTally) discTally->Add(TallyOfCarve(r));
  for (const CarvedFile& f : r.files) {
    con.out << JoinPath(outDir, CarvedFileName(f.offset)) << ": " << f.pings << (f.pings == 1 ? " ping" : " pings")
            << " from byte " << f.offset << '\n';
  }
  // Like grep that finds nothing: done, but not what was hoped for.
  if (r.runs == 0) con.Report(NoRunsFound(source));
  else if (r.files.empty() && r.failures.empty()) con.out << "no runs of ping records outside the listed records\n";
  // What was asked for, said: no fault.
  if (r.pingsLeftOut > 0) {
    con.Note({"", std::to_string(r.pingsLeftOut) +
                      " pings that a conversion of the listed records writes were left out (--all keeps them)",
              0, ProblemKind::kOther, Severity::kNote});
  }
  FileTally tally{.written = static_cast<int>(r.files.size())};
  for (const Problem& f : r.failures) {
    con.Report(f);
    tally.Failed(f);
  }
  for (const Problem& p : UnreadProblems(r)) con.Report(p);
  return tally.Status(r.unreadableSectors > 0 || r.notTriedSectors > 0 || r.runs == 0);
}

}  // namespace

Outcome CarveCommand(Console& con, const std::string& source, std::optional<SourceType> type, const std::string& outDir,
                 bool all, const DiscOptions& discOptions) {
  std::optional<DiscSource> disc = OpenSource(con, source, discOptions.mapfile, discOptions.failedReads, false);
  if (!disc) return kRefused;
  CarveOptions options;
  options.outDir = outDir;
  options.output.noClobber = discOptions.noClobber;
  std::optional<CarvePlan> plan = PlanCarveOf(con, *disc, type, all, discOptions.forceType);
  if (!plan) return kRefused;
  options.type = plan->type;
  options.written = std::move(plan->written);
  if (!MakeFolder(con, outDir)) return kRefused;
  const CarveResult r = CarveUnderBar(con, *disc, options);
  return TellCarved(con, source, outDir, r, discOptions.tally);
}

}  // namespace zep::cli
