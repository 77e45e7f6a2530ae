#pragma once
// A ".ZEP" record file given where a disc is expected. Its 4096-byte zero file
// header reads as a blank record directory, so a disc command would find "no
// records" on it and call that done; the disc commands ask here first.

#include <optional>
#include <string>

#include "disc/problem.h"
#include "disc/volume.h"

namespace zep {

// kRecordFileAsDisc, naming source (each face says what reads record files), when
// the volume opens with 4096 zero bytes and then a ping record, or is named
// *.zep and opens with them; nothing otherwise. A scan dump (a file of the
// dump's size, whose first sectors may hold the same) is not taken for one.
std::optional<Problem> RecordFileGivenAsDisc(Volume& volume, const std::string& source);

}  // namespace zep
