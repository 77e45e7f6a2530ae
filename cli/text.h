#pragma once
// Text as zepconv shows it on a terminal; names are Latin-1 bytes (see
// Latin1ToUtf8).

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "disc/count_text.h"
#include "export/text_output.h"
#include "operations/disc_tally.h"

namespace zep::cli {

// "4 sectors lost, 1999640 sectors past the end": the sectors that failed;
// apart from them the sectors a mapfile marks never tried and the sectors a
// directory entry claims past the end of the image, each only where there
// are some.
std::string UnitCounts(const DiscTally& t);

// For a terminal line: as Latin1ToUtf8, but control characters (a carriage
// return is an ordinary name byte on a TK40 disc) appear as \xNN, so they
// cannot move the cursor or break a table.
std::string Printable(std::string_view bytes);

// Columns a UTF-8 text takes on a terminal (every character zepconv shows is
// one column wide).
std::size_t DisplayWidth(std::string_view utf8);

struct Column {
  std::string heading;
  bool rightAligned = false;
};

// Columns two spaces apart, each as wide as its widest cell; cells are UTF-8.
void WriteTable(std::ostream& out, const std::vector<Column>& columns,
                const std::vector<std::vector<std::string>>& rows);

}  // namespace zep::cli
