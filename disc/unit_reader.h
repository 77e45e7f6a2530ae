#pragma once
// The one way a record's units, or any run of fixed-size units, are read off
// the volume: in batches of large reads, and after a read that fails, unit
// by unit, so that only the units that really fail are lost. Every unit is
// marked good, unreadable (a failed read, including bytes a GNU ddrescue map
// does not mark rescued), cut by the end of the volume, or past the end, and
// the runs of bad units are collected. What a bad unit becomes (no ping,
// zeros, the end of a run of pings) is the caller's choice; the reader never
// invents bytes: a bad unit's bytes are zeros, except the ones a unit cut by
// the end did deliver.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "disc/aligned_buffer.h"
#include "disc/file.h"
#include "disc/problem.h"
#include "disc/record_extent.h"
#include "disc/volume.h"

namespace zep {

enum class UnitState : std::uint8_t {
  Good,
  Unreadable,  // the read failed; the bytes are zeros
  Cut,         // the end of the volume cuts through it: the bytes it has, then zeros
};

// Units first, first + 1, ..., first + count - 1 (block or sector numbers).
struct UnitRun {
  std::int64_t first = 0, count = 0;
};

// Sees every unit a reader gives, in order, as it gives them: a check that
// rides along with a conversion judges exactly the units the conversion read.
class UnitObserver {
 public:
  virtual ~UnitObserver() = default;
  // Unit k of the extent: its bytes (zeros for an unreadable one, only the
  // bytes it delivered for a Cut one) and its state.
  virtual void Unit(std::int64_t k, std::span<const std::uint8_t> bytes, UnitState state) = 0;
  // Every unit inside the volume has been given; pastEnd lie past its end.
  virtual void End(std::int64_t pastEnd) = 0;
};

class UnitReader {
 public:
  // Units per batch read: 128 KiB of them, few enough system calls to keep up
  // with a plain copy, small enough for constant memory.
  static constexpr std::size_t kBatchBytes = 128 * 1024;

  // With shortReadIsEnd, a read that delivers fewer bytes than asked marks
  // the end of the volume even where the volume does not know its size (a
  // front-to-back read of everything there is); otherwise only Size() does.
  UnitReader(Volume& volume, const RecordExtent& extent, std::size_t batchBytes = kBatchBytes,
             bool shortReadIsEnd = false);

  // Reads the next batch. False once every unit inside the volume has been
  // given: units before its start are skipped at once, and the units past its
  // end are never asked for (the end may only become known with a read, so
  // it is looked at again before each).
  bool Next();
  // The same into dest instead of the reader's own buffer (as many units as
  // fit): for a caller that keeps the bytes in a window of its own. dest
  // starts on a kIoAlignment boundary.
  bool NextInto(std::span<std::uint8_t> dest);

  // Tells observer of every unit from here on; while it looks, CopyInto
  // declines, since the observer must see the bytes.
  void Observe(UnitObserver* observer) { observer_ = observer; }

  // Hands the next units, up to maxUnits, to the system to copy into out
  // (OutputFile::CopyFrom) instead of reading them, where none of them can
  // be bad as far as the volume can tell: all lie wholly inside a volume of
  // known size. Gives how many it copied, and reached() moves on by as many;
  // 0 once the system has declined, and from then on, so that Next() reads
  // the rest. A unit the system stops inside is finished by a read of its
  // own: its remaining bytes, or zeros and a bad unit when it does not read.
  std::int64_t CopyInto(OutputFile& out, std::int64_t maxUnits);

  // The batch Next() read: units batchFirst() to batchFirst() + batchSize() - 1
  // of the extent (indexes from 0).
  std::int64_t batchFirst() const { return batchFirst_; }
  std::int64_t batchSize() const { return batchSize_; }
  std::span<std::uint8_t> Unit(std::int64_t j) {
    return batch_.subspan(static_cast<std::size_t>(j * extent_.unitSize), static_cast<std::size_t>(extent_.unitSize));
  }
  UnitState State(std::int64_t j) const { return states_[static_cast<std::size_t>(j)]; }
  // An unreadable unit of the batch that a GNU ddrescue map marks never tried.
  bool NotTried(std::int64_t j) const { return notTriedIn_[static_cast<std::size_t>(j)] != 0; }
  // Bytes a Cut unit delivered.
  std::size_t Delivered(std::int64_t j) const {
    return State(j) == UnitState::Good ? static_cast<std::size_t>(extent_.unitSize) : cutBytes_;
  }
  // The whole batch's bytes, bad units included.
  std::span<const std::uint8_t> Bytes() const { return batch_; }

  const RecordExtent& extent() const { return extent_; }
  // Units before the volume's start, and (once Next() is false) past its end.
  std::int64_t beforeStart() const { return beforeStart_; }
  std::int64_t pastEnd() const { return pastEnd_; }
  // Where the reading has got to: the index of the next unit.
  std::int64_t reached() const { return next_; }
  std::int64_t badUnits() const { return badUnits_; }
  // Of the bad units, those a GNU ddrescue map marks never tried, and the
  // first one's reason (kNotTried): not read, but nothing says they are bad.
  std::int64_t notTriedUnits() const { return notTriedUnits_; }
  const Problem& firstNotTried() const { return firstNotTried_; }
  // The first bad unit that was tried: the system's reason, a '-' in a map.
  const Problem& firstTried() const { return firstTried_; }
  const std::vector<UnitRun>& badRuns() const { return badRuns_; }
  // The first bad unit's reason: the system's, or "block 7 lies beyond the end of disc.img".
  // kUnreadable or kPastEnd; units counts the bad units so far.
  Problem firstProblem() const;

 private:
  void MarkBad(std::int64_t k, const ReadResult& r);
  void SeeRead(std::int64_t pos, std::size_t asked, const ReadResult& r);
  std::int64_t Inside() const;
  void Tell();  // the batch just read, to the observer
  // Unit j of the batch being read, read again alone into unit after the
  // batch read did not deliver it whole: its state, and whether it was tried.
  void ReadAlone(std::int64_t j, std::span<std::uint8_t> unit);

  Volume& volume_;
  RecordExtent extent_;
  std::int64_t batchUnits_;
  AlignedBuffer buffer_, single_;
  std::span<std::uint8_t> batch_;
  std::vector<UnitState> states_;
  std::vector<std::uint8_t> notTriedIn_;  // per unit of the batch, as states_
  std::int64_t next_ = 0, batchFirst_ = 0, batchSize_ = 0;
  std::int64_t beforeStart_ = 0, pastEnd_ = 0, badUnits_ = 0;
  std::size_t cutBytes_ = 0;
  bool shortReadIsEnd_;
  bool copyDeclined_ = false;
  std::int64_t seenEnd_ = Volume::kUnknownSize;
  std::vector<UnitRun> badRuns_;
  Problem firstProblem_, firstNotTried_, firstTried_;
  std::int64_t notTriedUnits_ = 0, triedUnits_ = 0;
  UnitObserver* observer_ = nullptr;
  bool endTold_ = false;
};

}  // namespace zep
