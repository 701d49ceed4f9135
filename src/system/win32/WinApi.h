// <windows.h> for the Win32 half of the program, without the macros that
// clash with names of the seam (MessageBox, RegSetValue, ...). Include this
// instead of <windows.h> wherever System.h is seen too.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <shellapi.h>

#undef MessageBox
#undef RegSetValue
#undef RegQueryValue
#undef RegDeleteValue
