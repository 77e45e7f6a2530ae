// The Windows program's plain functions (the layout, the menu state, the
// run's paths and texts), natively as well as under Wine: they need no window.

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "res/resource.h"
#include "ui/layout.h"
#include "ui/menu_state.h"
#include "ui/run_texts.h"

namespace zep::ui {
namespace {

TEST(UiTextsTest, LayoutMenuStatePathsAndErrorBox) {
  // Single-precision column shares lose a pixel; a tiny window gives the bar a negative width.
  const Layout wide = ComputeLayout(400, 300, 20);
  EXPECT_EQ(std::tuple(wide.listWidth, wide.listHeight, wide.statusPartEdges[0], wide.statusPartEdges[1], wide.columnWidths),
            std::tuple(400, 280, kStatusTextPartEdge, 379, std::array<int, 6>{75, 87, 75, 47, 47, 63}));
  EXPECT_LT(ComputeLayout(100, 300, 20).progressBarWidth, 0);

  SelectionTable selection{};
  selection[63] = 1;
  EXPECT_EQ(ComputeMenuState(selection, SourceType::ZepV1).checkedSourceItem, unsigned{IDM_SOURCE_ZEPV1});

  // A message box taller than the screen would hide its OK button.
  EXPECT_EQ(ConversionFailureText({{{RecordSubject(2, "H"), "3 blocks lost", 3}, true}}),
            "1 record was not converted completely:\n\nRecord 2 (H): incomplete: 3 blocks lost");
  const std::string many = ConversionFailureText(std::vector<RecordFailure>(20, {{"Record 1 (X)", "r"}, false}));
  EXPECT_EQ(std::count(many.begin(), many.end(), '\n'), 1 + 16 + 1);
  EXPECT_TRUE(many.ends_with("\n... and 4 more records")) << many;
}

}  // namespace
}  // namespace zep::ui
