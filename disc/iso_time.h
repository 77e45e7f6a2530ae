#pragma once
// A record's date and times as ISO 8601 text, for scripts: the list shows
// them as the recorder wrote them ("05 Nov 08", "14:05"), BCD bytes that
// need not make a date at all.

#include <optional>
#include <string>

#include "disc/directory.h"

namespace zep {

struct IsoTimes {
  std::optional<std::string> date;   // "2008-11-05"
  std::optional<std::string> start;  // "2008-11-05T14:05"
  std::optional<std::string> end;    // the next day's date when the end is before the start
};

// Nothing where a byte is not BCD or the values make no calendar date or
// clock time. Two-digit years 69 to 99 are 1969 to 1999, the rest 2000 to
// 2068, as POSIX reads them.
IsoTimes IsoTimesOf(const DirectoryEntry& entry);

}  // namespace zep
