// Which recorder wrote a disc, from its directory and the first sector of its
// records: both types, blank, random and damaged directories.

#include <gtest/gtest.h>

#include "disc/detect_type.h"
#include "tests/support/disc_image.h"

namespace zep {
namespace {

test::DiscImage Disc(SourceType type, const std::string& name = "SURVEY") {
  test::DiscImage img(type);
  for (int slot = 0; slot < 3; ++slot) img.Entry(slot, {.name = name, .first = 10 * slot, .second = 10 * slot + 5});
  return img.Label("LABEL");
}

test::DiscImage Random() {
  test::DiscImage img(SourceType::Tk40);
  std::uint32_t x = 12345;
  std::vector<std::uint8_t> bytes(kDirectorySize);
  for (auto& b : bytes) b = static_cast<std::uint8_t>((x = x * 1103515245u + 12345u) >> 24);
  return img.Bytes(0, bytes);
}

TEST(DetectTypeTest, TheDiscsOwnEvidenceDecides) {
  const struct {
    const char* name;
    test::DiscImage img;
    bool pings;  // every record's first copied sector opens a ping record
    DiscKind kind;
  } cases[] = {
      {"TK40", Disc(SourceType::Tk40), false, DiscKind::Tk40},
      {"ZEP V1.X", Disc(SourceType::ZepV1), false, DiscKind::ZepV1},
      {"ZEP V1.X, pings", Disc(SourceType::ZepV1), true, DiscKind::ZepV1},
      // Names of 11 characters carry no terminator, and a ZEP V1.X date read
      // one byte on is still a date: only the pings tell.
      {"11-character names", Disc(SourceType::ZepV1, "ELEVENCHARS").Label("ELEVENCHARS"), false, DiscKind::Unknown},
      {"11-character names, pings", Disc(SourceType::ZepV1, "ELEVENCHARS"), true, DiscKind::ZepV1},
      {"blank", test::DiscImage(SourceType::Tk40), false, DiscKind::Blank},
      {"random", Random(), false, DiscKind::Unknown},
      {"random, pings asked", Random(), true, DiscKind::Unknown},
      {"one slot overwritten", Disc(SourceType::ZepV1).Bytes(32, std::vector<std::uint8_t>(32, 0x7F)), false,
       DiscKind::ZepV1},
      {"two of four slots overwritten", Disc(SourceType::Tk40).Bytes(0, std::vector<std::uint8_t>(64, 0x7F)), false,
       DiscKind::Unknown},
      {"no slot in use", test::DiscImage(SourceType::Tk40).Bytes(5, std::vector<std::uint8_t>{1, 2}), false,
       DiscKind::NoRecords},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const TypeEvidence ev = DetectDiscType(c.img.Directory(), [&](std::int64_t) { return c.pings; });
    EXPECT_EQ(static_cast<int>(ev.kind), static_cast<int>(c.kind)) << ev.Describe();
  }
}

}  // namespace
}  // namespace zep
