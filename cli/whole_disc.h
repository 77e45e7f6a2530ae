#pragma once
// What every command that reads a disc starts with: SOURCE opened as a
// volume (under the GNU ddrescue mapfile when one is given), refused in the
// same words whichever command it is, and the record directory read from it.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "cli/commands.h"
#include "disc/directory.h"
#include "disc/disc_source.h"
#include "disc/failed_reads.h"
#include "disc/volume.h"

namespace zep::cli {

// The library's opening (a drive letter names its drive), under the mapfile
// when one is given; names the reason and gives nothing when it cannot be
// read. needsDirectory: a volume too short for the record directory is
// refused too. Every read of it shares failedReads (a memory of its own
// when null).
std::optional<DiscSource> OpenSource(Console& con, const std::string& source, const std::string& mapfile,
                                    std::shared_ptr<FailedReads> failedReads, bool needsDirectory = true);

}  // namespace zep::cli
