// Arbitrary TK40 blocks, some of them unreadable, through the conversion: the
// result must be a walkable file with one ping per readable block whose mode
// code has a mode, the progress protocol kept, and every failure counted.

#include "convert/convert.h"
#include "convert/record_file.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/support/disc_image.h"
#include "tests/support/fake_volume.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  const int blocks = data[0] % 12;  // endBlock - firstBlock
  const unsigned failMask = data[1] | data[2] << 8;
  zep::test::DiscImage image(zep::SourceType::Tk40);
  image.Entry(0, {.name = "F", .day = 0x01, .month = 0x02, .year = data[3], .first = 3, .second = 3 + blocks});
  zep::test::Tk40Block block;
  for (int b = 0; b < blocks; ++b) {  // the input, repeated as needed, fills the blocks
    for (std::size_t k = 0; k < block.bytes.size(); ++k) block.bytes[k] = size > 4 ? data[4 + (b * 4096 + k) % (size - 4)] : 0;
    image.Block(3 + b, block);
  }
  zep::test::MemoryVolume volume(image.bytes());
  int injected = 0;
  for (int b = 0; b < blocks; ++b) {
    if (failMask & (1u << b)) volume.FailRange(zep::Tk40BlockOffset(3 + b), 4096), ++injected;
  }
  const std::string out = FuzzScratch("tk40.zep");
  std::int64_t lastPos = -1, ranges = 0;
  const zep::ConvertResult r = zep::ConvertTk40Record(
      out, image.Directory(), 0, zep::test::OpenerFor(volume),
      {[&](std::uint16_t max) { FUZZ_CHECK(max == blocks && ++ranges == 1); },
       [&](std::int32_t pos) { FUZZ_CHECK(pos == ++lastPos); }});
  FUZZ_CHECK(r.Converted() && ranges == 1 && lastPos == blocks - 1 && r.failedUnits == injected);
  FUZZ_CHECK((r.status == zep::ConvertStatus::Done) == (injected == 0 && r.skippedUnits == 0));
  const zep::RecordWalk walk = zep::WalkRecordFile(out);
  // A block that gives no ping is a jump in the indexes, never bytes out of place.
  FUZZ_CHECK(walk.problems.empty() && walk.unreadBytes == 0 && (walk.Whole() || !walk.gaps.empty()));
  FUZZ_CHECK(static_cast<std::int64_t>(walk.pings) == blocks - injected - r.skippedUnits);
  FUZZ_CHECK(walk.size == r.bytesWritten);
  std::filesystem::remove(out);
  return 0;
}
