#pragma once
// convert, check and carve over several discs at once: each disc into a
// folder of its own, the mapfile beside each image used, one summary line per
// disc and a total.

#include <functional>
#include <string>
#include <vector>

#include "cli/commands.h"

namespace zep::cli {

// The options for one SOURCE: a --mapfile given wins; otherwise the GNU
// ddrescue mapfile beside the image (IMAGE.map, IMAGE.mapfile, STEM.map,
// STEM.mapfile) is used, and said on stderr.
DiscOptions WithMapfileBeside(Console& con, const std::string& source, DiscOptions options);

// One disc's run: its console, its source, its output folder (empty for
// check) and its options.
using DiscRun = std::function<Outcome(Console&, const std::string&, const std::string&, const DiscOptions&)>;

// Runs each source in turn, in DIR/<image name without its extension>
// (-2, -3, ... for a name already taken) when outDir is given. Exit status 0
// when every disc was done whole, 2 when nothing was done for any, else 1.
Outcome RunSeveralSources(Console& con, const std::vector<std::string>& sources, const std::string& outDir,
                      const DiscOptions& options, const DiscRun& run);

}  // namespace zep::cli
