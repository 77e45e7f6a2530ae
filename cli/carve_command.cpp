// zepconv carve: the records of a disc whose directory is lost, as runs of ping
// records found anywhere on it.

#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/disc_type.h"
#include "cli/files.h"
#include "cli/progress.h"
#include "cli/whole_disc.h"
#include "convert/carve.h"

namespace zep::cli {
namespace {

constexpr std::int64_t kMiB = 1024 * 1024;

// The copied sectors of every record a ZEP V1.X directory lists: a conversion
// writes their pings, so carving them again would only write them twice.
std::vector<ByteRange> ListedRecords(Console& con, const WholeDisc& disc, std::optional<SourceType> given) {
  if (IsScanDump(disc)) {
    con.Report("", disc.source + " is a scan dump: it has no record directory, every run is kept");
    return {};
  }
  std::string error;
  const RecordDirectory dir = ReadDirectory(*disc.volume, error);
  if (!error.empty()) con.Report("", error + "; every run is kept");
  const SettledType settled = SettleType(con, disc.source, disc.opener, dir, given, false, error.empty());
  if (settled.evidence.kind == DiscKind::Unknown && !given) {
    con.Report("", "the record directory lists nothing to trust: every run is kept");
    return {};
  }
  if (settled.type != SourceType::ZepV1) return {};  // TK40 blocks hold no ping records a conversion copies
  std::vector<ByteRange> ranges;
  for (int slot = 0; slot < kSlotCount; ++slot) {
    if (!IsRecordSlot(dir, slot)) continue;
    const DirectoryEntry e = ReadEntry(dir, slot, SourceType::ZepV1);
    if (e.first < 0 || e.second <= 2) continue;
    ranges.push_back({static_cast<std::uint64_t>(ZepSectorOffset(std::int64_t{e.first} + 2)),
                      static_cast<std::uint64_t>(ZepSectorOffset(std::int64_t{e.first} + e.second))});
  }
  return ranges;
}

}  // namespace

int CarveCommand(Console& con, const std::string& source, std::optional<SourceType> type, const std::string& outDir,
                 bool all, const DiscOptions& discOptions) {
  std::optional<WholeDisc> disc = OpenWholeDisc(con, source, discOptions.mapfile);
  if (!disc) return kRefused;
  CarveOptions options;
  options.outDir = outDir;
  options.output.noClobber = discOptions.noClobber;
  if (!all) options.leaveOut = ListedRecords(con, *disc, type);
  if (!MakeFolder(con, outDir)) return kPartly;

  CarveResult r;
  {
    ProgressBar bar(con.err, con.progress, "carve", disc->size >= 0 ? (disc->size + kMiB - 1) / kMiB : 0, "MiB", kMiB);
    const Progress hooks = bar.Hooks();
    if (hooks.setPos) {
      options.progress = [&](std::uint64_t reached) {
        hooks.setPos(static_cast<std::int32_t>((reached + kMiB - 1) / kMiB) - 1);
      };
    }
    r = CarveRuns(*disc->volume, options);
  }
  for (const CarvedFile& f : r.files) {
    con.out << JoinPath(outDir, CarvedFileName(f.offset)) << ": " << f.pings << (f.pings == 1 ? " ping" : " pings")
            << " from byte " << f.offset << '\n';
  }
  if (r.files.empty() && r.failures.empty()) con.out << "no runs of ping records outside the listed records\n";
  if (r.pingsLeftOut > 0) {
    con.Report("", std::to_string(r.pingsLeftOut) +
                       " pings inside the records the directory lists were left out (--all keeps them)");
  }
  for (const std::string& f : r.failures) con.Report("", f);
  if (r.unreadableSectors > 0) {
    con.Report({"",
                std::to_string(r.unreadableSectors) + " sectors could not be read (first: " + r.firstReadError +
                    "); runs end at them",
                r.unreadableSectors});
  }
  return r.failures.empty() && r.unreadableSectors == 0 ? kDone : kPartly;
}

}  // namespace zep::cli
