#pragma once
// The record directory: the first 2048 bytes of a disc, 64 slots of 32 bytes.
// The two recorder generations put the date one byte apart and end names with
// different terminators; everything else is shared.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "disc/record_extent.h"

namespace zep {

inline constexpr std::size_t kDirectorySize = 2048;
inline constexpr int kSlotCount = 64;
inline constexpr std::size_t kEntrySize = 32;
inline constexpr std::size_t kNameFieldSize = 11;
inline constexpr int kLabelSlot = 63;

inline constexpr std::uint8_t kStatusRecord = 1;
inline constexpr std::uint8_t kStatusLabel = 2;

using RecordDirectory = std::array<std::uint8_t, kDirectorySize>;

// One slot, decoded under the layout of a source type.
struct DirectoryEntry {
  std::uint8_t status = 0;
  const std::uint8_t* name = nullptr;  // the 11-byte name field inside the directory
  std::uint8_t day = 0, month = 0, year = 0;
  std::array<std::uint8_t, 2> startTime{}, endTime{};
  RecordExtent extent;  // where its units lie (firstBlock/endBlock, firstSector/sectorCount)
};

DirectoryEntry ReadEntry(const RecordDirectory& dir, int slot, SourceType type);
inline RecordExtent ExtentOf(const RecordDirectory& dir, int slot, SourceType type) {
  return ExtentOfEntry(dir.data() + static_cast<std::size_t>(slot) * kEntrySize, type);
}

bool IsRecordSlot(const RecordDirectory& dir, int slot);
// Slot 63 with status 2 names the disc.
bool HasLabel(const RecordDirectory& dir);

inline constexpr std::uint8_t NameTerminator(SourceType type) { return type == SourceType::Tk40 ? 0xFF : 0x0D; }

// Copies the name up to the source type's terminator or 11 bytes, whichever
// comes first, then a zero byte. dest holds at least 12 bytes. Bytes are copied
// as they are, a zero byte included. Returns the number copied (0 to 11).
int CopyRecordName(char* dest, const std::uint8_t* nameField, SourceType type);

// The name as text, up to the terminator and, since it is handled as
// zero-terminated text everywhere it is shown or used, up to a zero byte.
std::string RecordName(const RecordDirectory& dir, int slot, SourceType type);

// Little-endian signed 32-bit field.
inline std::int32_t ReadI32(const std::uint8_t* p) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
                                   static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24);
}

}  // namespace zep
