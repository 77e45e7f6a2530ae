#pragma once
// The commands that show what record files hold in the forms other tools
// read: the ping table, the GPS track and the echogram.

#include <optional>
#include <string>
#include <vector>

#include "cli/commands.h"

namespace CLI {
class App;
}

namespace zep::cli {

int PingsCommand(Console& con, const std::vector<std::string>& files, bool jsonl, const std::string& outPath);

enum class TrackFormat { kGpx, kGeoJson, kKml, kCsv };
int TrackCommand(Console& con, const std::vector<std::string>& files, TrackFormat format, const std::string& outPath,
                 double gapSeconds);

enum class Palette { kGrey, kViridis };
int EchogramCommand(Console& con, const std::string& file, const std::string& outPath, int pingsPerImage,
                    Palette palette);

// Adds the three commands to the tool's command line and runs the one given.
class ExportCommands {
 public:
  ExportCommands(CLI::App& app, const char* footer);
  // The exit status when one of these commands was given.
  std::optional<int> Run(Console& con) const;

 private:
  CLI::App* pings_;
  CLI::App* track_;
  CLI::App* echogram_;
  std::vector<std::string> files_;
  std::string format_ = "csv", trackFormat_, out_, palette_ = "grey";
  double gap_ = 60;
  int pingsPerImage_ = 2048;
};

}  // namespace zep::cli
