// The calling thread's locale, with the Win32 names.
//
// Nothing on this platform formats or parses by the thread locale; the
// value is kept so that code which saves, changes and restores it (the
// component's registration does) behaves as it does on Windows. Each thread
// has its own value, LOCALE_USER_DEFAULT until it sets another.
#pragma once

#include "platform/types.h"

#ifdef _WIN32
#include "platform/windows_sdk.h"
#else
extern "C" {
LCID GetThreadLocale();
// Always succeeds (TRUE).
BOOL SetThreadLocale(LCID Locale);
}
#endif  // _WIN32
