#pragma once
// The inventory of a box of discs, as a library: each disc read, its records
// converted (or carved where the directory is lost), each record's track and
// thumbnail made from the pings as they are written, then the box's table,
// pages and manifest. zepconv and the Windows program call it alike; it
// prints nothing and knows no exit status.

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "disc/problem.h"
#include "disc/volume.h"
#include "box/inventory.h"

namespace zep {

// The file in a box's folder that holds its state: where there is one, the
// folder holds a box.
inline constexpr const char* kBoxStateFile = "inventory-state.json";

struct BoxOptions {
  std::vector<std::string> images;  // disc images or devices; each found with the GNU ddrescue mapfile beside it
  std::string outDir;               // created if missing
  // A box in outDir (its inventory-state.json) is always gone on with: its
  // discs stay, and a disc given again is read again only when its image,
  // or a file made of it, changed or an output of it failed. resume only
  // says that a box is expected there (a note when there is none).
  bool resume = false;
  bool reread = false;              // read every disc given again, even one the box holds as it is
  bool netcdf = false;              // also each record as netCDF (where the build can)
  bool viewer = true;               // each record's echogram viewer beside its file
  std::optional<SourceType> type;   // every disc taken as this type; none: each disc's own evidence
  // Threads: 1 does everything on one; 2 or more hash on a second thread
  // beside the one that reads, converts and writes (no more are used); 0:
  // DefaultJobs(). The files are the same bytes whatever the number.
  int jobs = 0;
};

struct BoxProgress {
  std::size_t disc = 0, discs = 0;  // disc index from 0, of how many
  std::string image;                // as given
  std::uint64_t bytesDone = 0, bytesTotal = 0;  // of the whole box
  double secondsLeft = -1;                      // < 0 while unknown
};

struct BoxCallbacks {
  std::function<void(const BoxProgress&)> progress;    // often; must be cheap
  std::function<void(const InventoryDisc&)> discDone;  // each disc as soon as it is done or kept from a resumed run
  // Polled between units; true stops the run: the disc under way is dropped,
  // its temporary files removed, the state keeps the discs done.
  std::function<bool()> cancelled;
};

struct BoxResult {
  // Every disc of the box, by folder: those given, and those earlier runs
  // put there; each carries its own Problems.
  std::vector<InventoryDisc> discs;
  Problems problems;                 // the box's own (its files, its folder); kInterrupted when cancelled
  std::string indexPath;  // outDir/index.html, only when it was written

  bool interrupted() const {
    return std::any_of(problems.begin(), problems.end(), [](const Problem& p) { return p.kind == ProblemKind::kInterrupted; });
  }
};

BoxResult MakeInventory(const BoxOptions& options, const BoxCallbacks& callbacks);

// The discs of the box in other added to the box in outDir (made if
// missing), no image read: each of their files copied, its hash checked
// against other's manifest as it is written. A disc in both (known by its
// image's name) is kept once; two different images of one name are a
// conflict, named (kKeptExisting), and outDir's is kept. discDone is told
// each disc merged.
BoxResult MergeInventory(const std::string& other, const std::string& outDir, const BoxCallbacks& callbacks);

// The discs of these image names taken out of the box in outDir: their
// files (those the box made) and pages removed, the box's files made anew.
// A name the box does not hold is a problem (kUsage).
BoxResult DropFromInventory(const std::vector<std::string>& images, const std::string& outDir);

}  // namespace zep
