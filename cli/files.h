#pragma once
// Output folders and paths, shared by the commands that write files.

#include <string>

#include "cli/commands.h"
#include "disc/file.h"

namespace zep::cli {

// Creates the folder and any missing parents; names the reason and returns
// false when that fails.
bool MakeFolder(Console& con, const std::string& dir);

}  // namespace zep::cli
