#include "operations/scanned_disc.h"

#include "disc/record_names.h"
#include "disc/text_file.h"

namespace zep {

DiscScan ScanOpenedDisc(DiscSource opened) {
  DiscScan r;
  ScannedDisc disc;
  disc.source = opened.source;
  disc.volume = std::move(opened.volume);
  disc.open = BorrowingOpener(*disc.volume);
  disc.size = opened.size;
  const ScanResult scan = ScanDisc(disc.open, disc.directory, "");
  if (scan.outcome != ScanOutcome::DiscRead) {
    // The volume opened a moment ago and does not now: say what the scan found.
    r.problem = Problem{opened.source, scan.problem ? scan.problem->Text() : "not an MO disc", 0,
                        scan.problem ? scan.problem->kind : ProblemKind::kNotADisc};
    return r;
  }
  disc.directoryProblem = scan.directoryProblem;
  if (disc.directoryProblem) disc.directoryProblem->what += "; the missing bytes of the record directory were read as zeros";
  r.disc = std::move(disc);
  return r;
}

std::vector<RecordPastEnd> RecordsPastTheEnd(const ScannedDisc& disc, SourceType type) {
  std::vector<RecordPastEnd> records;
  if (disc.size < 0) return records;
  for (int slot = 0; slot < kSlotCount; ++slot) {
    if (!IsRecordSlot(disc.directory, slot)) continue;
    const RecordExtent ext = ExtentOf(disc.directory, slot, type);
    const std::int64_t past = ext.count - ext.BeforeEnd(disc.size);
    if (past > 0) records.push_back({slot, past, ext.count, ext.listed});
  }
  return records;
}

std::vector<RecordFile> PlanRecordFiles(const RecordDirectory& dir, SourceType type, const std::vector<int>& slots,
                                        const std::string& outDir,
                                        const std::function<std::string(std::string_view)>& nativeName) {
  RunFileNames names;
  std::vector<RecordFile> files;
  for (int slot : slots) {
    RecordFile f{slot, RecordName(dir, slot, type), {}, {}};
    f.fileName = names.Next(f.name, slot + 1);
    f.path = JoinPath(outDir, nativeName(f.fileName));
    files.push_back(std::move(f));
  }
  return files;
}

DumpRun DumpDisc(const ScannedDisc& disc, const std::string& path, const OutputOptions& options) {
  DumpRun run;
  VolumeOpenResult opened = disc.open();
  if (!opened.volume) {
    run.report.problem = opened.problem;
    return run;
  }
  if (const std::int64_t size = opened.volume->Size(); size >= 0 && size <= kDumpOffset) {
    run.refused = Problem{disc.source,
                          "the volume ends at byte " + std::to_string(size) + ", before the dump area (bytes " +
                              std::to_string(kDumpOffset) + " to " + std::to_string(kDumpOffset + kDumpSize - 1) +
                              "): nothing to dump, nothing written",
                          0, ProblemKind::kPastEnd};
    return run;
  }
  run.report = WriteDumpFile(*opened.volume, path, options);
  return run;
}

}  // namespace zep
