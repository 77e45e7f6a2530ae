// Arbitrary bytes as a record file: the walker stays inside them and its
// account adds up.

#include "convert/record_file.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::uint64_t visited = 0, lastOffset = 0;
  const zep::RecordWalk walk = zep::WalkRecord({data, size}, [&](const zep::PingInfo& p) {
    FUZZ_CHECK(visited == 0 || p.offset > lastOffset);
    FUZZ_CHECK(p.offset + 256 + p.sampleCount <= size);
    lastOffset = p.offset;
    ++visited;
  });
  FUZZ_CHECK(walk.pings == visited);
  FUZZ_CHECK(walk.size == size);
  FUZZ_CHECK(walk.stoppedAt <= size);
  if (walk.pings > 0) FUZZ_CHECK(4096 + 256 * walk.pings + walk.samples <= size);
  FUZZ_CHECK(walk.Whole() == (walk.headerZero && walk.gaps.empty() && walk.stoppedAt + walk.padding == size));
  FUZZ_CHECK(walk.Whole() == (walk.problems.empty() && walk.gaps.empty()));
  return 0;
}
