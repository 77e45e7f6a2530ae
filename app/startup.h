#pragma once
// Start-up and the message loop of the Windows program.

#include <windows.h>

namespace zep::app {

// Common controls, title and class name from the string table, the window
// class, then the main window, shown with showCommand. Null when the window
// could not be created.
HWND StartMainWindow(HINSTANCE instance, int showCommand);

// Runs until the quit message and returns its code. Keystrokes are offered to
// the accelerators first, addressed to the window they were meant for.
int RunMessageLoop(HACCEL accelerators);

// The whole program: start-up, loop, exit code.
int RunProgram(HINSTANCE instance, int showCommand);

}  // namespace zep::app
