#include "calendar/days.h"

#include <algorithm>
#include <cmath>

namespace calyra::calendar {
namespace {

long long FloorDiv(long long a, long long b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0); }

// Days from 1970-01-01 to 1899-12-30.
constexpr long long kEpochShift = -25569;

constexpr double kFarDays = 3.0e6;

}  // namespace

long long DateToSeconds(Date date) {
    if (!std::isfinite(date)) return 0;
    // Far beyond the years automation dates cover (100 to 9999); keeps the
    // arithmetic below from overflowing on nonsense input.
    date = std::clamp(date, -kFarDays, kFarDays);
    const double day = std::trunc(date);
    const double fraction = std::fabs(date - day);
    return static_cast<long long>(day) * kSecondsPerDay + std::llround(fraction * kSecondsPerDay);
}

Date SecondsToDate(long long seconds) {
    const long long day = DayOfSeconds(seconds);
    const double fraction = static_cast<double>(seconds - day * kSecondsPerDay) / kSecondsPerDay;
    return day >= 0 ? static_cast<double>(day) + fraction : static_cast<double>(day) - fraction;
}

long long DayOfSeconds(long long seconds) { return FloorDiv(seconds, kSecondsPerDay); }

long long SecondOfDay(long long seconds) { return seconds - DayOfSeconds(seconds) * kSecondsPerDay; }

// Civil-from-days and days-from-civil over 400-year eras (March-based
// years, so the leap day is the last day of the year).
long long DayFromCivil(int year, int month, int day) {
    const long long y = static_cast<long long>(year) - (month <= 2 ? 1 : 0);
    const long long era = FloorDiv(y, 400);
    const long long yoe = y - era * 400;
    const long long doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468 - kEpochShift;
}

CivilDay CivilFromDay(long long day) {
    const long long z = day + kEpochShift + 719468;
    const long long era = FloorDiv(z, 146097);
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    CivilDay c;
    c.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    c.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    c.year = static_cast<int>(yoe + era * 400 + (c.month <= 2 ? 1 : 0));
    return c;
}

int WeekdayOfDay(long long day) {
    // Day 0, 1899-12-30, was a Saturday.
    return static_cast<int>(((day + 6) % 7 + 7) % 7);
}

int DaysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

}  // namespace calyra::calendar
