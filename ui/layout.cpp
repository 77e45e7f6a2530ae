#include "ui/layout.h"

namespace zep::ui {
namespace {

// The column shares are single-precision constants; each lies a little below
// its decimal value, so a product that would be whole in decimals comes out
// one pixel short. The recorder's users know the widths this gives.
constexpr std::array<float, 6> kColumnShares = {0.19f, 0.22f, 0.19f, 0.12f, 0.12f, 0.16f};

}  // namespace

Layout ComputeLayout(int clientWidth, int clientHeight, int statusHeight) {
  Layout layout;
  layout.listWidth = clientWidth;
  layout.listHeight = clientHeight - statusHeight;
  layout.statusPartEdges = {kStatusTextPartEdge, static_cast<int>(clientWidth - 20.0 - 1.0)};
  layout.progressBarWidth = clientWidth - 169;
  for (std::size_t c = 0; c < kColumnShares.size(); ++c) {
    layout.columnWidths[c] = static_cast<int>(static_cast<double>(clientWidth) * static_cast<double>(kColumnShares[c]));
  }
  return layout;
}

}  // namespace zep::ui
