#pragma once
// zepconv inventory: a box of discs read once and laid out for people and
// for scripts.

#include <optional>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/commands.h"
#include "disc/volume.h"

namespace zep::cli {

struct InventoryOptions {
  bool resume = false;  // a box is expected in the folder
  bool reread = false;  // discs the box holds as they are read again all the same
  bool netcdf = false;
  bool noViewer = false;  // no echogram viewer per record
  std::optional<SourceType> type;  // every disc taken as this
  int jobs = 0;                    // threads; 0: the library's default
};

Outcome InventoryCommand(Console& con, const std::vector<std::string>& images, const std::string& outDir,
                     const InventoryOptions& options);

// The inventories in others merged into the one in outDir, each in turn.
Outcome MergeCommand(Console& con, const std::vector<std::string>& others, const std::string& outDir);

// The discs of these image names taken out of the inventory in outDir.
Outcome DropCommand(Console& con, const std::vector<std::string>& images, const std::string& outDir);

Command AddInventoryCommand(CLI::App& app);

}  // namespace zep::cli
