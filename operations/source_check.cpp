#include "operations/source_check.h"

#include "disc/scan.h"

namespace zep {

SourceCheck StartCheck(const DiscSource& disc, const TypeChoice& choice) {
  SourceCheck check;
  check.directoryProblem = ReadRecordDirectory(*disc.volume, check.dir);
  check.type = SettleDiscType(disc.source, disc.opener, check.dir, choice);
  check.checkable = !check.type.refused && (choice.given || check.type.evidence.kind != DiscKind::Unknown);
  return check;
}

void CheckRecords(const DiscSource& disc, SourceCheck& check, const std::function<void(std::uint64_t)>& progress) {
  if (check.checkable) check.health = CheckDisc(*disc.volume, check.dir, check.type.type, progress);
}

bool AnythingLost(const SourceCheck& check) {
  if (check.directoryProblem || check.health.dump.unreadable > 0) return true;
  for (const RecordHealth& h : check.health.records) {
    if (h.verdict == Verdict::Damaged || h.verdict == Verdict::BeyondEnd) return true;
  }
  return false;
}

}  // namespace zep
