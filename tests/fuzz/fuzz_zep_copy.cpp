// Arbitrary ZEP V1.X sectors and directory numbers, some sectors unreadable or
// past the end of the volume: the copy keeps every sector's place and counts
// what it could not read.

#include "convert/convert.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/support/disc_image.h"
#include "tests/support/fake_volume.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 5) return 0;
  const int first = data[0] % 8, sectorCount = data[1] % 24 - 2;  // -2 .. 21
  const unsigned failMask = data[2] | data[3] << 8;
  const int present = data[4] % 32;  // sectors the volume holds
  zep::test::DiscImage image(zep::SourceType::ZepV1, static_cast<std::size_t>(present) * 2048);
  std::vector<std::uint8_t> sector(2048);
  for (int s = 1; s < present; ++s) {
    for (std::size_t k = 0; k < sector.size(); ++k) sector[k] = size > 5 ? data[5 + (s * 2048 + k) % (size - 5)] : 0;
    image.Sector(s, sector);
  }
  image.Entry(0, {.name = "Z", .first = first, .second = sectorCount});
  zep::test::MemoryVolume volume(image.bytes());
  int expectedFailures = 0;
  for (int i = 0; i < sectorCount - 2; ++i) {
    const bool fails = i < 16 && (failMask & (1u << i));
    if (fails) volume.FailRange(zep::ZepSectorOffset(first + 2 + i), 2048);
    if (fails || first + 2 + i >= present) ++expectedFailures;
  }
  const std::string out = FuzzScratch("copy.zep");
  const zep::ConvertResult r = zep::CopyZepRecord(out, image.Directory(), 0, zep::test::OpenerFor(volume));
  FUZZ_CHECK(r.Converted() && r.failedUnits == expectedFailures);
  FUZZ_CHECK(std::filesystem::file_size(out) == 4096 + 2048 * static_cast<std::uintmax_t>(std::max(sectorCount - 2, 0)));
  std::filesystem::remove(out);
  return 0;
}
