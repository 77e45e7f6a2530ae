#pragma once
// Start-up and the message loop of the Windows program.

#include <windows.h>

#include <string>

namespace zep::app {

// Common controls, title and class name from the string table, the window
// class, then the main window, shown with showCommand, with the disc image
// that the command line names opened. Null when the window could not be
// created.
HWND StartMainWindow(HINSTANCE instance, int showCommand, const char* commandLine = "");

// The disc image a command line (after the program's name) names: the first
// argument without its quotes, or, unquoted, the whole line trimmed, since a
// path with spaces may come unquoted. Empty when the line is.
std::string ImageArgument(const char* commandLine);

// Runs until the quit message and returns its code. Keystrokes are offered to
// the accelerators first, addressed to the window they were meant for.
int RunMessageLoop(HACCEL accelerators);

// The whole program: start-up, loop, exit code.
int RunProgram(HINSTANCE instance, const char* commandLine, int showCommand);

}  // namespace zep::app
