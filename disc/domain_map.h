#pragma once
// The parts of a disc a conversion reads, as a GNU ddrescue domain mapfile
// (ddrescue -m): an MO drive reads a few MB/s and retries each bad sector for
// seconds, so a rescue of only these bytes takes a fraction of a whole-disc
// one. The domain is the record directory, every chosen record's units as a
// conversion reads them (clipped to the volume as it clips them), and the scan
// dump area; everything else is outside it.

#include <cstdint>
#include <string>
#include <vector>

#include "disc/directory.h"
#include "disc/rescue_map.h"

namespace zep {

// [pos, end) on the volume, and what lies there.
struct DomainArea {
  std::int64_t pos = 0, end = 0;
  std::string what;  // "record directory", "record 3", "scan dump area"
  int slot = -1;     // the record's directory slot; -1 for the other two
};

// The areas, in the order named above, each clipped to a volume of
// volumeSize bytes (unclipped at the end while the size is unknown, < 0).
// slots: the records to include (0 to 63); every record slot when empty.
// Areas wholly outside the volume are left out.
std::vector<DomainArea> ConversionAreas(const RecordDirectory& dir, SourceType type, std::int64_t volumeSize,
                                        const std::vector<int>& slots = {});

// The map: the areas merged and marked '+' (the domain), the bytes between
// them and up to volumeSize '?'. Its blocks cover [0, max(end, volumeSize)).
RescueMap DomainMap(const std::vector<DomainArea>& areas, std::int64_t volumeSize);

// The mapfile's text, as ddrescue writes one: comment lines (comment, one
// line each, after "# "), the current-position line, then the blocks.
std::string DomainMapText(const RescueMap& map, const std::vector<std::string>& comment);

// The bytes the domain holds.
std::int64_t DomainBytes(const RescueMap& map);

}  // namespace zep
