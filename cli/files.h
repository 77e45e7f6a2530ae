#pragma once
// Output folders and paths, shared by the commands that write files.

#include <string>

#include "cli/commands.h"
#include "disc/file.h"

namespace zep::cli {

// Creates the folder and any missing parents; names the reason and returns
// false when that fails.
bool MakeFolder(Console& con, const std::string& dir);

// The status of a run that writes files: 2 when it wrote none and kept none
// (--no-clobber) although it tried, since then nothing was done; 1 when some
// failed; 0 otherwise.
struct FileTally {
  int written = 0, kept = 0, failed = 0;
  // failure: why an output was not written; one --no-clobber kept
  // (kKeptExisting) is no failure.
  void Failed(const Problem& failure);
  Outcome Status(bool partly = false) const;
};


}  // namespace zep::cli
