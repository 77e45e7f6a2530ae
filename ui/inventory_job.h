#pragma once
// The inventory of a box of disc images, run by the inventory library on the
// worker thread: the one place where the Windows program meets it.

#include <string>
#include <vector>

#include "box/inventory.h"
#include "disc/problem.h"
#include "ui/background_job.h"

namespace zep::ui {

struct InventoryRequest {
  std::vector<std::string> images;
  std::string outDir;
  bool netcdf = false;  // also each record as a SONAR-netCDF4 file
};

struct InventoryDiscLine {
  std::string image;
  Health health = Health::kWhole;
  Problems problems;
};

struct InventoryOutcome {
  std::vector<InventoryDiscLine> discs;  // in the order given
  Problems problems;                     // the box's own
  bool interrupted = false;
  bool resumed = false;
  std::string indexPath;                 // only when it was written
};

// Whether folder already holds an inventory (inventory-state.json): it is
// resumed rather than written anew.
bool HoldsInventory(const std::string& folder);

// Runs the inventory, reporting the disc, bytes and time left to control;
// Cancel stops it between units and the state keeps the discs done.
InventoryOutcome RunInventory(const InventoryRequest& request, JobControl& control);

// The line for the dialog: "Disc 2 of 5: box/disc2.img - 40.0 of 80.0 MiB, 1:20 left".
std::string InventoryProgressText(std::size_t disc, std::size_t discs, const std::string& image,
                                  std::uint64_t bytesDone, std::uint64_t bytesTotal, double secondsLeft);

}  // namespace zep::ui
