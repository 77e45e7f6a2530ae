#include "ui/inventory_texts.h"

#include <algorithm>

namespace zep::ui {

std::string InventoryCountText(const std::vector<Health>& healths, const std::string& folder) {
  std::string tally;
  for (const Health health : {Health::kWhole, Health::kDamaged, Health::kDirectoryLost, Health::kUnreadable, Health::kNotRead}) {
    const auto n = std::count(healths.begin(), healths.end(), health);
    if (n > 0) tally += (tally.empty() ? ": " : ", ") + std::to_string(n) + " " + HealthName(health);
  }
  return std::to_string(healths.size()) + (healths.size() == 1 ? " disc in " : " discs in ") + folder + tally;
}

std::string IndexNotOpenedText(const std::string& indexPath, const std::string& reason) {
  return "The inventory is made, but its index could not be opened:\n" + indexPath + "\n\n" + reason +
         "\n\nOpen it in a web browser.";
}

}  // namespace zep::ui
