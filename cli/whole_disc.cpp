#include "cli/whole_disc.h"

#include "cli/platform.h"
#include "convert/record_file_probe.h"
#include "disc/scan.h"

namespace zep::cli {

std::optional<WholeDisc> OpenSource(Console& con, const std::string& source, const std::string& mapfile,
                                    std::shared_ptr<FailedReads> failedReads) {
  DiscSourceOpen opened = OpenDiscSource(source, {DriveLetterOf(source), mapfile, false, std::move(failedReads)});
  if (!opened.disc) {
    con.Report(std::move(*opened.problem));
    return std::nullopt;
  }
  if (auto recordFile = RecordFileGivenAsDisc(*opened.disc->volume, source)) {
    con.Report(std::move(*recordFile));
    return std::nullopt;
  }
  return std::move(opened.disc);
}

bool HoldsDirectory(Console& con, const std::string& source, std::int64_t size) {
  if (size < 0 || size >= static_cast<std::int64_t>(kDirectorySize)) return true;
  con.Report(source, (size == 0 ? std::string("empty") : std::to_string(size) + " bytes") + ", shorter than the " +
                         std::to_string(kDirectorySize) + "-byte record directory: there is no directory to read");
  return false;
}

bool IsScanDump(const WholeDisc& disc) { return disc.size == kDumpSize; }

}  // namespace zep::cli
