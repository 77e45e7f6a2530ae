#pragma once
// --type auto: the recorder type decided from the disc's own evidence, and
// said; a type given on the command line checked against that evidence.

#include <optional>
#include <string>

#include "cli/commands.h"
#include "convert/disc_type.h"
#include "disc/volume.h"

namespace zep::cli {

struct SettledType {
  SourceType type = SourceType::Tk40;
  TypeEvidence evidence;
  bool refused = false;  // no type given, and the evidence fits neither layout
};

// Weighs the directory's evidence (reading each record's first copied sector
// through open). With no type given, says on stderr what the disc is, or, when
// refuseUnknown, refuses a disc that fits neither layout; a given type that
// the evidence contradicts gets a warning and is used all the same.
// A directory that could not be read (directoryRead false) reads as zeros,
// which is then not called a blank disc.
SettledType SettleType(Console& con, const std::string& source, const VolumeOpener& open,
                       const RecordDirectory& dir, std::optional<SourceType> given, bool refuseUnknown,
                       bool directoryRead = true);

}  // namespace zep::cli
