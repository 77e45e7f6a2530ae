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
#define IDD_JOB_PROGRESS 130  // a job on the worker thread, with Cancel
#define IDC_JOB_TEXT 1001
#define IDC_JOB_BAR 1002
// The check window's own controls
#define IDC_CHECK_DISC_LINE 1003
#define IDC_CHECK_LIST 1004
#define IDC_CHECK_SAVE 1005

// Commands
#define IDM_ABOUT 104
#define IDM_EXIT 105
#define IDM_CONVERT 110
#define IDM_SELECT_DRIVE 111
#define IDM_CONTENTS 112
#define IDM_OPEN_IMAGE 113  // a disc image file in place of a drive
#define IDM_CHECK_DISC 114      // Tools: the health of the current source
#define IDM_RECOVER_RECORDS 115 // Tools: carve the ping runs into a folder
#define IDM_MAKE_INVENTORY 116  // Tools: the inventory of several images
#define IDM_SOURCE_TK40 32777
#define IDM_SOURCE_ZEPV1 32778
