#include "cli/whole_disc.h"

#include "cli/platform.h"
#include "disc/failed_reads.h"
#include "convert/record_file_probe.h"
#include "disc/rescue_map.h"
#include "disc/scan.h"

namespace zep::cli {

std::optional<WholeDisc> OpenSource(Console& con, const std::string& source, const std::string& mapfile,
                                    std::shared_ptr<FailedReads> failedReads) {
  WholeDisc disc;
  disc.source = source;
  disc.drive = DriveLetterOf(source);
  disc.path = disc.drive ? DriveVolumePath(*disc.drive) : source;
  disc.opener = VolumeAt(disc.path);
  if (!mapfile.empty()) {
    RescueMapLoad load = LoadRescueMap(mapfile);
    if (!load.map) {
      con.Report(*load.problem);
      return std::nullopt;
    }
    disc.opener = OpenUnderMap(disc.opener, std::make_shared<const RescueMap>(std::move(*load.map)));
  }
  // Every read of this source in this run shares what failed: a bad unit is
  // asked for at most twice, whichever command and however often it opens.
  if (!failedReads) failedReads = std::make_shared<FailedReads>();
  disc.opener = OpenRememberingFailures(std::move(disc.opener), std::move(failedReads));
  VolumeOpenResult opened = disc.opener();
  // A drive is refused in the Windows program's words, with the system's
  // reason; a file or device in the system's.
  if (!opened.volume) {
    con.Report("", disc.drive ? NoDiskMessage(*disc.drive) + "(" + opened.problem->Text() + ")" : opened.problem->Text());
    return std::nullopt;
  }
  if (!opened.volume->IsRemovableMedia()) {
    if (disc.drive) con.Report("", NotMoDiscMessage(*disc.drive));
    else con.Report(source, "not an MO disc: the system does not report the device removable");
    return std::nullopt;
  }
  if (const auto recordFile = RecordFileGivenAsDisc(*opened.volume, source)) {
    con.Report(*recordFile);
    return std::nullopt;
  }
  disc.volume = std::move(opened.volume);
  disc.size = disc.volume->Size();
  return disc;
}

bool HoldsDirectory(Console& con, const std::string& source, std::int64_t size) {
  if (size < 0 || size >= static_cast<std::int64_t>(kDirectorySize)) return true;
  con.Report(source, (size == 0 ? std::string("empty") : std::to_string(size) + " bytes") + ", shorter than the " +
                         std::to_string(kDirectorySize) + "-byte record directory: there is no directory to read");
  return false;
}

bool IsScanDump(const WholeDisc& disc) { return disc.size == kDumpSize; }

}  // namespace zep::cli
