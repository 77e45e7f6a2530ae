#include "disc/domain_map.h"

#include <algorithm>
#include <cstdio>

#include "disc/scan.h"

namespace zep {
namespace {

// [pos, end) clipped to the volume; empty (pos == end) when nothing is left.
DomainArea Clipped(std::int64_t pos, std::int64_t end, std::int64_t volumeSize, std::string what) {
  pos = std::max<std::int64_t>(pos, 0);
  if (volumeSize >= 0) end = std::min(end, volumeSize);
  return {pos, std::max(pos, end), std::move(what), -1};
}

// What a conversion reads of a record: its units from the first inside the
// volume to the last the end cuts through, none past it.
DomainArea RecordArea(const RecordDirectory& dir, int slot, SourceType type, std::int64_t volumeSize) {
  const RecordExtent ext = ExtentOf(dir, slot, type);
  const std::int64_t first = ext.BeforeStart(), last = ext.BeforeEnd(volumeSize);
  const std::string what = "record " + std::to_string(slot + 1);
  if (last <= first) return {0, 0, what, slot};
  DomainArea area = Clipped(ext.Offset(first), ext.Offset(last), volumeSize, what);
  area.slot = slot;
  return area;
}

std::string Hex(std::int64_t n) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%08llX", static_cast<unsigned long long>(n));
  return text;
}

}  // namespace

std::vector<DomainArea> ConversionAreas(const RecordDirectory& dir, SourceType type, std::int64_t volumeSize,
                                        const std::vector<int>& slots) {
  std::vector<DomainArea> areas;
  const auto add = [&](DomainArea a) {
    if (a.end > a.pos) areas.push_back(std::move(a));
  };
  add(Clipped(0, static_cast<std::int64_t>(kDirectorySize), volumeSize, "record directory"));
  for (int slot = 0; slot < kSlotCount; ++slot) {
    const bool chosen = slots.empty() || std::find(slots.begin(), slots.end(), slot) != slots.end();
    if (chosen && IsRecordSlot(dir, slot)) add(RecordArea(dir, slot, type, volumeSize));
  }
  add(Clipped(kDumpOffset, kDumpOffset + kDumpSize, volumeSize, "scan dump area"));
  return areas;
}

RescueMap DomainMap(const std::vector<DomainArea>& areas, std::int64_t volumeSize) {
  std::vector<DomainArea> sorted = areas;
  std::sort(sorted.begin(), sorted.end(), [](const DomainArea& a, const DomainArea& b) { return a.pos < b.pos; });
  RescueMap map;
  const auto add = [&map](std::int64_t pos, std::int64_t end, char status) {
    if (end <= pos) return;
    if (!map.blocks.empty() && map.blocks.back().status == status) map.blocks.back().size = end - map.blocks.back().pos;
    else map.blocks.push_back({pos, end - pos, status});
  };
  std::int64_t at = 0;
  for (const DomainArea& a : sorted) {
    if (a.end <= at) continue;
    add(at, a.pos, '?');
    add(std::max(at, a.pos), a.end, '+');
    at = a.end;
  }
  add(at, volumeSize, '?');
  return map;
}

std::string DomainMapText(const RescueMap& map, const std::vector<std::string>& comment) {
  std::string text;
  for (const std::string& line : comment) text += "# " + line + "\n";
  // ddrescue reads the position line even where it does not use it; pass 1.
  text += "# current_pos  current_status  current_pass\n";
  text += Hex(map.blocks.empty() ? 0 : map.blocks.front().pos) + "     ?               1\n";
  text += "#      pos        size  status\n";
  for (const RescueBlock& b : map.blocks) text += Hex(b.pos) + "  " + Hex(b.size) + "  " + b.status + "\n";
  return text;
}

std::int64_t DomainBytes(const RescueMap& map) {
  std::int64_t bytes = 0;
  for (const RescueBlock& b : map.blocks) bytes += b.status == '+' ? b.size : 0;
  return bytes;
}

}  // namespace zep
