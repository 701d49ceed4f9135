// Resource and control identifiers of the main (debug) window, the popup
// menu and the dialogs, shared with the resource script and the test driver.
#pragma once

#define IDC_DEBUG_LIST 1001
#define IDC_SUSPEND 1002
#define IDC_EXIT 1003
#define IDI_MONITORING 101
#define IDI_SUSPENDED 102
// The dialog pictures at 100 %, and drawn again for 150 and 200 %.
#define IDB_LOGO 111
#define IDB_REMINDER 112
#define IDB_LOGO_150 113
#define IDB_LOGO_200 114
#define IDB_REMINDER_150 115
#define IDB_REMINDER_200 116

// Popup menu: the command of MenuEntry e is IDM_FIRST_ENTRY + e.
#define IDM_FIRST_ENTRY 2000

// frmAbout (OK is IDOK).
#define IDD_ABOUT 200
#define IDC_ABOUT_LOGO 2101
#define IDC_ABOUT_VERSION 2102
#define IDC_ABOUT_INFO 2103
#define IDC_ABOUT_CREDIT 2104
#define IDC_ABOUT_WEBLINK 2105
#define IDC_ABOUT_MAILLINK 2106
#define IDC_ABOUT_LINE 2107
#define IDC_ABOUT_SYSINFO 2108

// frmStartUp (OK is IDOK).
#define IDD_STARTUP 201
#define IDC_STARTUP_CHECK 2201

// frmCheckAttached ("Continue Anyhow..." is IDOK; the close button and
// Escape send IDCANCEL, which also continues).
#define IDD_CHECKATTACHED 202
#define IDC_REMINDER_PICTURE 2301
#define IDC_REMINDER_TEXT1 2302
#define IDC_REMINDER_TEXT2 2303
#define IDC_REMINDER_IGNORE 2304
#define IDC_REMINDER_EXIT 2305
