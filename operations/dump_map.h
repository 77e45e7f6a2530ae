#pragma once
// The map of a scan dump's unread bytes, which zepconv dump writes beside a
// dump it could not read whole: the one given, or DUMP.map beside it. No
// other name is tried: DUMP's stem may be the disc image's, whose map
// describes the disc, not the dump.

#include <memory>
#include <optional>
#include <string>

#include "disc/problem.h"
#include "disc/rescue_map.h"
#include "convert/convert.h"

namespace zep {

struct DumpMapLoad {
  std::shared_ptr<const RescueMap> map;  // null when there is none
  std::string mapfile;                   // the one read
  bool foundBeside = false;              // not given: found beside the dump
  std::optional<Problem> problem;        // it cannot be used
};

DumpMapLoad LoadDumpMap(const std::string& dumpPath, const std::string& mapfile);

// A scan dump split into fond0.zep, fond1.zep, ... in outDir. A dump that
// cannot be read leaves nothing behind, not even the folder; nor does a map
// that cannot be used, or a folder that cannot be made (refused).
struct DumpSplit {
  bool dumpOpened = false;  // false: refused says why, and nothing else was tried
  DumpMapLoad map;
  std::optional<Problem> refused;
  SplitResult result;
};
DumpSplit SplitDump(const std::string& dumpPath, const std::string& outDir, const std::string& mapfile,
                    const OutputOptions& options);

// Each file's bytes that were not read (kUnreadable), in the order of the files; none for a file read whole.
std::vector<std::optional<Problem>> UnreadFileProblems(const SplitResult& r);

// What the split says after its files: every file that could not be
// written, no run found, a ping cut by the dump's end (kPastEnd), and a read
// of the dump that failed.
Problems SplitProblems(const std::string& dumpPath, const SplitResult& r);

}  // namespace zep
