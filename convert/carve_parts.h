#pragma once
// What the two carvers share, inside convert/.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "convert/carve.h"
#include "convert/volume_stream.h"

namespace zep {

// DIR/carved-OFFSET.zep.
std::string CarvedPath(const std::string& dir, std::uint64_t offset);

// Whether [pos, pos + length) lies wholly inside one of the sorted, merged ranges.
bool InsideWritten(const std::vector<ByteRange>& written, std::uint64_t pos, std::uint64_t length);

// The stream's unreadable sectors as one problem (kUnreadable), when there were any.
// What the stream could not read, into the result.
void TellUnread(const VolumeStream& stream, CarveResult& res);

CarveResult CarveTk40Runs(Volume& volume, const CarveOptions& options);

}  // namespace zep
