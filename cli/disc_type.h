#pragma once
// --type auto: the recorder type decided from the disc's own evidence, and
// said; a type given on the command line checked against that evidence.

#include <optional>
#include <string>

#include "cli/commands.h"
#include "operations/source.h"
#include "disc/volume.h"

namespace zep::cli {

// The --type value that names a type: "tk40", "zep".
const char* TypeOptionName(SourceType type);

// Weighs the directory's evidence (reading each record's first copied sector
// through open). With no type given, says on stderr what the disc is, or, when
// refuseUnknown, refuses a disc that fits neither layout. A given type that
// the evidence rules out (no slot fits it, some fit the other) is refused,
// naming the type that fits, unless force; one it merely contradicts, or a
// forced one, gets a warning and is used all the same.
// A directory that could not be read (directoryRead false) reads as zeros,
// which is then not called a blank disc.
SettledType SettleType(Console& con, const std::string& source, const VolumeOpener& open,
                       const RecordDirectory& dir, std::optional<SourceType> given, bool refuseUnknown,
                       bool directoryRead = true, bool force = false);

}  // namespace zep::cli
