// Arbitrary bytes as a scan dump: every file the splitter writes must walk
// whole from its header to its last byte.

#include <filesystem>
#include <fstream>

#include "convert/convert.h"
#include "convert/record_file.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/fuzz/fuzz_output.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::filesystem::path dir = FuzzScratch("split");
  std::filesystem::create_directories(dir);
  const std::string dump = (dir / "test.bin").string();
  {
    std::ofstream out(dump, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  const zep::SplitResult r = zep::SplitScanDump(dump, (dir / "fond%i.zep").string());
  FUZZ_CHECK(r.dumpOpened);
  FUZZ_CHECK(r.failures.empty());
  FUZZ_CHECK(static_cast<int>(r.files.size()) == r.runs);
  for (const std::string& file : r.files) {
    const zep::RecordWalk walk = zep::WalkRecordFile(file);
    FUZZ_CHECK(walk.whole);
  }
  std::filesystem::remove_all(dir);
  return 0;
}
