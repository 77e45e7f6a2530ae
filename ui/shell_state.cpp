#include "ui/shell_state.h"

namespace zep::ui {

ShellState g_shell;

VolumeOpener SourceOpener() {
  if (g_shell.imagePath.empty()) {
    const char letter = g_shell.driveLetter;
    return [letter] { return OpenDiscVolume(letter); };
  }
  VolumeOpener open = VolumeAt(g_shell.imagePath);
  return g_shell.rescueMap ? OpenUnderMap(std::move(open), g_shell.rescueMap) : open;
}

}  // namespace zep::ui
