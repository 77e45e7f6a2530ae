// Entry point of the Windows program. The previous instance means nothing to
// it; the command line may name a disc image to open.

#include <windows.h>

#include "app/startup.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
  // The command line is read in wide characters (GetCommandLineW).
  return zep::app::RunProgram(instance, showCommand);
}
