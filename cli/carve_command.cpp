// zepconv carve: the records of a disc whose directory is lost, as runs of ping
// records found anywhere on it.

#include <optional>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/disc_type.h"
#include "cli/files.h"
#include "cli/progress.h"
#include "cli/whole_disc.h"
#include "disc/scan.h"
#include "convert/carve.h"

namespace zep::cli {
namespace {

constexpr std::int64_t kMiB = 1024 * 1024;

// The copied sectors of every record a ZEP V1.X directory lists: a conversion
// writes their pings, so carving them again would only write them twice.
// Nothing when the disc is a TK40 one: its blocks hold no ping records at
// all (a conversion makes them), so there is nothing to search for.
std::optional<std::vector<ByteRange>> ListedRecords(Console& con, const WholeDisc& disc,
                                                    std::optional<SourceType> given, bool all) {
  if (IsScanDump(disc)) {
    if (!all) con.Report("", disc.source + " is a scan dump: it has no record directory, every run is kept");
    return std::vector<ByteRange>{};
  }
  RecordDirectory dir{};
  const std::optional<Problem> unread = ReadRecordDirectory(*disc.volume, dir);
  if (unread && !all) con.Report(unread->subject, unread->what + "; every run is kept");
  const SettledType settled = SettleType(con, disc.source, disc.opener, dir, given, false, !unread);
  const DiscKind kind = settled.evidence.kind;
  if (given == SourceType::Tk40 || (!given && kind == DiscKind::Tk40)) {
    con.Report(disc.source, "TK40 discs hold no ping records to search for (convert makes the pings from the "
                            "blocks the directory lists)");
    return std::nullopt;
  }
  if (all) return std::vector<ByteRange>{};
  if (kind == DiscKind::Unknown && !given) {
    con.Report("", "the record directory lists nothing to trust: every run is kept");
    return std::vector<ByteRange>{};
  }
  if (settled.type != SourceType::ZepV1) return std::vector<ByteRange>{};
  std::vector<ByteRange> ranges;
  for (int slot = 0; slot < kSlotCount; ++slot) {
    if (!IsRecordSlot(dir, slot)) continue;
    const RecordExtent ext = ExtentOf(dir, slot, SourceType::ZepV1);
    if (ext.firstUnit < 2 || ext.listed <= 2) continue;
    ranges.push_back({static_cast<std::uint64_t>(ext.Offset(0)), static_cast<std::uint64_t>(ext.Offset(ext.count))});
  }
  return ranges;
}

}  // namespace

int CarveCommand(Console& con, const std::string& source, std::optional<SourceType> type, const std::string& outDir,
                 bool all, const DiscOptions& discOptions) {
  std::optional<WholeDisc> disc = OpenSource(con, source, discOptions.mapfile, discOptions.failedReads);
  if (!disc) return kRefused;
  CarveOptions options;
  options.outDir = outDir;
  options.output.noClobber = discOptions.noClobber;
  std::optional<std::vector<ByteRange>> listed = ListedRecords(con, *disc, type, all);
  if (!listed) return kRefused;
  options.leaveOut = std::move(*listed);
  if (!MakeFolder(con, outDir)) return kRefused;

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
    if (discOptions.tally) {
      discOptions.tally->records += 1;
      discOptions.tally->pings += static_cast<std::int64_t>(f.pings);
    }
    con.out << JoinPath(outDir, CarvedFileName(f.offset)) << ": " << f.pings << (f.pings == 1 ? " ping" : " pings")
            << " from byte " << f.offset << '\n';
  }
  if (discOptions.tally) discOptions.tally->lost += r.unreadableSectors;
  // Like grep that finds nothing: done, but not what was hoped for.
  if (r.runs == 0) con.Report(source, "no runs of ping records found");
  else if (r.files.empty() && r.failures.empty()) con.out << "no runs of ping records outside the listed records\n";
  if (r.pingsLeftOut > 0) {
    con.Report("", std::to_string(r.pingsLeftOut) +
                       " pings inside the records the directory lists were left out (--all keeps them)");
  }
  FileTally tally{.written = static_cast<int>(r.files.size())};
  for (const Problem& f : r.failures) {
    con.Report(f);
    tally.Failed(f.Text());
  }
  if (r.unreadableSectors > 0) {
    con.Report({"",
                std::to_string(r.unreadableSectors) + " sectors could not be read (first: " + r.firstReadError +
                    "); runs end at them",
                r.unreadableSectors});
  }
  return tally.Status(r.unreadableSectors > 0 || r.runs == 0);
}

}  // namespace zep::cli
