#pragma once
// The main window: its procedure, which only routes, and the handlers of the
// window's own messages (children, layout, minimum size, help, dropped files).

#include <windows.h>
#include <shellapi.h>

namespace zep::ui {

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Builds the status bar, the progress bar inside it and the record list.
LRESULT OnCreate(HWND window);
// Lays the children out for a client area of width x height.
void LayoutChildren(int width, int height);
LRESULT OnGetMinMaxInfo(HWND window, WPARAM wParam, LPARAM lParam);
LRESULT OnHelp(HWND window);
// A file dropped onto the window is opened as a disc image.
LRESULT OnDropFiles(HWND window, HDROP drop);

}  // namespace zep::ui
