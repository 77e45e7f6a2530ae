#pragma once
// What the disc commands say of the faults they find in a disc's records:
// one wording and one kind for each, whichever face reports it. A record
// is named as the caller shows names (see RecordSubject).

#include <optional>
#include <string>
#include <string_view>

#include "convert/disc_check.h"
#include "disc/problem.h"
#include "disc/scan.h"
#include "operations/convert_records.h"
#include "operations/scanned_disc.h"

namespace zep {

// A record listed past the end of the volume: what a conversion cannot get.
Problem PastEndProblem(const ScannedDisc& disc, SourceType type, const RecordPastEnd& r, std::string_view shownName);

// A record not converted whole: its problems, and whether its file went.
std::optional<Problem> ConversionProblem(const RecordConversion& c, int slot, std::string_view shownName);

// A dump not written, or written with pieces of zeros where the disc did not read.
std::optional<Problem> DumpProblem(const std::string& source, const DumpReport& dump);

// A record the check finds damaged or reaching past the end, with what it loses.
std::optional<Problem> RecordHealthProblem(const RecordHealth& h, SourceType type, std::string_view shownName);

}  // namespace zep
