#pragma once
// What the two carvers share, inside convert/.

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "convert/carve.h"
#include "convert/volume_stream.h"
#include "disc/unit_reader.h"

namespace zep {

// DIR/carved-OFFSET.zep.
std::string CarvedPath(const std::string& dir, std::uint64_t offset);

// Whether [pos, pos + length) lies wholly inside one of the sorted, merged ranges.
bool InsideWritten(const std::vector<ByteRange>& written, std::uint64_t pos, std::uint64_t length);

// The stream's unreadable sectors as one problem (kUnreadable), when there were any.
// What the stream could not read, into the result.
void TellUnread(const VolumeStream& stream, CarveResult& res);

// The TK40 search, told the sectors of the carve's read (which starts at
// byte begin, a multiple of 2048) as they are read, so that it and the
// search for ping records share the one read of the volume.
class Tk40Search final : public UnitObserver {
 public:
  Tk40Search(Volume& volume, const CarveOptions& options, std::uint64_t begin);
  ~Tk40Search() override;
  Tk40Search(const Tk40Search&) = delete;
  Tk40Search& operator=(const Tk40Search&) = delete;

  void Unit(std::int64_t k, std::span<const std::uint8_t> bytes, UnitState state) override;
  void End(std::int64_t pastEnd) override;
  // Once the read is over: the runs found, every file written, in offset
  // order. The unread sectors are the read's to tell.
  CarveResult Finish();

 private:
  struct State;
  std::unique_ptr<State> s_;
};

}  // namespace zep
