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
  // Column shares in single precision lose a pixel; a tiny window's bar keeps its negative width.
  const Layout wide = ComputeLayout(400, 300, 20), narrow = ComputeLayout(100, 300, 20);
  EXPECT_EQ(std::tuple(wide.listWidth, wide.listHeight, wide.statusPartEdges[0], wide.statusPartEdges[1], wide.columnWidths),
            std::tuple(400, 280, kStatusTextPartEdge, 379, std::array<int, 6>{75, 87, 75, 47, 47, 63}));
  EXPECT_EQ(std::tuple(narrow.statusPartEdges[1], narrow.columnWidths[1]), std::tuple(79, 21));
  EXPECT_LT(narrow.progressBarWidth, 0);

  SelectionTable selection{};
  EXPECT_EQ(std::tuple(ComputeMenuState(selection, SourceType::Tk40).convertEnabled,
                       ComputeMenuState(selection, SourceType::Tk40).checkedSourceItem),
            std::tuple(false, unsigned{IDM_SOURCE_TK40}));
  selection[63] = 1;
  EXPECT_EQ(std::tuple(ComputeMenuState(selection, SourceType::ZepV1).convertEnabled,
                       ComputeMenuState(selection, SourceType::ZepV1).checkedSourceItem),
            std::tuple(true, unsigned{IDM_SOURCE_ZEPV1}));

  EXPECT_EQ(JoinOutputPath("D:\\", "A.ZEP"), "D:\\A.ZEP");
  EXPECT_EQ(JoinOutputPath("D:\\out", "A.ZEP"), "D:\\out\\A.ZEP");
  EXPECT_EQ(JoinOutputPath(std::string(254, 'd'), "A.ZEP"), std::nullopt);  // 260 characters
  EXPECT_EQ(ConvertingText("SURVEY"), "Converting...SURVEY");

  // A message box taller than the screen would hide its OK button.
  const RecordFailure one{{RecordSubject(2, "HARBOUR"), "3 blocks could not be read", 3}, true};
  EXPECT_EQ(ConversionFailureText({one}),
            "1 record was not converted completely:\n\nRecord 2 (HARBOUR): incomplete: 3 blocks could not be read");
  const std::string many = ConversionFailureText(std::vector<RecordFailure>(20, {{"Record 1 (X)", "r"}, false}));
  EXPECT_EQ(std::count(many.begin(), many.end(), '\n'), 1 + 16 + 1);
  EXPECT_TRUE(many.ends_with("\n... and 4 more records")) << many;
}

}  // namespace
}  // namespace zep::ui
