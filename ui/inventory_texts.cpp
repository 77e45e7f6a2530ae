#include "ui/inventory_texts.h"

#include <algorithm>
#include <utility>

namespace zep::ui {

std::string InventoryCountText(const std::vector<std::string>& healths, const std::string& folder) {
  std::vector<std::pair<std::string, int>> counts = {{"whole", 0}, {"damaged", 0}, {"directory lost", 0}, {"unreadable", 0}};
  for (const std::string& h : healths) {
    auto at = std::find_if(counts.begin(), counts.end(), [&h](const auto& c) { return c.first == h; });
    if (at == counts.end()) at = counts.insert(counts.end(), {h, 0});
    ++at->second;
  }
  std::string text = std::to_string(healths.size()) + (healths.size() == 1 ? " disc in " : " discs in ") + folder;
  std::string tally;
  for (const auto& [health, n] : counts) {
    if (n > 0) tally += (tally.empty() ? ": " : ", ") + std::to_string(n) + " " + health;
  }
  return text + tally;
}

std::string IndexNotOpenedText(const std::string& indexPath, const std::string& reason) {
  return "The inventory is made, but its index could not be opened:\n" + indexPath + "\n\n" + reason +
         "\n\nOpen it in a web browser.";
}

}  // namespace zep::ui
