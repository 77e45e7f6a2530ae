#pragma once
// What the menus show, as a plain function of the shell's state, so that it
// can be checked without a window.

#include <array>
#include <cstdint>

#include "disc/directory.h"

namespace zep::ui {

inline constexpr int kSelectionRows = 64;
// Flag i is 1 while list row i exists and is selected.
using SelectionTable = std::array<std::uint8_t, kSelectionRows>;

struct MenuState {
  bool convertEnabled = false;  // "Convert Records to ZEP"
  unsigned checkedSourceItem = 0;  // the Source Type item with the radio mark
};

MenuState ComputeMenuState(const SelectionTable& selection, SourceType sourceType);

}  // namespace zep::ui
