#include "calendar/days.h"

#include <algorithm>
#include <chrono>
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

// The calendar arithmetic is std::chrono's. Its years end at +-32767, so
// whole 400-year eras (146097 days each, the Gregorian cycle) are counted
// apart and the rest is converted around the year 2000.
constexpr long long kDaysPerEra = 146097;

long long DayFromCivil(int year, int month, int day) {
    using namespace std::chrono;
    // Months outside 1..12 carry into the year.
    const long long monthIndex = static_cast<long long>(month) - 1;
    const long long y = year + FloorDiv(monthIndex, 12);
    const long long era = FloorDiv(y - 2000, 400);
    const year_month_day first{
        std::chrono::year{static_cast<int>(y - era * 400)},
        std::chrono::month{static_cast<unsigned>(monthIndex - FloorDiv(monthIndex, 12) * 12 + 1)}, std::chrono::day{1}};
    return sys_days{first}.time_since_epoch().count() + era * kDaysPerEra + (day - 1) - kEpochShift;
}

CivilDay CivilFromDay(long long day) {
    using namespace std::chrono;
    const long long unixDay = day + kEpochShift;
    const long long era = FloorDiv(unixDay - 10957, kDaysPerEra);  // 10957: 2000-01-01
    const year_month_day civil{sys_days{days{unixDay - era * kDaysPerEra}}};
    return CivilDay{static_cast<int>(static_cast<int>(civil.year()) + era * 400),
                    static_cast<int>(static_cast<unsigned>(civil.month())),
                    static_cast<int>(static_cast<unsigned>(civil.day()))};
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
