#include "ui/menu_state.h"

#include <numeric>

#include "res/resource.h"

namespace zep::ui {

MenuState ComputeMenuState(const SelectionTable& selection, SourceType sourceType, ToolsState tools) {
  MenuState state;
  const bool idle = !tools.jobRunning;
  state.convertEnabled = idle && std::accumulate(selection.begin(), selection.end(), 0) != 0;
  state.sourceCommandsEnabled = idle;
  state.checkEnabled = state.recoverEnabled = idle && tools.sourceOpen;
  state.inventoryEnabled = idle;  // images of its own, whatever the window shows
  state.checkedSourceItem = sourceType == SourceType::Tk40 ? IDM_SOURCE_TK40 : IDM_SOURCE_ZEPV1;
  return state;
}

}  // namespace zep::ui
