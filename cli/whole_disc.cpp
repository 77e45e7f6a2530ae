#include "cli/whole_disc.h"

#include "cli/platform.h"
#include "disc/scan.h"
#include "operations/source.h"

namespace zep::cli {

std::optional<DiscSource> OpenSource(Console& con, const std::string& source, const std::string& mapfile,
                                    std::shared_ptr<FailedReads> failedReads, bool needsDirectory) {
  SourceOpen opened = zep::OpenSource(source, {DriveLetterOf(source), mapfile, std::move(failedReads), needsDirectory, false});
  if (!opened.disc) {
    con.Report(std::move(*opened.problem));
    return std::nullopt;
  }
  return std::move(opened.disc);
}

bool IsScanDump(const DiscSource& disc) { return disc.size == kDumpSize; }

}  // namespace zep::cli
