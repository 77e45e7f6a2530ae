// Arbitrary bytes as a scan dump: every file the splitter writes must walk
// whole from its header to its last byte.

#include "convert/convert.h"
#include "convert/record_file.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::filesystem::path dir = FuzzScratch("split");
  std::filesystem::create_directories(dir);
  const std::string dump = zep::test::WriteWholeFile((dir / "test.bin").string(), {data, data + size});
  const zep::SplitResult r = zep::SplitScanDump(dump, (dir / "fond%i.zep").string());
  FUZZ_CHECK(r.dumpOpened && r.failures.empty() && static_cast<int>(r.files.size()) == r.runs);
  for (const std::string& file : r.files) FUZZ_CHECK(zep::WalkRecordFile(file).Whole());
  std::filesystem::remove_all(dir);
  return 0;
}
