#pragma once
// zepconv inventory: a box of discs read once and laid out for people and
// for scripts.

#include <optional>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "disc/volume.h"

namespace CLI {
class App;
}

namespace zep::cli {

struct InventoryOptions {
  bool resume = false;  // skip discs done before that are as they were
  bool netcdf = false;
  std::optional<SourceType> type;  // every disc taken as this
};

int InventoryCommand(Console& con, const std::vector<std::string>& images, const std::string& outDir,
                     const InventoryOptions& options);

class InventoryCommandLine {
 public:
  InventoryCommandLine(CLI::App& app, const char* footer);
  std::optional<int> Run(Console& con) const;

 private:
  CLI::App* command_;
  std::vector<std::string> images_;
  std::string out_;
  std::string type_;
  InventoryOptions options_;
};

}  // namespace zep::cli
