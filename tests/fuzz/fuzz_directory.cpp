// Any 2048 bytes as a record directory, read under both source types: the
// rows, their cells, the names and the title must stay within their bounds.

#include <algorithm>
#include <cstring>

#include "operations/disc_words.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  zep::RecordDirectory dir{};
  std::memcpy(dir.data(), data, std::min(size, dir.size()));
  for (zep::SourceType type : {zep::SourceType::Tk40, zep::SourceType::ZepV1}) {
    int lastSlot = -1;
    for (const auto& row : zep::BuildListRows(dir, type)) {
      FUZZ_CHECK(row.slot > lastSlot && row.slot < 64);
      lastSlot = row.slot;
      FUZZ_CHECK(row.cells[1].size() <= 11 && row.cells[2].size() <= 9);  // "dd Mon yy"
      FUZZ_CHECK(row.cells[3].size() == 5 && row.cells[4].size() == 5);
    }
    FUZZ_CHECK(zep::BuildTitle(dir, type).size() <= 27);
    char name[12];
    for (int slot = 0; slot < 64; ++slot) {
      const int n = zep::CopyRecordName(name, dir.data() + slot * 32 + 1, type);
      FUZZ_CHECK(n >= 0 && n <= 11 && name[n] == '\0');
    }
  }
  return 0;
}
