#pragma once
// The commands of zepconv. Each returns the process's exit status and writes
// its results to out and every problem, named, to err.

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "disc/directory.h"
#include "disc/failed_reads.h"
#include "cli/console.h"
#include "operations/disc_tally.h"

namespace zep::cli {

struct DiscOptions {
  std::string mapfile;     // a GNU ddrescue mapfile for SOURCE; empty for none
  bool noClobber = false;  // existing files are kept and named, the status is 1
  // --force-type: a --type the disc's evidence rules out is used all the same.
  bool forceType = false;
  DiscTally* tally = nullptr;  // added to when given
  // What failed on the source so far: given to several commands run on one
  // source (a check, then a conversion), so that together they still ask for
  // each bad sector at most twice. Each command keeps its own when null.
  std::shared_ptr<FailedReads> failedReads;
};

// A type of nullopt (--type auto) is decided from the disc's evidence.
Outcome ListCommand(Console& con, const std::string& source, std::optional<SourceType> type, bool json,
                const DiscOptions& options = {});
// recordNumbers as listed (1 to 64); empty means every record.
Outcome ConvertCommand(Console& con, const std::string& source, std::optional<SourceType> type,
                   const std::string& outDir, const std::vector<int>& recordNumbers, const DiscOptions& options = {});
Outcome DumpCommand(Console& con, const std::string& source, const std::string& outFile, const DiscOptions& options = {});
// The dump's unread bytes are named by options.mapfile, or else by DUMP.map
// when there is one (zepconv dump writes it beside a dump it could not read
// whole).
Outcome SplitCommand(Console& con, const std::string& dumpPath, const std::string& outDir, const DiscOptions& options = {});
Outcome InfoCommand(Console& con, const std::vector<std::string>& files, bool json);
Outcome CarveCommand(Console& con, const std::string& source, std::optional<SourceType> type, const std::string& outDir,
                 bool all, const DiscOptions& options = {});
// The GNU ddrescue domain mapfile of what a conversion of recordNumbers (all
// when empty) reads; exit status 2 when the record directory does not read.
Outcome DomainCommand(Console& con, const std::string& source, std::optional<SourceType> type,
                  const std::string& outFile, const std::vector<int>& recordNumbers, const DiscOptions& options = {});
Outcome CheckCommand(Console& con, const std::string& source, std::optional<SourceType> type, bool json,
                 const DiscOptions& options = {});

// The whole tool: parses the command line and runs the command it names.
Outcome Main(int argc, const char* const* argv, std::ostream& out, std::ostream& err, bool stderrIsTerminal);

}  // namespace zep::cli
