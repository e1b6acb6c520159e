// The one place that includes the Windows headers, with the settings the program uses:
// 8-bit (ANSI) texts and the narrow API throughout.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#undef UNICODE
#undef _UNICODE

#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
