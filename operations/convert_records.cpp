#include "operations/convert_records.h"

#include "convert/disc_check.h"

namespace zep {

RecordConversion ConvertOpenRecord(Volume& volume, SourceType type, const RecordDirectory& dir, int slot,
                                   const OutputTarget& target, const Progress& progress) {
  RecordConversion c;
  // The check's own judge of a record rides along: it sees every unit the
  // conversion reads, and counts the pings as a walk of the file would.
  RecordChecker checker(ExtentOf(dir, slot, type), type, slot);
  c.result = ConvertRecord(type, target, dir, slot, BorrowingOpener(volume), progress, &checker);
  const ConvertResult& r = c.result;
  const bool tk40 = type == SourceType::Tk40;
  // Unreadable TK40 blocks, and blocks without a mode, give no ping;
  // nothing is written for units outside the volume.
  c.writtenUnits = (tk40 ? r.units - r.failedUnits - r.skippedUnits : r.units) - r.beyondEndUnits;
  if (!r.Converted() || !checker.ended()) return c;
  const RecordHealth& health = checker.health();
  c.pings = static_cast<std::uint64_t>(health.pings);
  c.unreadPings = health.unreadPings;
  c.missingPings = static_cast<std::uint64_t>(health.MissingPings());
  return c;
}

}  // namespace zep
