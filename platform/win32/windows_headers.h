// The Windows SDK headers, in the one order every Win32 source includes them
// (first, before any header of the tool).
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// windows.h first: the shell headers rely on its types.
#include <shellapi.h>
#include <shlobj.h>
