#include "cli/whole_disc.h"

#include <cstring>

#include "cli/platform.h"
#include "disc/aligned_buffer.h"
#include "disc/rescue_map.h"
#include "disc/scan.h"

namespace zep::cli {

std::optional<VolumeOpener> SourceOpener(Console& con, const std::string& path, const std::string& mapfile) {
  if (mapfile.empty()) return VolumeAt(path);
  RescueMapLoad load = LoadRescueMap(mapfile);
  if (!load.map) {
    con.Report("", load.error);
    return std::nullopt;
  }
  return OpenUnderMap(VolumeAt(path), std::make_shared<const RescueMap>(std::move(*load.map)));
}

std::optional<WholeDisc> OpenWholeDisc(Console& con, const std::string& source, const std::string& mapfile) {
  WholeDisc disc;
  disc.source = source;
  const std::optional<char> drive = DriveLetterOf(source);
  disc.path = drive ? DriveVolumePath(*drive) : source;
  std::optional<VolumeOpener> opener = SourceOpener(con, disc.path, mapfile);
  if (!opener) return std::nullopt;
  disc.opener = std::move(*opener);
  VolumeOpenResult opened = disc.opener();
  if (!opened.volume) {
    con.Report("", drive ? NoDiskMessage(*drive) + "(" + opened.error + ")" : opened.error);
    return std::nullopt;
  }
  if (!opened.volume->IsRemovableMedia()) {
    con.Report("", drive ? NotMoDiscMessage(*drive)
                         : source + " is not an MO disc: the system does not report the device removable");
    return std::nullopt;
  }
  disc.volume = std::move(opened.volume);
  disc.size = disc.volume->Size();
  return disc;
}

RecordDirectory ReadDirectory(Volume& volume, std::string& error) {
  AlignedBuffer buffer(kDirectorySize);
  const ReadResult r = volume.ReadAt(0, buffer.span());
  const std::size_t good = r.ok() ? r.bytes : 0;
  if (good < kDirectorySize) {
    std::memset(buffer.data() + good, 0, kDirectorySize - good);
    error = r.ok() ? volume.Name() + ": the volume ends inside the record directory" : r.error;
  }
  RecordDirectory dir{};
  std::memcpy(dir.data(), buffer.data(), kDirectorySize);
  return dir;
}

bool HoldsDirectory(Console& con, const std::string& source, std::int64_t size) {
  if (size < 0 || size >= static_cast<std::int64_t>(kDirectorySize)) return true;
  con.Report(source, (size == 0 ? std::string("empty") : std::to_string(size) + " bytes") + ", shorter than the " +
                         std::to_string(kDirectorySize) + "-byte record directory: there is no directory to read");
  return false;
}

bool IsScanDump(const WholeDisc& disc) { return disc.size == kDumpSize; }

}  // namespace zep::cli
