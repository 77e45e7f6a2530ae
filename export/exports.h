#pragma once
// The commands that show what record files hold in the forms other tools
// read: the ping table, the GPS track and the echogram.

#include <optional>
#include <string>
#include <vector>

#include "export/console.h"
#include "export/echogram.h"
#include "export/track.h"

namespace zep {

int PingsCommand(Console& con, const std::vector<std::string>& files, bool jsonl, const std::string& outPath);

int TrackCommand(Console& con, const std::vector<std::string>& files, TrackFormat format, const std::string& outPath,
                 double gapSeconds);

// --fit WIDTHxHEIGHT: one thumbnail instead of full-size pictures.
struct Fit {
  int width = 0, height = 0;
};
int EchogramCommand(Console& con, const std::string& file, const std::string& outPath, int pingsPerImage,
                    Palette palette, std::optional<Fit> fit = std::nullopt);

}  // namespace zep
