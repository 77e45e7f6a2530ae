#include "operations/dump_map.h"

#include <filesystem>

#include "disc/unread_bytes.h"
#include "disc/volume.h"

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

}  // namespace zep
