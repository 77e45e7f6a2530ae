#include "disc/detect_type.h"

#include <algorithm>

#include "disc/civil_date.h"

namespace zep {
namespace {

// Looser than a calendar date: a directory's two-digit year says too little
// for the leap-year rule, and a 31st of a short month is still BCD where a
// date belongs.
bool IsEntryDate(const std::uint8_t* e, std::size_t at) {
  const auto day = BcdValue(e[at]), month = BcdValue(e[at + 1]);
  return day && month && BcdValue(e[at + 2]) && *day >= 1 && *day <= 31 && *month >= 1 && *month <= 12;
}

SlotEvidence Weigh(const RecordDirectory& dir, int slot, const PingProbe& probe) {
  const std::uint8_t* e = dir.data() + static_cast<std::size_t>(slot) * kEntrySize;
  SlotEvidence ev;
  ev.slot = slot;
  ev.label = slot == kLabelSlot && e[0] == kStatusLabel;
  ev.strange = e[0] != kStatusRecord && !ev.label;
  const std::uint8_t* name = e + 1;
  const std::uint8_t* end = name + kNameFieldSize;
  const bool ff = std::find(name, end, 0xFF) != end, cr = std::find(name, end, 0x0D) != end;
  ev.tk40Name = ff || !cr;
  ev.zepName = cr || !ff;
  ev.tk40Date = IsEntryDate(e, 13);
  ev.zepDate = IsEntryDate(e, 12);
  if (e[0] == kStatusRecord && probe) {
    const RecordExtent ext = ExtentOfEntry(e, SourceType::ZepV1);
    ev.opensPing = ext.firstUnit >= 2 && ext.listed > 2 && probe(ext.firstUnit);
  }
  return ev;
}

}  // namespace

std::optional<SourceType> TypeEvidence::type() const {
  if (kind == DiscKind::Tk40) return SourceType::Tk40;
  if (kind == DiscKind::ZepV1) return SourceType::ZepV1;
  return std::nullopt;
}

bool TypeEvidence::RulesOut(SourceType chosen) const {
  const int fitChosen = chosen == SourceType::Tk40 ? fitTk40 : fitZep;
  const int fitOther = chosen == SourceType::Tk40 ? fitZep : fitTk40;
  return fitChosen == 0 && fitOther > 0;
}

TypeEvidence DetectDiscType(const RecordDirectory& dir, const PingProbe& opensPingRecord) {
  TypeEvidence ev;
  if (std::all_of(dir.begin(), dir.end(), [](std::uint8_t b) { return b == 0; })) {
    ev.kind = DiscKind::Blank;
    return ev;
  }
  int onlyTk40 = 0, onlyZep = 0;
  for (int slot = 0; slot < kSlotCount; ++slot) {
    if (dir[static_cast<std::size_t>(slot) * kEntrySize] == 0) continue;
    const SlotEvidence s = Weigh(dir, slot, opensPingRecord);
    ev.fitTk40 += s.fitsTk40();
    ev.fitZep += s.fitsZep();
    ev.opensPing += s.opensPing;
    ev.strange += s.strange;
    onlyTk40 += s.fitsTk40() && !s.fitsZep();
    onlyZep += s.fitsZep() && !s.fitsTk40();
    ev.slots.push_back(s);
  }
  const int used = static_cast<int>(ev.slots.size());
  if (used == 0) ev.kind = DiscKind::NoRecords;
  else if (onlyTk40 > onlyZep && 2 * ev.fitTk40 > used) ev.kind = DiscKind::Tk40;
  else if (onlyZep > onlyTk40 && 2 * ev.fitZep > used) ev.kind = DiscKind::ZepV1;
  else ev.kind = DiscKind::Unknown;
  return ev;
}

std::string TypeEvidence::Describe() const {
  std::string verdict;
  switch (kind) {
    case DiscKind::Blank: return "a blank disc (its record directory is all zeros): no records";
    case DiscKind::NoRecords: return "no slot of the record directory is in use: no records";
    case DiscKind::Tk40: verdict = "a TK40 disc"; break;
    case DiscKind::ZepV1: verdict = "a ZEP V1.X disc"; break;
    case DiscKind::Unknown: verdict = "not a TK40 or ZEP V1.X disc"; break;
  }
  const std::string used = std::to_string(slots.size());
  std::string text = verdict + " (of " + used + (slots.size() == 1 ? " slot" : " slots") + " in use, " +
                     std::to_string(fitTk40) + " fit TK40, " + std::to_string(fitZep) + " fit ZEP V1.X";
  // Only what weighed: a record that opens with a ping record settles ZEP
  // V1.X, and none opening with one says nothing (TK40 blocks never do).
  if (opensPing > 0) {
    text += "; " + std::to_string(opensPing) + (opensPing == 1 ? " record opens" : " records open") +
            " with a ping record";
  }
  if (strange > 0) text += "; " + std::to_string(strange) + " slots hold no known status";
  return text + ")";
}

const char* SourceTypeName(SourceType type) { return type == SourceType::Tk40 ? "TK40" : "ZEP V1.X"; }

}  // namespace zep
