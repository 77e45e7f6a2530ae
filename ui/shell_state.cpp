#include "ui/shell_state.h"

namespace zep::ui {

ShellState g_shell;

VolumeOpener SourceOpener() {
  if (g_shell.imagePath.empty()) {
    const char letter = g_shell.driveLetter;
    return OpenRememberingFailures([letter] { return OpenDiscVolume(letter); }, g_shell.failedReads);
  }
  VolumeOpener open = VolumeAt(g_shell.imagePath);
  if (g_shell.rescueMap) open = OpenUnderMap(std::move(open), g_shell.rescueMap);
  return OpenRememberingFailures(std::move(open), g_shell.failedReads);
}

std::string SourceName() {
  return g_shell.imagePath.empty() ? std::string{g_shell.driveLetter, ':'} : g_shell.imagePath;
}

}  // namespace zep::ui
