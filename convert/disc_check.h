#pragma once
// The health check: every unit of every listed record and the scan dump area
// read once, nothing written, and for each record what a conversion would get
// and what it would lose.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "convert/carve.h"

#include "disc/directory.h"
#include "disc/unit_reader.h"
#include "disc/volume.h"

namespace zep {

enum class Verdict {
  Whole,      // every unit read whole; a ZEP V1.X record walks as ping records to its end
  Damaged,    // something is lost: unreadable units, units past the end, blocks without a mode, a broken walk
  BeyondEnd,  // every unit lies past the end of the volume
  Empty,      // the directory gives the record no units
};
const char* VerdictName(Verdict v);  // "whole", "damaged", "beyond end", "empty"
std::optional<Verdict> VerdictNamed(std::string_view name);  // none for a word that is no verdict


struct RecordHealth {
  int slot = 0;
  std::int64_t directoryCount = 0;  // as listed: TK40 endBlock - firstBlock, ZEP V1.X sectorCount
  std::int64_t firstUnit = 0;       // the first unit a conversion reads
  std::int64_t units = 0;           // how many it reads
  std::int64_t wholeUnits = 0;
  std::vector<UnitRun> unreadable;  // unreadable units, and a unit the end of the volume cuts through
  std::int64_t unreadableUnits = 0;
  // Of those, units a GNU ddrescue map marks never tried (every bad sector
  // of them '?'); counted by the check's own read only.
  std::int64_t notTriedUnits = 0;
  std::int64_t beyondEnd = 0;  // units wholly past the end of the volume
  std::int64_t noMode = 0;     // TK40: blocks read whole whose mode code has no mode
  // ZEP V1.X: the pings a walk from ping to ping finds, and where on the
  // volume the walk breaks when it does not reach the end (zeros that pad
  // the last sector after the last ping are the end).
  // Where the walk breaks and resumes past a hole, each run of pings is
  // counted apart (one run, for a walk without a hole).
  std::uint64_t pingsFound = 0;
  std::vector<std::uint64_t> walkRuns{0};
  std::optional<std::uint64_t> walkBreaksAt;  // the first break
  std::optional<std::uint64_t> walkStopsAt;   // the last, when no ping follows it
  std::int64_t pings = 0;  // what a conversion would write
  // Of those, pings with samples that did not read (ZEP V1.X): in the file
  // they are marked unread.
  std::uint64_t unreadPings = 0;
  // Runs of ping indexes that a walk of the converted file finds missing:
  // the pings between two that it has (TK40 blocks that gave no ping, ZEP
  // V1.X pings in a hole), and for ZEP V1.X those before a first ping that
  // follows a break.
  std::vector<UnitRun> missing;
  std::int64_t MissingPings() const {
    std::int64_t n = 0;
    for (const UnitRun& r : missing) n += r.count;
    return n;
  }
  Verdict verdict = Verdict::Whole;
};

struct AreaHealth {
  std::int64_t pieces = 0, unreadable = 0, beyondEnd = 0;
  bool readable() const { return unreadable == 0 && beyondEnd == 0; }
};

struct DiscHealth {
  std::vector<RecordHealth> records;  // in slot order
  AreaHealth dump;                    // the scan dump area, in 4096-byte pieces
  std::uint64_t bytesRead = 0;
};

// Bytes the check reads at most: for a progress bar. volumeSize < 0 when unknown.
std::uint64_t BytesToCheck(const RecordDirectory& dir, SourceType type, std::int64_t volumeSize);

// The health of one record from its units, told in order by whatever reads
// them: the check itself (ReadRest), or a conversion riding along
// (ConvertRecord's observer), so both judge the same units the same way.
class RecordChecker final : public UnitObserver {
 public:
  RecordChecker(const RecordExtent& extent, SourceType type, int slot);
  ~RecordChecker() override;
  RecordChecker(const RecordChecker&) = delete;
  RecordChecker& operator=(const RecordChecker&) = delete;

  void Unit(std::int64_t k, std::span<const std::uint8_t> bytes, UnitState state) override;
  void End(std::int64_t pastEnd) override;

  // Reads, through one unit reader, the units not yet told (all of them, or
  // those after a conversion that stopped early), and ends. Gives the bytes
  // it read.
  std::uint64_t ReadRest(Volume& volume, const std::function<void(std::uint64_t bytesDone)>& progress = {});

  bool ended() const { return ended_; }
  // Once ended.
  const RecordHealth& health() const;
  // Where the pings a conversion of the record writes lie on the volume,
  // sorted and merged, as WrittenPings gives them: for ZEP V1.X those the
  // walk found, for TK40 the extent's whole blocks inside the volume.
  std::vector<ByteRange> WrittenPings(Volume& volume) const;

 private:
  struct Walk;
  RecordExtent extent_;
  SourceType type_;
  RecordHealth h_;
  std::int64_t next_;  // the unit expected next
  std::int64_t lastPing_ = -1;  // TK40: the last block that gave a ping
  bool ended_ = false;
  std::unique_ptr<Walk> walk_;  // ZEP V1.X
};

// The scan dump area read once, front to back, in sectors.
struct DumpArea {
  AreaHealth health;
  std::vector<std::uint8_t> bytes;     // when kept: kDumpSize bytes from kDumpOffset, zeros where nothing read
  std::int64_t inside = 0;             // bytes of it inside the volume (unreadable ones included)
  std::vector<ByteRange> unreadable;   // sectors that did not read, on the volume
  std::int64_t unreadableSectors = 0;  // of those, and a sector the end cuts
  Problem firstProblem;
  std::uint64_t bytesRead = 0;
};
DumpArea ReadDumpArea(Volume& volume, bool keep, const std::function<void(std::uint64_t bytesDone)>& progress = {});

DiscHealth CheckDisc(Volume& volume, const RecordDirectory& dir, SourceType type,
                     const std::function<void(std::uint64_t bytesDone)>& progress = {});

}  // namespace zep
