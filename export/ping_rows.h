#pragma once
// The ping table's rows, one a ping, as `zepconv pings` writes them: every
// field of its header, what its GPS text says, and its time and place.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "convert/record_file.h"
#include "export/ping_place.h"
#include "export/text_output.h"

namespace zep {

class PingRows {
 public:
  // Rows appended to out, as CSV or as JSON lines; file is the file column.
  PingRows(std::string& out, bool jsonl, std::string_view file);
  ~PingRows();
  void Header();  // CSV only: the column names and a line end
  // A ping of the file with its place, and the pings missing right before
  // it in the walk (by the indexes pingIndex - missingBefore to pingIndex - 1).
  void Row(const PingInfo& p, const PingPlace& place, std::uint32_t missingBefore);

 private:
  struct GpsCells;
  RowWriter row_;
  std::string file_;
  std::unique_ptr<GpsCells> gps_;
};

// The pings missing before p when the walk's ping before it had lastIndex
// (nothing for the first): none where the indexes do not count up.
std::uint32_t MissingBefore(const PingInfo& p, std::optional<std::uint32_t> lastIndex);

}  // namespace zep
