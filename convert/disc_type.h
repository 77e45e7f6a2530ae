#pragma once
// Which recorder wrote a disc, weighed from its own evidence: the directory's
// slots, and whether each record's first sector opens with a ping.

#include "disc/detect_type.h"
#include "disc/directory.h"
#include "disc/volume.h"

namespace zep {

// Reads each record's first copied sector through open, opening it only when
// the directory leaves the type open; says nothing.
TypeEvidence WeighDisc(const VolumeOpener& open, const RecordDirectory& dir);

}  // namespace zep
