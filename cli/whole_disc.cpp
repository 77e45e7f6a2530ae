#include "cli/whole_disc.h"

#include "cli/platform.h"
#include "disc/rescue_map.h"
#include "disc/scan.h"

namespace zep::cli {

std::optional<WholeDisc> OpenSource(Console& con, const std::string& source, const std::string& mapfile) {
  WholeDisc disc;
  disc.source = source;
  disc.drive = DriveLetterOf(source);
  disc.path = disc.drive ? DriveVolumePath(*disc.drive) : source;
  disc.opener = VolumeAt(disc.path);
  if (!mapfile.empty()) {
    RescueMapLoad load = LoadRescueMap(mapfile);
    if (!load.map) {
      con.Report("", load.error);
      return std::nullopt;
    }
    disc.opener = OpenUnderMap(disc.opener, std::make_shared<const RescueMap>(std::move(*load.map)));
  }
  VolumeOpenResult opened = disc.opener();
  // A drive is refused in the Windows program's words, with the system's
  // reason; a file or device in the system's.
  if (!opened.volume) {
    con.Report("", disc.drive ? NoDiskMessage(*disc.drive) + "(" + opened.error + ")" : opened.error);
    return std::nullopt;
  }
  if (!opened.volume->IsRemovableMedia()) {
    if (disc.drive) con.Report("", NotMoDiscMessage(*disc.drive));
    else con.Report(source, "not an MO disc: the system does not report the device removable");
    return std::nullopt;
  }
  disc.volume = std::move(opened.volume);
  disc.size = disc.volume->Size();
  return disc;
}

bool IsScanDump(const WholeDisc& disc) { return disc.size == kDumpSize; }

}  // namespace zep::cli
