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
// Years 0-29 mean 2000-2029 and 30-99 mean 1930-1999; day 0 and days past
// the month's end (up to 31) roll into the neighbouring month. Returns FALSE
// for a month outside 1..12, a day above 31, a time field outside its range
// or a year above 9999.
INT SystemTimeToVariantTime(LPSYSTEMTIME lpSystemTime, DATE* pvtime);
}
#endif  // _WIN32
