#pragma once
// A stretch of the volume read front to back through one window of bounded
// size: what the carver uses to look at every byte once,
// at the speed of large sequential reads, in constant memory. The reading is
// the unit reader's, in sectors: a sector that does not read is held as zeros
// and remembered, so a caller can tell the zeros the disc holds from the ones
// that stand in for lost bytes.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "disc/aligned_buffer.h"
#include "disc/unit_reader.h"
#include "disc/volume.h"

namespace zep {

class VolumeStream {
 public:
  // The largest stretch At() gives at once: more than the longest ping record
  // a scan dump can hold (256 + 65535 bytes), and than two of the longest a
  // carved run can.
  static constexpr std::size_t kMaxView = 128 * 1024;

  // Reads [begin, end) of the volume, fewer bytes if it ends earlier; end < 0
  // means to the end of the volume. begin is a multiple of 2048.
  VolumeStream(Volume& volume, std::int64_t begin, std::int64_t end = -1);

  // The bytes [pos, pos + n), fewer only at the end; n is at most kMaxView.
  // pos may go back by up to kMaxView from that of an earlier call, no
  // further: a call that breaks that is a bug (BrokenPromise), not a read.
  std::span<const std::uint8_t> At(std::uint64_t pos, std::size_t n);
  // Every byte held from pos on, at least min of them unless the end comes first.
  std::span<const std::uint8_t> From(std::uint64_t pos, std::size_t min);
  // Reads on to the end, for the observer's sake.
  void ReadToEnd();

  // Whether any byte of [pos, pos + n) lies in a sector that could not be read.
  // Only for bytes the last At() or From() gave.
  bool Unreadable(std::uint64_t pos, std::size_t n) const;

  std::int64_t unreadableSectors() const { return unreadableSectors_; }
  const Problem& firstProblem() const { return firstProblem_; }
  // Of the unreadable sectors, those a GNU ddrescue map marks never tried.
  std::int64_t notTriedSectors() const { return reader_.notTriedUnits(); }
  const Problem& firstNotTried() const { return reader_.firstNotTried(); }
  const Problem& firstTried() const { return reader_.firstTried(); }
  // Bytes read so far, from begin: where the read has got to.
  std::uint64_t reached() const { return base_ + length_; }
  // Called with reached() after every read.
  std::function<void(std::uint64_t)> onRead;
  // Told every sector as it is read, in order, whether or not any caller of
  // At() or From() asks for its bytes: a second search rides along.
  void Observe(UnitObserver* observer) { reader_.Observe(observer); }

 private:
  void DropBefore(std::uint64_t pos);
  void Fill();

  std::int64_t end_;
  UnitReader reader_;
  AlignedBuffer buffer_;
  std::uint64_t base_;      // volume offset of buffer_[0]
  std::size_t length_ = 0;  // valid bytes in buffer_
  bool atEnd_ = false;
  struct Range {
    std::uint64_t begin, end;
  };
  std::vector<Range> unreadable_;  // inside the window, in order
  std::int64_t unreadableSectors_ = 0;
  Problem firstProblem_;
};

// The first offset at or after from where a ping record's magic starts.
std::optional<std::uint64_t> NextMagic(VolumeStream& stream, std::uint64_t from);

}  // namespace zep
