// Entry point of the Windows program. The previous instance and the command
// line mean nothing to it.

#include <windows.h>

#include "app/startup.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
  return zep::app::RunProgram(instance, showCommand);
}
