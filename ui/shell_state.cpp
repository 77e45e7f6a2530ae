#include "ui/shell_state.h"

#include "disc/disc_source.h"

namespace zep::ui {

ShellState g_shell;

VolumeOpener DriveOpener(char driveLetter) {
  // A drive has no mapfile: there is nothing that could refuse it here.
  DiscSourceOptions options;
  options.drive = driveLetter;
  options.failedReads = g_shell.failedReads;
  return PrepareDiscSource(std::string{driveLetter, ':'}, options).disc->opener;
}

VolumeOpener SourceOpener() {
  return g_shell.imagePath.empty() ? DriveOpener(g_shell.driveLetter) : g_shell.imageOpener;
}

std::string SourceName() {
  return g_shell.imagePath.empty() ? std::string{g_shell.driveLetter, ':'} : g_shell.imagePath;
}

}  // namespace zep::ui
