// Control identifiers of the main (debug) window, shared with the test driver.
#pragma once

#define IDC_DEBUG_LIST 1001
#define IDC_SUSPEND 1002
#define IDC_EXIT 1003
#define IDI_MONITORING 101
#define IDI_SUSPENDED 102
