#pragma once
// The commands that show what record files hold in the forms other tools
// read: the ping table, the GPS track and the echogram.

#include <optional>
#include <string>
#include <vector>

#include "export/echogram.h"
#include "export/sink.h"
#include "export/track.h"

namespace zep {

Outcome PingsCommand(Sink& con, const std::vector<std::string>& files, bool jsonl, const std::string& outPath);

Outcome TrackCommand(Sink& con, const std::vector<std::string>& files, TrackFormat format, const std::string& outPath,
                 double gapSeconds);

// --fit WIDTHxHEIGHT: one thumbnail instead of full-size pictures.
struct Fit {
  int width = 0, height = 0;
};
Outcome EchogramCommand(Sink& con, const std::string& file, const std::string& outPath, int pingsPerImage,
                    Palette palette, std::optional<Fit> fit = std::nullopt);

}  // namespace zep
