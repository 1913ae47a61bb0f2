// The system clock in UTC, as a SYSTEMTIME calendar record.
#pragma once

#include "platform/types.h"

#ifdef _WIN32
#include "platform/windows_sdk.h"
#else
struct SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};
using LPSYSTEMTIME = SYSTEMTIME*;

extern "C" void GetSystemTime(LPSYSTEMTIME lpSystemTime);
#endif  // _WIN32
