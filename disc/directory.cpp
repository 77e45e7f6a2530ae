#include "disc/directory.h"

#include <algorithm>

namespace zep {

RecordExtent ExtentOfEntry(const std::uint8_t* e, SourceType type) {
  // Both 32-bit differences wrap as the recorder's software computed them;
  // done unsigned to keep that defined.
  const std::int32_t first = ReadI32(e + 20), second = ReadI32(e + 24);
  const auto minus = [](std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
  };
  constexpr std::int32_t kUncopiedSectors = 2;
  const auto make = [](std::int64_t unit, std::int32_t count32, std::int32_t listed, SourceType type) {
    const std::int64_t pos = type == SourceType::Tk40 ? Tk40BlockOffset(unit) : ZepSectorOffset(unit);
    return RecordExtent{unit, std::max<std::int64_t>(count32, 0), count32, listed, UnitSizeOf(type), pos};
  };
  if (type == SourceType::Tk40) return make(first, minus(second, first), minus(second, first), type);
  return make(std::int64_t{first} + kUncopiedSectors, minus(second, kUncopiedSectors), second, type);
}

DirectoryEntry ReadEntry(const RecordDirectory& dir, int slot, SourceType type) {
  const std::uint8_t* e = dir.data() + static_cast<std::size_t>(slot) * kEntrySize;
  DirectoryEntry entry;
  entry.status = e[0];
  entry.name = e + 1;
  // ZEP V1.X keeps the date one byte earlier than TK40.
  const std::size_t date = type == SourceType::Tk40 ? 13 : 12;
  entry.day = e[date];
  entry.month = e[date + 1];
  entry.year = e[date + 2];
  entry.startTime = {e[16], e[17]};
  entry.endTime = {e[18], e[19]};
  entry.extent = ExtentOfEntry(e, type);
  return entry;
}

bool IsRecordSlot(const RecordDirectory& dir, int slot) {
  return dir[static_cast<std::size_t>(slot) * kEntrySize] == kStatusRecord;
}

bool HasLabel(const RecordDirectory& dir) { return dir[kLabelSlot * kEntrySize] == kStatusLabel; }

int CopyRecordName(char* dest, const std::uint8_t* nameField, SourceType type) {
  const std::uint8_t terminator = NameTerminator(type);
  int n = 0;
  while (n < static_cast<int>(kNameFieldSize) && nameField[n] != terminator) {
    dest[n] = static_cast<char>(nameField[n]);
    ++n;
  }
  dest[n] = '\0';
  return n;
}

std::string RecordName(const RecordDirectory& dir, int slot, SourceType type) {
  char name[kNameFieldSize + 1];
  CopyRecordName(name, ReadEntry(dir, slot, type).name, type);
  return std::string(name);  // stops at the first zero byte, as every user of the name does
}

}  // namespace zep
