#pragma once
// What carve and check share: a SOURCE opened as a volume for one front-to-back
// read, and the record directory read from it.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "cli/commands.h"
#include "disc/directory.h"
#include "disc/volume.h"

namespace zep::cli {

struct WholeDisc {
  std::string source;  // as given
  std::string path;    // what the volume is opened from
  std::unique_ptr<Volume> volume;
  VolumeOpener opener;  // for a second, short look (the type evidence)
  std::int64_t size = -1;  // bytes, when the system tells it
};

// The means to open path, under the GNU ddrescue mapfile when one is given
// (unrescued bytes then read as unreadable everywhere); names the reason and
// gives nothing when the map cannot be read.
std::optional<VolumeOpener> SourceOpener(Console& con, const std::string& path, const std::string& mapfile);

// Opens SOURCE (a drive letter names its drive), under the GNU ddrescue
// mapfile when one is given, refusing what the other commands refuse; names
// the reason and gives nothing on failure.
std::optional<WholeDisc> OpenWholeDisc(Console& con, const std::string& source, const std::string& mapfile);

// The record directory; missing bytes are zeros and error says why.
RecordDirectory ReadDirectory(Volume& volume, std::string& error);

// False, with the reason named, for a volume of known size too short to hold
// the record directory (an empty image, a cut-off copy): there is no
// directory to read, and its missing bytes are not to be taken for zeros.
bool HoldsDirectory(Console& con, const std::string& source, std::int64_t size);

// A scan dump rather than a disc: a file of exactly the dump's size. It has
// no record directory.
bool IsScanDump(const WholeDisc& disc);

}  // namespace zep::cli
