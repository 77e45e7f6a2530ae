#include "operations/disc_tally.h"

namespace zep {

void DiscTally::Add(const DiscTally& other) {
  records += other.records;
  pings += other.pings;
  lost += other.lost;
  pastEnd += other.pastEnd;
  notTried += other.notTried;
}

std::int64_t InSectors(SourceType type, std::int64_t units) {
  return type == SourceType::Tk40 ? units * (kTk40BlockSize / kZepSectorSize) : units;
}

DiscTally TallyOfConversion(SourceType type, const RecordConversion& c) {
  const ConvertResult& r = c.result;
  DiscTally t;
  if (r.Converted()) t.records = 1, t.pings = static_cast<std::int64_t>(c.pings);
  t.lost = InSectors(type, c.LostUnits());
  t.notTried = InSectors(type, r.notTriedUnits);
  t.pastEnd = InSectors(type, r.beyondEndUnits);
  return t;
}

DiscTally TallyOfCheck(SourceType type, const RecordHealth& h) {
  return {.records = 1,
          .pings = h.pings,
          .lost = InSectors(type, h.unreadableUnits - h.notTriedUnits + h.noMode),
          .pastEnd = InSectors(type, h.beyondEnd),
          .notTried = InSectors(type, h.notTriedUnits)};
}

DiscTally TallyOfCarve(const CarveResult& carve) {
  DiscTally t;
  for (const CarvedFile& f : carve.files) t.records += 1, t.pings += static_cast<std::int64_t>(f.pings);
  t.lost = carve.unreadableSectors;
  t.notTried = carve.notTriedSectors;
  return t;
}

std::optional<SourceType> SourceTypeNamed(std::string_view name) {
  for (SourceType type : {SourceType::Tk40, SourceType::ZepV1})
    if (name == SourceTypeName(type)) return type;
  return std::nullopt;
}

}  // namespace zep
