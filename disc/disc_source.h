#pragma once
// A disc as every reader of one starts with it: an image, a device or a
// drive opened as a volume, under the GNU ddrescue mapfile given or found
// beside it, and checked to pass for an MO disc. zepconv, the inventory and
// the Windows program open discs alike and refuse them with the same kinds.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "disc/failed_reads.h"
#include "disc/problem.h"
#include "disc/volume.h"

namespace zep {

struct DiscSource {
  std::string source;         // as given
  std::string path;           // what the volume is opened from
  std::optional<char> drive;  // when the source names a drive
  std::string mapfile;        // the mapfile read through, if any
  bool mapfileFoundBeside = false;
  std::unique_ptr<Volume> volume;
  VolumeOpener opener;     // to open it again (the scan, the type evidence)
  std::int64_t size = -1;  // bytes, when the system tells it
};

struct DiscSourceOptions {
  std::optional<char> drive;  // the source names this drive
  std::string mapfile;        // given; empty: the one beside the image, when findMapfile
  bool findMapfile = true;
  // Every read of the source shares what failed (a memory of its own when
  // null), so a bad unit is asked for at most twice in a run.
  std::shared_ptr<FailedReads> failedReads;
};

struct DiscSourceOpen {
  std::optional<DiscSource> disc;  // none when it cannot be read as a disc
  std::optional<Problem> problem;  // why
};

// Unrescued bytes of the mapfile read as unreadable everywhere. A drive that
// opens no volume is kNoDisc, with the system's reason as what; a file or
// device that does not open is the system's (kUnreadable), a medium that is
// not removable kNotADisc. The faces word a drive's problems.
DiscSourceOpen OpenDiscSource(const std::string& source, const DiscSourceOptions& options);

// What OpenDiscSource opens: the path, the mapfile and the opener, with the
// volume not opened yet (disc->volume is null). For a reader that opens and
// checks the volume in an order of its own, as the Windows program's scan
// does. The problem says why the mapfile does not load.
DiscSourceOpen PrepareDiscSource(const std::string& source, const DiscSourceOptions& options);

}  // namespace zep
