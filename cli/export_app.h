#pragma once
// The command lines of pings, track, echogram and netcdf.

#include <optional>
#include <string>
#include <vector>

#include "cli/commands.h"

namespace CLI {
class App;
}

namespace zep::cli {

// Adds the export commands (pings, track, echogram, netcdf) to the tool's command line and runs the one given.
class ExportCommands {
 public:
  ExportCommands(CLI::App& app, const char* footer);
  // The exit status when one of these commands was given.
  std::optional<int> Run(Console& con) const;

 private:
  CLI::App* pings_;
  CLI::App* track_;
  CLI::App* echogram_;
  CLI::App* netcdf_;
  std::vector<std::string> files_;
  std::string format_ = "csv", trackFormat_, out_, palette_ = "grey";
  double gap_ = 60;
  int pingsPerImage_ = 2048;
  std::string ncFile_, ncDir_, fit_;
  int deflate_;
};

}  // namespace zep::cli
