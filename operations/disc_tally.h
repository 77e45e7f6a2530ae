#pragma once
// What one disc gave, and what several gave together, for the summary of a
// run over several discs or of a box. Units are counted in 2048-byte
// sectors whichever recorder wrote the disc: a TK40 block is two of them, a
// ZEP V1.X sector one, so a total over discs of both kinds adds like to like.

#include <cstdint>
#include <optional>
#include <string_view>

#include "convert/carve.h"
#include "convert/disc_check.h"
#include "disc/detect_type.h"
#include "operations/convert_records.h"

namespace zep {

struct DiscTally {
  std::int64_t records = 0;  // records converted or checked, runs carved
  std::int64_t pings = 0;
  std::int64_t lost = 0;  // sectors that failed: unreadable, or in a TK40 block without a mode
  // Sectors a directory entry claims past the end of the volume: counted
  // apart, since no read of them failed (a cut image, a garbage count).
  std::int64_t pastEnd = 0;
  // Sectors a GNU ddrescue map marks never tried: not read, not bad either.
  std::int64_t notTried = 0;

  void Add(const DiscTally& other);
};

// units of a disc of type, in 2048-byte sectors.
std::int64_t InSectors(SourceType type, std::int64_t units);

DiscTally TallyOfConversion(SourceType type, const RecordConversion& conversion);  // a record written
DiscTally TallyOfCheck(SourceType type, const RecordHealth& health);              // a record checked
DiscTally TallyOfCarve(const CarveResult& carve);

// The type a saved name gives ("TK40", "ZEP V1.X"); none for any other.
std::optional<SourceType> SourceTypeNamed(std::string_view name);

}  // namespace zep
