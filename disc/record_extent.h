#pragma once
// Where a record's units lie on the volume, for either recorder type. It is
// made in one place, from the record's directory entry (ReadEntry), and
// everything that reads a record takes it from there:
//   - TK40: blocks firstBlock to endBlock - 1, block n at byte (n + 4) * 4096;
//   - ZEP V1.X: sectors firstSector + 2 to firstSector + sectorCount - 1,
//     sector s at byte s * 2048 (the first two sectors are not copied).
// The counts are the recorder's signed 32-bit differences, which a damaged
// entry may make negative (no units) or wrap. Everything else is 64-bit and
// does not wrap: a unit before byte 0 is before the start of the volume, a
// unit past 2 GiB is read where it really is.

#include <algorithm>
#include <cstdint>
#include <limits>

namespace zep {

enum class SourceType : std::uint8_t { Tk40 = 0, ZepV1 = 1 };

inline constexpr std::int64_t kTk40BlockSize = 4096;
inline constexpr std::int64_t kZepSectorSize = 2048;

constexpr std::int64_t Tk40BlockOffset(std::int64_t block) { return (block + 4) * kTk40BlockSize; }
constexpr std::int64_t ZepSectorOffset(std::int64_t sector) { return sector * kZepSectorSize; }
constexpr std::int64_t UnitSizeOf(SourceType type) {
  return type == SourceType::Tk40 ? kTk40BlockSize : kZepSectorSize;
}

struct RecordExtent {
  std::int64_t firstUnit = 0;  // the block or sector number of the first unit read
  // The units read: none for a negative count32.
  std::int64_t count = 0;
  // The recorder's 32-bit count of the units read: TK40 endBlock - firstBlock,
  // ZEP V1.X sectorCount - 2. Its low 16 bits are the progress range.
  std::int32_t count32 = 0;
  // The record list's "Pings" cell: TK40 count32, ZEP V1.X sectorCount.
  std::int32_t listed = 0;
  std::int64_t unitSize = kTk40BlockSize;
  std::int64_t firstPos = 0;  // the byte position of the first unit; negative before the volume's start

  // Units of unitSize bytes from byte firstPos on, numbered from firstUnit.
  static RecordExtent Bytes(std::int64_t firstPos, std::int64_t unitSize, std::int64_t count,
                            std::int64_t firstUnit = 0) {
    const auto narrow = static_cast<std::int32_t>(std::min<std::int64_t>(count, std::int64_t{std::numeric_limits<std::int32_t>::max()}));
    return {firstUnit, std::max<std::int64_t>(count, 0), narrow, narrow, unitSize, firstPos};
  }

  // The block or sector number and the byte position of unit k (0 to count).
  std::int64_t Unit(std::int64_t k) const { return firstUnit + k; }
  std::int64_t Offset(std::int64_t k) const { return firstPos + k * unitSize; }
  // How many units, from the first, lie before byte 0 of the volume: none of
  // them can be read.
  std::int64_t BeforeStart() const {
    if (firstPos >= 0) return 0;
    return std::min((-firstPos + unitSize - 1) / unitSize, count);
  }
  // The index from which units lie wholly past the end of a volume of
  // volumeSize bytes: they are neither read nor written. A unit the end cuts
  // through is not past it (its read comes back short). count while the
  // size is unknown (negative).
  std::int64_t BeforeEnd(std::int64_t volumeSize) const {
    if (volumeSize < 0) return count;
    if (firstPos >= volumeSize) return 0;
    return std::min((volumeSize - firstPos + unitSize - 1) / unitSize, count);
  }
};

// The extent of the 32-byte directory entry at entry.
RecordExtent ExtentOfEntry(const std::uint8_t* entry, SourceType type);

}  // namespace zep
