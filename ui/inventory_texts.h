#pragma once
// The status line after Make Inventory, as a plain function of what the
// inventory gave.

#include <string>
#include <vector>

#include "box/inventory.h"

namespace zep::ui {

// "2 discs in D:\box: 1 whole, 1 damaged": the count, where, and how many of
// each health, in the order of Health. healths: one per disc.
std::string InventoryCountText(const std::vector<Health>& healths, const std::string& folder);

// The "Error" box when the inventory's index.html could not be opened.
std::string IndexNotOpenedText(const std::string& indexPath, const std::string& reason);

}  // namespace zep::ui
