#pragma once
// An output that names the bytes it could not read. Such bytes are written as
// zeros, so that every other byte keeps its place, and a GNU ddrescue mapfile
// beside the file (UnreadMapPath) names them: the sector copy stays exact
// where it did read, other programs still read the file, and every reader
// here that honours the map knows the zeros for what they are. The record
// files and zepconv's scan dump are written so.
//
// The map exists only beside a file that has such bytes. It takes its name
// just before the file does, and an earlier run's map goes once a file
// without unread bytes is in place, so that no map outlives its file or
// names good bytes as lost.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "disc/file.h"
#include "disc/problem.h"
#include "disc/rescue_map.h"

namespace zep {

// The map of the file at path: PATH.map, and no other name. (A disc image's
// map may be IMAGE.map beside a file of the same stem; the file must not take
// it for its own.)
inline std::string UnreadMapPath(const std::string& path) { return path + ".map"; }

class UnreadBytes {
 public:
  // Bytes [pos, pos + size) of the file were not read; stretches come in order.
  void Add(std::int64_t pos, std::int64_t size);
  std::uint64_t total() const { return total_; }
  // The map of a file of size bytes: '+' for every byte written as read, '-'
  // for the others.
  RescueMap Map(std::int64_t size) const;

 private:
  std::vector<RescueBlock> blocks_;  // in order, merged
  std::uint64_t total_ = 0;
};

struct UnreadMapClose {
  bool closed = false;              // the file is in place, and its map with it when it has unread bytes
  bool mapWritten = false;          // a map is beside it
  std::optional<Problem> mapProblem;  // the map could not be written (the file was discarded)
};

// Closes out under its final name, the map of unread beside it (written with
// mapOptions, whose watch is told its bytes) or an earlier map removed. When
// anything fails, out is discarded and no map of it is left. A device
// (/dev/null, NUL) has no file beside it and gets no map.
UnreadMapClose CloseWithUnreadMap(OutputFile& out, const UnreadBytes& unread, std::string_view creator,
                                  const OutputOptions& mapOptions = {});

}  // namespace zep
