#pragma once
// Builds disc images of either recorder generation in memory: directory
// entries, TK40 data blocks with their trailers and packed text, ZEP V1.X
// sectors holding ping records. Tests, the sample-disc maker and the
// benchmarks use the bytes directly or write them to a file.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "disc/directory.h"

namespace zep::test {

struct EntrySpec {
  std::uint8_t status = kStatusRecord;
  std::string name;       // raw bytes, at most 11
  bool terminate = true;  // the source type's terminator after a name shorter than 11
  std::uint8_t day = 0x05, month = 0x11, year = 0x08;
  std::array<std::uint8_t, 2> start{0x14, 0x05}, end{0x15, 0x30};
  std::int32_t first = 0;   // firstBlock / firstSector
  std::int32_t second = 0;  // endBlock / sectorCount
};

// Trailer offsets of a TK40 data block.
namespace tk40 {
inline constexpr int kModeCode = 3971, kFlags = 3981, kValue26 = 3982, kTextArea = 4032;
}  // namespace tk40

struct Tk40Block {
  std::array<std::uint8_t, 4096> bytes{};

  Tk40Block& Samples(std::uint32_t seed);  // bytes 0..3839 from a deterministic pattern
  Tk40Block& Byte(int offset, std::uint8_t value);
  Tk40Block& ModeCode(std::uint8_t code) { return Byte(tk40::kModeCode, code); }
  Tk40Block& Flags(std::uint8_t flags) { return Byte(tk40::kFlags, flags); }
  Tk40Block& Value26(std::uint16_t value);     // bytes 3982-3983 and flag bit 0
  Tk40Block& Text(const std::string& text);  // the packed text area and flag bit 3
};

// A ping record as a ZEP V1.X disc or a dump holds it: "VORL", sampleCount,
// pingIndex, the date 2008-11-05, mode, then sampleCount bytes following a pattern.
std::vector<std::uint8_t> MakePingRecord(std::uint16_t sampleCount, std::uint32_t pingIndex, std::uint8_t mode = 0);

// A GLL sentence with no checksum: 54 degrees and minutesNorth north, at a
// time of day.
std::string Gll(int secondsOfDay, double minutesNorth);

class DiscImage {
 public:
  explicit DiscImage(SourceType type, std::size_t size = 0);

  DiscImage& Entry(int slot, const EntrySpec& entry);
  DiscImage& Label(const std::string& name, bool terminate = true);
  DiscImage& Block(std::int64_t block, const Tk40Block& b);
  DiscImage& Sector(std::int64_t sector, std::span<const std::uint8_t> bytes);
  DiscImage& Bytes(std::int64_t pos, std::span<const std::uint8_t> bytes);
  DiscImage& Resize(std::size_t size) { return bytes_.resize(size, 0), *this; }

  SourceType type() const { return type_; }
  const std::vector<std::uint8_t>& bytes() const { return bytes_; }
  RecordDirectory Directory() const;
  void WriteFile(const std::string& path) const;

 private:
  SourceType type_;
  std::vector<std::uint8_t> bytes_;
};

}  // namespace zep::test
