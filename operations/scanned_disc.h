#pragma once
// A disc read the way list, convert and dump read it: opened once for the
// run, its record directory scanned, then its records written to files or
// its scan dump copied out. Every fault is a Problem whose kind is set here.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "disc/directory.h"
#include "disc/disc_source.h"
#include "disc/file.h"
#include "disc/scan.h"
#include "disc/volume.h"

namespace zep {

struct ScannedDisc {
  std::string source;  // as given
  // The volume, under the mapfile when there is one: every read of it (the
  // scan, the type's evidence, each record) goes through open, which hands
  // out views of it.
  std::unique_ptr<Volume> volume;
  VolumeOpener open;
  std::int64_t size = -1;  // of the volume, when the system tells it
  RecordDirectory directory{};
  // The directory did not read whole; its missing bytes were read as zeros.
  std::optional<Problem> directoryProblem;
};

struct DiscScan {
  std::optional<ScannedDisc> disc;
  std::optional<Problem> problem;  // why there is no disc to read
};

DiscScan ScanOpenedDisc(DiscSource opened);

// A record whose directory entry reaches past the end of the volume: a cut
// image, or a damaged entry.
struct RecordPastEnd {
  int slot = 0;
  std::int64_t past = 0;   // units past the end
  std::int64_t count = 0;  // units to copy
  std::int64_t listed = 0; // the directory's count
};
std::vector<RecordPastEnd> RecordsPastTheEnd(const ScannedDisc& disc, SourceType type);

// Where one record of a conversion goes.
struct RecordFile {
  int slot = 0;
  std::string name;       // the record's name on the disc (Latin-1)
  std::string fileName;   // as the recorder names it, kept apart from the others (Latin-1)
  std::string path;       // the file to write, in outDir
};

// The files of the chosen slots in outDir, named as the recorder names them
// and kept apart; nativeName turns a file name into the file system's.
std::vector<RecordFile> PlanRecordFiles(const RecordDirectory& dir, SourceType type, const std::vector<int>& slots,
                                        const std::string& outDir,
                                        const std::function<std::string(std::string_view)>& nativeName);

// The scan dump written to path. A volume that ends before the dump area is
// refused (kPastEnd) and nothing is written: zeros for the whole dump would
// only pass for data.
struct DumpRun {
  DumpReport report;
  std::optional<Problem> refused;
};
DumpRun DumpDisc(const ScannedDisc& disc, const std::string& path, const OutputOptions& options);

}  // namespace zep
