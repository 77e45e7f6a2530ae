#pragma once
// The command lines of pings, track, echogram and netcdf.

#include "cli/command_line.h"

namespace zep::cli {

Command AddPingsCommand(CLI::App& app);
Command AddTrackCommand(CLI::App& app);
Command AddEchogramCommand(CLI::App& app);
Command AddNetcdfCommand(CLI::App& app);

}  // namespace zep::cli
