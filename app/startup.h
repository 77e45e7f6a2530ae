#pragma once
// Start-up and the message loop of the Windows program.

#include <windows.h>

#include <string>

namespace zep::app {

// Common controls, title and class name from the string table, the window
// class, then the main window, shown with showCommand, with the disc image
// that the command line names opened. Null when the window could not be
// created.
HWND StartMainWindow(HINSTANCE instance, int showCommand, const wchar_t* commandLine = L"");

// The disc image a command line (after the program's name) names: the first
// argument without its quotes, or, unquoted, the whole line trimmed, since a
// path with spaces may come unquoted. Empty when the line is. Wide: a name
// outside the ANSI code page comes through whole.
std::wstring ImageArgument(const wchar_t* commandLine);
// The process's command line after the program's name.
const wchar_t* ArgumentsOf(const wchar_t* fullCommandLine);

// Runs until the quit message and returns its code. Keystrokes are offered to
// the accelerators first, addressed to the window they were meant for.
int RunMessageLoop(HACCEL accelerators);

// The whole program: start-up, loop, exit code.
int RunProgram(HINSTANCE instance, int showCommand);

}  // namespace zep::app
