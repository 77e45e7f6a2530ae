#pragma once
// The health check: every unit of every listed record and the scan dump area
// read once, nothing written, and for each record what a conversion would get
// and what it would lose.

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

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


struct RecordHealth {
  int slot = 0;
  std::int64_t directoryCount = 0;  // as listed: TK40 endBlock - firstBlock, ZEP V1.X sectorCount
  std::int64_t firstUnit = 0;       // the first unit a conversion reads
  std::int64_t units = 0;           // how many it reads
  std::int64_t wholeUnits = 0;
  std::vector<UnitRun> unreadable;  // unreadable units, and a unit the end of the volume cuts through
  std::int64_t unreadableUnits = 0;
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

DiscHealth CheckDisc(Volume& volume, const RecordDirectory& dir, SourceType type,
                     const std::function<void(std::uint64_t bytesDone)>& progress = {});

}  // namespace zep
