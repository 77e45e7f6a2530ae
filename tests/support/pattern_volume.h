#pragma once
// A TK40 volume whose blocks are made on demand from their numbers: records
// far larger than an image in memory (100,000 pings are 400 MB) cost nothing
// to hold. Reads behave as a disc image's: zeros before block 0, the end of
// the volume after the last block, failures on chosen blocks.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "disc/volume.h"

namespace zep::test {

class PatternTk40Volume final : public Volume {
 public:
  // fill writes the 4096 bytes of block n (0 <= n < blocks).
  using Fill = std::function<void(std::int64_t block, std::uint8_t* bytes)>;
  PatternTk40Volume(std::int64_t blocks, Fill fill) : blocks_(blocks), fill_(std::move(fill)) {}

  // Any read that touches one of these blocks fails outright.
  void FailBlocks(std::int64_t first, std::int64_t count) { failures_.push_back({first, count}); }

  ReadResult ReadAt(std::int64_t pos, std::span<std::uint8_t> buf) override;
  bool IsRemovableMedia() override { return true; }
  const std::string& Name() const override { return name_; }

  std::int64_t readCalls() const { return readCalls_; }

 private:
  struct Range {
    std::int64_t first, count;
  };
  std::int64_t blocks_;
  Fill fill_;
  std::vector<Range> failures_;
  std::string name_ = "pattern";
  std::int64_t readCalls_ = 0;
};

// Hands out a volume the caller keeps, to code that closes what it opens.
VolumeOpener BorrowVolume(Volume* volume);

}  // namespace zep::test
