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

// What else the menus depend on.
struct ToolsState {
  bool sourceOpen = false;  // the last scan read a disc
  bool jobRunning = false;  // a Tools command is at work on the worker thread
};

struct MenuState {
  bool convertEnabled = false;  // "Convert Records to ZEP"
  unsigned checkedSourceItem = 0;  // the Source Type item with the radio mark
  // Selecting a drive or an image, Help > "Contents": refused while a job runs.
  bool sourceCommandsEnabled = true;
  bool checkEnabled = false;      // "Check Disc..."
  bool recoverEnabled = false;    // "Recover Lost Records..."
  bool inventoryEnabled = false;  // "Make Inventory..."
};

MenuState ComputeMenuState(const SelectionTable& selection, SourceType sourceType, ToolsState tools = {});

}  // namespace zep::ui
