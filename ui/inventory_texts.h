#pragma once
// The status line after Make Inventory, as a plain function of what the
// inventory gave.

#include <string>
#include <vector>

namespace zep::ui {

// "2 discs in D:\box: 1 whole, 1 damaged": the count, where, and how many of
// each health ("whole", "damaged", "directory lost", "unreadable", then any
// other in the order met). healths: one per disc.
std::string InventoryCountText(const std::vector<std::string>& healths, const std::string& folder);

// The "Error" box when the inventory's index.html could not be opened.
std::string IndexNotOpenedText(const std::string& indexPath, const std::string& reason);

}  // namespace zep::ui
