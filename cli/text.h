#pragma once
// Text as zepconv shows it on a terminal: the counts of a run.

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "disc/count_text.h"
#include "export/text_output.h"
#include "operations/disc_tally.h"

namespace zep::cli {

// "4 sectors lost, 1999640 sectors past the end": the sectors that failed;
// apart from them the sectors a mapfile marks never tried and the sectors a
// directory entry claims past the end of the image, each only where there
// are some.
std::string UnitCounts(const DiscTally& t);

}  // namespace zep::cli
