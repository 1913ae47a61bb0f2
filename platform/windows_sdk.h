// The Windows SDK as the component sees it: on Windows every port header
// (types.h, guid.h, bstr.h, ...) includes this instead of its own
// definitions, so the names carry the system's own meaning and come from
// its own libraries (kernel32, user32, advapi32, ole32, oleaut32).
//
// The macros set here keep the SDK from defining min/max and the rarely used
// parts of windows.h; they must come before the first SDK include of a
// translation unit, which is why the component includes the SDK only here.
// Nothing is owned and nothing needs a lock.
// Elsewhere it is empty.
#pragma once
#ifdef _WIN32

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
// clang-format off
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>
// clang-format on
#endif  // _WIN32
