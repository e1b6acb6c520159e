// The front end's one way to the Windows headers, with the settings it uses: 8-bit (ANSI)
// texts and the narrow API throughout. (The file services of src/win32, which both
// programs share, include them for their wide API.)
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
