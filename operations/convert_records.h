#pragma once
// A record of a disc already open turned into its ".ZEP" file, with what the
// file holds counted from the units as the conversion reads them: the same
// counts a walk of the written file gives, without reading it back.

#include <cstdint>

#include "convert/convert.h"
#include "disc/directory.h"
#include "disc/file.h"
#include "disc/volume.h"

namespace zep {

struct RecordConversion {
  ConvertResult result;
  // The file's pings, those with samples that did not read, and those a
  // walk of it finds missing between two it has.
  std::uint64_t pings = 0, unreadPings = 0, missingPings = 0;
  // Units that became bytes of the file: blocks that gave a ping (TK40),
  // sectors inside the volume (ZEP V1.X).
  std::int64_t writtenUnits = 0;
  // Units lost: unreadable (less those a map marks never tried) and, TK40,
  // blocks without a mode. Units past the end are counted apart.
  std::int64_t LostUnits() const { return result.failedUnits - result.notTriedUnits + result.skippedUnits; }
};

// volume stays open for the next record; the conversion reads it through a
// view of its own.
RecordConversion ConvertOpenRecord(Volume& volume, SourceType type, const RecordDirectory& dir, int slot,
                                   const OutputTarget& target, const Progress& progress = {});

}  // namespace zep
