#pragma once
// Output folders and paths, shared by the commands that write files.

#include <string>

#include "cli/commands.h"

namespace zep::cli {

// Creates the folder and any missing parents; names the reason and returns
// false when that fails.
bool MakeFolder(Console& con, const std::string& dir);

// dir and name with one separator between them.
std::string JoinPath(const std::string& dir, const std::string& name);

}  // namespace zep::cli
