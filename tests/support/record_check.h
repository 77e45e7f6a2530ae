#pragma once
// The one place tests judge record files: every file a test writes must walk
// whole (zero header, pings back to back to its last byte), and what the tools
// write must be the bytes the core writes for the same record.

#include <gtest/gtest.h>

#include <algorithm>

#include "convert/convert.h"
#include "convert/record_file.h"
#include "tests/support/disc_image.h"
#include "tests/support/fake_volume.h"
#include "tests/support/temp_dir.h"

namespace zep::test {

struct WalkedRecord {
  RecordWalk walk;
  std::vector<PingInfo> pings;
  std::vector<std::uint8_t> bytes;  // the whole file
};

// Walks the file both ways (streaming, and over its bytes); both must pass
// over no byte and find every byte read. Pings may be missing between those
// walked (a TK40 block that gave none): the caller looks at the indexes.
inline WalkedRecord WalkWhole(const std::string& path) {
  WalkedRecord r{.bytes = ReadWholeFile(path)};
  r.walk = WalkRecordFile(path, [&](const PingInfo& p) { r.pings.push_back(p); });
  const RecordWalk w = WalkRecord(r.bytes);
  const auto everyByte = [](const RecordWalk& walk) {
    return walk.headerZero && walk.problems.empty() && walk.unreadBytes == 0 &&
           std::ranges::all_of(walk.gaps, [](const WalkGap& g) { return g.begin == g.end; });
  };
  EXPECT_TRUE(everyByte(r.walk) && everyByte(w) && w.pings == r.walk.pings) << path << ": " << r.walk.NotWholeText() << w.NotWholeText();
  return r;
}

inline auto ConverterFor(SourceType type) { return type == SourceType::Tk40 ? ConvertTk40Record : CopyZepRecord; }

// Converts a slot of the image with the core, from volume or the image's bytes.
inline ConvertResult ConvertWithCore(const std::string& path, const DiscImage& img, int slot, const Progress& p = {},
                                     const MemoryVolume* volume = nullptr) {
  return ConverterFor(img.type())(path, img.Directory(), slot, OpenerFor(volume ? *volume : MemoryVolume(img.bytes())), p);
}

inline std::vector<std::uint8_t> CoreRecord(const DiscImage& img, int slot) {
  const TempDir dir;
  EXPECT_EQ(ConvertWithCore(dir.File("core.zep"), img, slot).Converted(), true);
  return ReadWholeFile(dir.File("core.zep"));
}

}  // namespace zep::test
