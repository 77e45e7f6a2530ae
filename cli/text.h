#pragma once
// Text as zepconv shows it. Names on a disc are bytes, one per character, in
// no declared character set; each byte is shown as the character of the same
// value (ISO 8859-1), written as UTF-8.

#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace zep::cli {

std::string Latin1ToUtf8(std::string_view bytes);

// For JSON output: paths come from the command line in the system's own
// encoding, which need not be UTF-8; a byte that is not becomes U+FFFD rather
// than ending the output.
inline constexpr auto kReplaceInvalid = nlohmann::json::error_handler_t::replace;

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
