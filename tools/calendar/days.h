// Whole-day and whole-second arithmetic on dates, for the calendar code
// that walks days (recurrence expansion, the month grid).
//
// A Date (an automation date kept as a plain double) counts days from
// 1899-12-30; before that day the integer part counts back and the
// fraction is still the time of day (-1.25 is 1899-12-29 06:00). Here a
// date is turned into plain seconds from 1899-12-30 00:00 UTC, so days are
// floor(seconds / 86400) on both sides of the epoch and weeks and months
// can be counted without special cases.
// Days are proleptic Gregorian.
//
// Everything is a plain value. Thread-safety: pure functions.
#pragma once

namespace calyra::calendar {

// Days since 1899-12-30 00:00 UTC, the fraction the time of day; the same
// numbers the component stores, so the client passes its dates unchanged.
using Date = double;

inline constexpr long long kSecondsPerDay = 86400;

// Seconds since 1899-12-30 00:00, rounded to the whole second.
long long DateToSeconds(Date date);
Date SecondsToDate(long long seconds);

// The day number (days since 1899-12-30) a moment falls on.
long long DayOfSeconds(long long seconds);
inline long long DayOfDate(Date date) { return DayOfSeconds(DateToSeconds(date)); }
// Seconds since midnight of the moment's day, 0..86399.
long long SecondOfDay(long long seconds);

struct CivilDay {
    int year = 0, month = 0, day = 0;
};
long long DayFromCivil(int year, int month, int day);
CivilDay CivilFromDay(long long day);

// 0 = Sunday ... 6 = Saturday.
int WeekdayOfDay(long long day);
int DaysInMonth(int year, int month);

}  // namespace calyra::calendar
