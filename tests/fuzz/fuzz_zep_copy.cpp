// Arbitrary ZEP V1.X sectors and directory numbers, some sectors unreadable or
// past the end of the volume: the copy keeps every sector's place and counts
// what it could not read.

#include <filesystem>

#include "convert/convert.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/fuzz/fuzz_output.h"
#include "tests/support/disc_image.h"
#include "tests/support/fake_volume.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 5) return 0;
  const int first = data[0] % 8;
  const int sectorCount = static_cast<int>(data[1] % 24) - 2;  // -2 .. 21
  const std::uint16_t failMask = static_cast<std::uint16_t>(data[2] | data[3] << 8);
  const int present = data[4] % 32;  // sectors the volume holds
  data += 5;
  size -= 5;

  zep::test::DiscImage image(zep::SourceType::ZepV1, static_cast<std::size_t>(present) * 2048);
  image.Entry(0, {.name = "Z", .first = first, .second = sectorCount});
  for (int s = 1; s < present; ++s) {
    std::vector<std::uint8_t> sector(2048);
    for (std::size_t k = 0; k < sector.size(); ++k) sector[k] = size ? data[(s * 2048 + k) % size] : 0;
    image.Sector(s, sector);
  }
  image.Entry(0, {.name = "Z", .first = first, .second = sectorCount});
  zep::test::MemoryVolume volume(image.bytes());
  const int n = sectorCount - 2;
  int expectedFailures = 0;
  for (int i = 0; i < n; ++i) {
    const int sector = first + 2 + i;
    const bool fails = i < 16 && (failMask & (1u << i));
    if (fails) volume.FailRange(zep::ZepSectorOffset(sector), 2048);
    if (fails || sector >= present) ++expectedFailures;
  }

  const std::string out = FuzzScratch("copy.zep");
  const zep::ConvertResult r = zep::CopyZepRecord(out, image.Directory(), 0, zep::test::OpenerFor(volume));
  FUZZ_CHECK(r.result == 1);
  FUZZ_CHECK(r.failedUnits == expectedFailures);
  const auto expectedSize = 4096 + 2048 * static_cast<std::uintmax_t>(n > 0 ? n : 0);
  FUZZ_CHECK(std::filesystem::file_size(out) == expectedSize);
  std::filesystem::remove(out);
  return 0;
}
