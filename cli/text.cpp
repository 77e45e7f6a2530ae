#include "cli/text.h"

#include "cli/commands.h"

#include <algorithm>
#include <cstdio>

namespace zep::cli {

std::string UnitCounts(const DiscTally& t) {
  return Counted(t.lost, "sector lost", "sectors lost") +
         (t.notTried > 0 ? ", " + Counted(t.notTried, "sector never tried", "sectors never tried") : std::string()) +
         (t.pastEnd > 0 ? ", " + Counted(t.pastEnd, "sector past the end", "sectors past the end") : std::string());
}

std::size_t DisplayWidth(std::string_view utf8) {
  return static_cast<std::size_t>(
      std::count_if(utf8.begin(), utf8.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

std::string Printable(std::string_view bytes) {
  std::string out;
  for (char ch : bytes) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x20 || (c >= 0x7F && c < 0xA0)) {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
      out += escaped;
    } else {
      AppendUtf8(out, c);
    }
  }
  return out;
}

void WriteTable(std::ostream& out, const std::vector<Column>& columns,
                const std::vector<std::vector<std::string>>& rows) {
  std::vector<std::size_t> widths;
  for (const Column& c : columns) widths.push_back(DisplayWidth(c.heading));
  for (const auto& row : rows)
    for (std::size_t i = 0; i < row.size() && i < widths.size(); ++i) widths[i] = std::max(widths[i], DisplayWidth(row[i]));

  auto line = [&](auto cellAt) {
    std::string text;
    for (std::size_t i = 0; i < columns.size(); ++i) {
      const std::string cell = cellAt(i);
      const std::string pad(widths[i] - DisplayWidth(cell), ' ');
      if (i > 0) text += "  ";
      text += columns[i].rightAligned ? pad + cell : cell + pad;
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    out << text << '\n';
  };
  line([&](std::size_t i) { return columns[i].heading; });
  for (const auto& row : rows) line([&](std::size_t i) { return i < row.size() ? row[i] : std::string(); });
}

}  // namespace zep::cli
