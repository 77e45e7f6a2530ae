#pragma once
// What record files hold, written in the forms other tools read: the ping
// table, the GPS track and the echogram. Each writes to outPath ("-" or empty
// for the sink's text), tells the sink what went wrong, and returns how much
// of it was done.

#include <optional>
#include <string>
#include <vector>

#include "export/echogram.h"
#include "export/sink.h"
#include "export/track.h"

namespace zep {

// One row per ping of every file, as CSV or JSON lines.
Outcome WritePingTable(Sink& con, const std::vector<std::string>& files, bool jsonl, const std::string& outPath);

// The files' GPS track in segments; a gap over gapSeconds starts a new one.
Outcome WriteTrack(Sink& con, const std::vector<std::string>& files, TrackFormat format, const std::string& outPath,
                   double gapSeconds);

// --fit WIDTHxHEIGHT: one thumbnail instead of full-size pictures.
struct Fit {
  int width = 0, height = 0;
};
// The file's pings as PNG pictures, one column each, with a CSV naming each
// column's ping; or, given a fit, one thumbnail.
Outcome WriteEchogram(Sink& con, const std::string& file, const std::string& outPath, int pingsPerImage,
                      Palette palette, std::optional<Fit> fit = std::nullopt);

}  // namespace zep
