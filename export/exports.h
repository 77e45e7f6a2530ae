#pragma once
// The commands that show what record files hold in the forms other tools
// read: the ping table, the GPS track and the echogram.

#include <optional>
#include <string>
#include <vector>

#include "export/sink.h"

namespace zep {

Outcome PingsCommand(Sink& con, const std::vector<std::string>& files, bool jsonl, const std::string& outPath);

enum class TrackFormat { kGpx, kGeoJson, kKml, kCsv };
Outcome TrackCommand(Sink& con, const std::vector<std::string>& files, TrackFormat format, const std::string& outPath,
                 double gapSeconds);

enum class Palette { kGrey, kViridis };
// --fit WIDTHxHEIGHT: one thumbnail instead of full-size pictures.
struct Fit {
  int width = 0, height = 0;
};
Outcome EchogramCommand(Sink& con, const std::string& file, const std::string& outPath, int pingsPerImage,
                    Palette palette, std::optional<Fit> fit = std::nullopt);

}  // namespace zep
