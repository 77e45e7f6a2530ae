#pragma once
// Resource and command ids of the Windows program, shared by the resource
// script and the code. The numbers are fixed: the recorder's users and their
// documentation know the program by them.

// Strings
#define IDS_APP_TITLE 103   // the window title at start-up
#define IDS_CLASS_NAME 109  // the main window's class name

// Icon, menu, accelerators
#define IDI_PROGRAM 107
#define IDR_MAIN_MENU 109
#define IDR_ACCELERATORS 109

// Dialogs and their controls
#define IDD_ABOUT 103
#define IDC_ABOUT_ICON 2
#define IDD_SELECT_DRIVE 129
#define IDC_DRIVE_LIST 1000

// Commands
#define IDM_ABOUT 104
#define IDM_EXIT 105
#define IDM_CONVERT 110
#define IDM_SELECT_DRIVE 111
#define IDM_CONTENTS 112
#define IDM_OPEN_IMAGE 113  // a disc image file in place of a drive
#define IDM_SOURCE_TK40 32777
#define IDM_SOURCE_ZEPV1 32778
