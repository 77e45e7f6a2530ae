// Arbitrary bytes as a disc (its first 2048 the directory), some sectors
// unreadable. Carving, for runs of both types: every file walks whole and
// holds the pings it claims, at least one.
// Checking, as either type: each record's units are counted once, and its
// verdict follows from them. The same bytes as a GNU ddrescue mapfile: refused
// with a reason, or a map.

#include "convert/carve.h"
#include "convert/disc_check.h"
#include "convert/record_file.h"
#include "disc/rescue_map.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/support/fake_volume.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const zep::RescueMapLoad load = zep::ParseRescueMap({reinterpret_cast<const char*>(data), size}, "fuzz.map");
  FUZZ_CHECK(load.map.has_value() != load.problem.has_value());
  FUZZ_CHECK(!load.map || (load.map->End() >= 0 && load.map->RescuedEnd() <= load.map->End()));
  if (size < 1) return 0;
  zep::test::MemoryVolume volume({data + 1, data + size});
  volume.KnowSize(zep::test::MemoryVolume::SizeKnown::FromStart);  // a garbage count is not read unit by unit
  for (int s = 0; s < 7; ++s) {
    if (data[0] & (1u << s)) volume.FailRange(std::int64_t{s + 1} * 5 * 2048, 2048);
  }
  zep::CarveOptions options;
  options.outDir = FuzzScratch("carve");
  options.type = std::nullopt;
  std::filesystem::create_directories(options.outDir);
  const zep::CarveResult carved = zep::CarveRuns(volume, options);
  FUZZ_CHECK(carved.failures.empty() && carved.files.size() <= carved.runs);
  for (const zep::CarvedFile& f : carved.files) {
    const zep::RecordWalk walk = zep::WalkRecordFile(f.path);
    FUZZ_CHECK(walk.Whole() && walk.pings == f.pings && f.pings >= 1);
  }
  std::filesystem::remove_all(options.outDir);

  zep::RecordDirectory dir{};
  std::copy_n(data + 1, std::min<std::size_t>(size - 1, dir.size()), dir.begin());
  const auto type = data[0] & 0x80 ? zep::SourceType::ZepV1 : zep::SourceType::Tk40;
  const zep::DiscHealth health = zep::CheckDisc(volume, dir, type);
  for (const zep::RecordHealth& h : health.records) {
    FUZZ_CHECK(h.wholeUnits + h.unreadableUnits + h.beyondEnd == h.units && h.pings >= 0);
    const bool lost = h.unreadableUnits > 0 || h.beyondEnd > 0 || h.noMode > 0 || h.walkBreaksAt;
    FUZZ_CHECK((h.verdict == zep::Verdict::Whole) == (h.units > 0 && !lost));
  }
  FUZZ_CHECK(health.bytesRead <= zep::BytesToCheck(dir, type, volume.Size()));
  return 0;
}
