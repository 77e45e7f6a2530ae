#include "operations/dump_map.h"

#include <filesystem>

#include "disc/unread_bytes.h"
#include "disc/text_file.h"
#include "disc/volume.h"
#include "operations/records.h"

namespace zep {

DumpMapLoad LoadDumpMap(const std::string& dumpPath, const std::string& mapfile) {
  DumpMapLoad load;
  load.mapfile = mapfile;
  std::error_code ec;
  if (load.mapfile.empty() && std::filesystem::is_regular_file(UnreadMapPath(dumpPath), ec)) {
    load.mapfile = UnreadMapPath(dumpPath);
    load.foundBeside = true;
  }
  if (load.mapfile.empty()) return load;
  RescueMapLoad read = LoadRescueMap(load.mapfile);
  if (!read.map) {
    load.problem = std::move(read.problem);
    return load;
  }
  // As for a disc image: every byte the map calls read must be in the dump.
  if (const VolumeOpenResult dump = VolumeAt(dumpPath)(); dump.volume) {
    if (auto mismatch = RescueMapMismatch(*read.map, *dump.volume)) {
      load.problem = std::move(mismatch);
      return load;
    }
  }
  load.map = std::make_shared<const RescueMap>(std::move(*read.map));
  return load;
}

DumpSplit SplitDump(const std::string& dumpPath, const std::string& outDir, const std::string& mapfile,
                    const OutputOptions& options) {
  DumpSplit split;
  if (InputFile dump = InputFile::Open(dumpPath); !dump.open()) {
    split.refused = dump.problem();
    return split;
  }
  split.dumpOpened = true;
  split.map = LoadDumpMap(dumpPath, mapfile);
  split.refused = split.map.problem;
  if (!split.refused) split.refused = MakeFolder(outDir);
  if (split.refused) return split;
  split.result = SplitScanDump(dumpPath, {JoinPath(outDir, "fond%i.zep"), options}, split.map.map);
  return split;
}

std::vector<std::optional<Problem>> UnreadFileProblems(const SplitResult& r) {
  std::vector<std::optional<Problem>> problems(r.files.size());
  for (std::size_t i = 0; i < r.files.size(); ++i) {
    if (r.fileUnread[i] == 0) continue;
    // As a conversion says of a record with lost sectors: written, but not whole.
    problems[i] = Problem{r.files[i],
                          std::to_string(r.fileUnread[i]) + " bytes were not read; " + UnreadMapPath(r.files[i]) +
                              " names them",
                          0, ProblemKind::kUnreadable};
  }
  return problems;
}

Problems SplitProblems(const std::string& dumpPath, const SplitResult& r) {
  Problems problems = r.failures;
  if (r.runs == 0) problems.push_back(NoRunsFound(dumpPath));
  // Nothing more of that ping is anywhere in the dump.
  if (r.droppedPartialPings > 0) {
    problems.push_back({dumpPath, "the dump ends inside a ping record; that ping is left out of the last file", 0,
                        ProblemKind::kPastEnd});
  }
  if (r.dumpError) problems.push_back(*r.dumpError);
  return problems;
}

}  // namespace zep
