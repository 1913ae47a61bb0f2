// Automation dates <-> calendar records.
#include "platform/variant_time.h"

#include <chrono>
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

// Days since 1970-01-01 of a proleptic Gregorian date (std::chrono's
// calendar; the years here stay within 100 to 9999).
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
    using namespace std::chrono;
    return (sys_days{year{static_cast<int>(y)} / month{m} / 1} + days{static_cast<long long>(d) - 1})
        .time_since_epoch()
        .count();
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
    const std::chrono::year_month_day civil{std::chrono::sys_days{std::chrono::days{unixDays}}};
    const int y = static_cast<int>(civil.year());
    if (y < 100 || y > 9999) return FALSE;
    st->wYear = static_cast<WORD>(y);
    st->wMonth = static_cast<WORD>(static_cast<unsigned>(civil.month()));
    st->wDay = static_cast<WORD>(static_cast<unsigned>(civil.day()));
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
