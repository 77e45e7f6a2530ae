#pragma once
// What both converters do before their first unit: check the slot, open the
// volume, create the output and write its zero file header. A failure is
// reported in the result, and nothing is left open or created.

#include <string>

#include "convert/convert.h"
#include "disc/file.h"

namespace zep {

struct ConversionStart {
  VolumeOpenResult opened;  // the volume closes when this goes
  OutputFile out;
};

// True when the conversion can go on; otherwise res holds status and reason.
bool StartConversion(const std::string& outputPath, int slot, const VolumeOpener& open, ConvertResult& res,
                     ConversionStart& start);

}  // namespace zep
