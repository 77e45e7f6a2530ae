// The read of one disc for the inventory, from the core's calls as they
// stand: the check, each record's conversion and the carve each read the
// disc on their own. One sweep that reads each byte once takes their place
// here alone.

#include "export/box_parts.h"

namespace zep::box {

SweepResult SweepDisc(Volume& volume, const VolumeOpener& open, const RecordDirectory& dir, SourceType type,
                      const SweepOptions& options) {
  SweepResult r;
  DiscHealth health = CheckDisc(volume, dir, type, options.progress);
  r.dump = health.dump;
  r.bytesRead = health.bytesRead;
  for (RecordHealth& h : health.records) {
    if (options.cancelled && options.cancelled()) {
      r.cancelled = true;
      return r;
    }
    SweptRecord s;
    s.slot = h.slot;
    if (const std::optional<OutputTarget> target = options.target ? options.target(h.slot) : std::nullopt) {
      s.conversion = ConvertRecord(type, *target, dir, h.slot, open);
      if (s.conversion.Converted()) s.path = target->path;
    }
    s.health = std::move(h);
    r.records.push_back(std::move(s));
  }
  if (options.dumpCarveDir.empty()) return r;
  CarveOptions carve;
  carve.outDir = options.dumpCarveDir;
  carve.output = options.dumpCarveOutput;
  carve.type = type;
  for (const SweptRecord& s : r.records) {
    for (const ByteRange& b : WrittenPings(volume, ExtentOf(dir, s.slot, type), type)) AddRange(carve.written, b);
  }
  r.dumpCarve = CarveRuns(volume, carve);
  return r;
}

CarveResult SweepCarve(Volume& volume, const CarveOptions& options,
                       const std::function<void(std::span<const std::uint8_t>)>& /*onVolumeBytes*/, bool& everyByte) {
  everyByte = false;
  return CarveRuns(volume, options);
}

}  // namespace zep::box
