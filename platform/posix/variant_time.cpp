// Automation dates <-> calendar records.
#include "platform/variant_time.h"

#include <cmath>

namespace {

// Days between 1970-01-01 and 1899-12-30 (the automation epoch).
constexpr long long kEpochOffset = 25569;
// The first and last day an automation date can name: 0100-01-01 and
// 9999-12-31. Every time of both days is valid, so a date is accepted when
// it lies strictly between the day before the first and the day after the
// last (on the negative side the fraction counts away from zero: -657434.5
// is noon of 0100-01-01), as the system's own conversion does.
constexpr double kFirstDay = -657434.0;
constexpr double kLastDay = 2958465.0;

// Days since 1970-01-01 of a proleptic Gregorian date.
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

void CivilFromDays(long long z, long long* y, unsigned* m, unsigned* d) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    *d = doy - (153 * mp + 2) / 5 + 1;
    *m = mp < 10 ? mp + 3 : mp - 9;
    *y = static_cast<long long>(yoe) + era * 400 + (*m <= 2);
}

}  // namespace

extern "C" INT VariantTimeToSystemTime(DATE vtime, LPSYSTEMTIME st) {
    if (!st || std::isnan(vtime) || vtime <= kFirstDay - 1.0 || vtime >= kLastDay + 1.0) return FALSE;
    // The integer part (toward zero) is the day; the fraction's absolute
    // value is the time of day, rounded to the nearest second.
    double dayPart = std::trunc(vtime);
    double fraction = std::fabs(vtime - dayPart);
    long long day = static_cast<long long>(dayPart);
    long long seconds = std::llround(fraction * 86400.0);
    if (seconds >= 86400) {
        ++day;
        seconds -= 86400;
    }
    long long unixDays = day - kEpochOffset;
    long long y;
    unsigned m, d;
    CivilFromDays(unixDays, &y, &m, &d);
    if (y < 100 || y > 9999) return FALSE;
    st->wYear = static_cast<WORD>(y);
    st->wMonth = static_cast<WORD>(m);
    st->wDay = static_cast<WORD>(d);
    st->wDayOfWeek = static_cast<WORD>(((unixDays % 7) + 11) % 7);  // 1970-01-01 was a Thursday
    st->wHour = static_cast<WORD>(seconds / 3600);
    st->wMinute = static_cast<WORD>(seconds / 60 % 60);
    st->wSecond = static_cast<WORD>(seconds % 60);
    st->wMilliseconds = 0;
    return TRUE;
}

extern "C" INT SystemTimeToVariantTime(LPSYSTEMTIME st, DATE* pvtime) {
    if (!st || !pvtime) return FALSE;
    // Two-digit years follow the automation window, as on Windows: 0-29 are
    // 2000-2029, 30-99 are 1930-1999.
    const long long year = st->wYear < 30 ? st->wYear + 2000 : st->wYear < 100 ? st->wYear + 1900 : st->wYear;
    if (year > 9999 || st->wMonth < 1 || st->wMonth > 12 || st->wDay > 31 || st->wHour > 23 || st->wMinute > 59 ||
        st->wSecond > 59)
        return FALSE;
    // Day 0 and days past the month's end roll into the neighbouring month.
    long long day = DaysFromCivil(year, st->wMonth, 1) + st->wDay - 1 + kEpochOffset;
    double fraction = (st->wHour * 3600.0 + st->wMinute * 60.0 + st->wSecond) / 86400.0;
    *pvtime = day >= 0 ? static_cast<double>(day) + fraction : static_cast<double>(day) - fraction;
    return TRUE;
}
