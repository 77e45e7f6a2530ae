// Entry point of the Windows program. The main window arrives with the user
// interface; until then the program starts and ends cleanly.

#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return 0; }
