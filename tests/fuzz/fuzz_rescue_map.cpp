// Arbitrary text as a GNU ddrescue mapfile: it is refused with a reason, or it
// gives a map whose blocks answer every question about any byte range.

#include "disc/rescue_map.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const zep::RescueMapLoad load =
      zep::ParseRescueMap({reinterpret_cast<const char*>(data), size}, "fuzz.map");
  FUZZ_CHECK(load.map.has_value() != !load.error.empty());
  if (!load.map) return 0;
  const std::int64_t end = load.map->End();
  FUZZ_CHECK(end >= 0 && load.map->RescuedEnd() <= end);
  const zep::RescueBlock* bad = load.map->FirstUnrescued(0, end);
  FUZZ_CHECK(bad == nullptr || bad->status != '+');
  return 0;
}
