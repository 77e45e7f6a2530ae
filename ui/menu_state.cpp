#include "ui/menu_state.h"

#include <numeric>

#include "res/resource.h"

namespace zep::ui {

MenuState ComputeMenuState(const SelectionTable& selection, SourceType sourceType) {
  MenuState state;
  state.convertEnabled = std::accumulate(selection.begin(), selection.end(), 0) != 0;
  state.checkedSourceItem = sourceType == SourceType::Tk40 ? IDM_SOURCE_TK40 : IDM_SOURCE_ZEPV1;
  return state;
}

}  // namespace zep::ui
