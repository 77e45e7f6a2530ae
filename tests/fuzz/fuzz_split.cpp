// Arbitrary bytes as a scan dump: every file the splitter writes must walk
// from its header to its last byte, ping after ping. Its pings' indexes are
// the dump's own, so a jump between two of them is a gap the walk rightly
// names; a stretch it passes over is not.

#include "convert/convert.h"
#include "convert/record_file.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::filesystem::path dir = FuzzScratch("split");
  std::filesystem::create_directories(dir);
  const std::string dump = zep::test::WriteWholeFile((dir / "test.bin").string(), {data, data + size});
  const zep::SplitResult r = zep::SplitScanDump(dump, (dir / "fond%i.zep").string());
  FUZZ_CHECK(r.dumpOpened && r.failures.empty() && static_cast<int>(r.files.size()) == r.runs);
  for (std::size_t i = 0; i < r.files.size(); ++i) {
    const zep::RecordWalk walk = zep::WalkRecordFile(r.files[i]);
    FUZZ_CHECK(walk.opened && walk.headerZero && walk.problems.empty() && walk.unreadBytes == 0);
    FUZZ_CHECK(walk.stoppedAt == walk.size && walk.pings == r.filePings[i] && walk.pings >= 1);
    for (const zep::WalkGap& gap : walk.gaps) FUZZ_CHECK(gap.begin == gap.end);
  }
  std::filesystem::remove_all(dir);
  return 0;
}
