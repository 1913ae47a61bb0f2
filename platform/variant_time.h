// Conversions between automation dates and calendar records.
//
// OLE automation semantics: valid for years 100 to 9999; for dates below zero
// the integer part counts days back and the fraction is the time of day by its
// absolute value (-5.25 is 1899-12-25 06:00). Seconds are rounded to the
// nearest whole second and milliseconds come back 0. Stateless, thread-safe.
#pragma once

#include "platform/system_time.h"
#include "platform/types.h"

#ifdef _WIN32
#include "platform/windows_sdk.h"
#else
extern "C" {
// Returns FALSE (leaving *lpSystemTime untouched) for a date outside range.
INT VariantTimeToSystemTime(DATE vtime, LPSYSTEMTIME lpSystemTime);
// Returns FALSE for fields outside their ranges or a year outside 100..9999.
INT SystemTimeToVariantTime(LPSYSTEMTIME lpSystemTime, DATE* pvtime);
}
#endif  // _WIN32
