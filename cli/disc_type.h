#pragma once
// SOURCE opened, and --type auto: the recorder type decided from the disc's
// own evidence, and said; a type given on the command line checked against
// that evidence.

#include <optional>
#include <string>

#include "cli/commands.h"
#include "operations/source.h"

namespace zep::cli {

// The one opening of a source (a drive letter names its drive), its refusal
// named on stderr.
std::optional<DiscSource> OpenSource(Console& con, const std::string& source, const std::string& mapfile,
                                    std::shared_ptr<FailedReads> failedReads, bool needsDirectory = true);

// The --type value that names a type: "tk40", "zep".
const char* TypeOptionName(SourceType type);

// Says on stderr what settling the type found. With no type given: what the
// disc is, or, when refused, that it fits neither layout. A given type that
// the evidence rules out is refused, naming the type that fits, unless
// forced; one it merely contradicts, or a forced one, gets a warning. A
// directory that could not be read (directoryRead false) reads as zeros,
// which is then not called a blank disc. False when the disc is refused.
bool SayType(Console& con, const std::string& source, const SettledType& s, std::optional<SourceType> given,
             bool refuseUnknown, bool directoryRead = true);

}  // namespace zep::cli
