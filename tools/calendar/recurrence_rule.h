// A recurrence rule as the calendar understands it: how often, on which
// days, from when and until when. Wording (recurrence_wording.h) and
// expansion (occurrences.h) both read this one value, so a series shown as
// "every 2 weeks on Mon, Wed" is also expanded that way. How a stored
// record maps onto it is the client's business, not this library's.
//
// RecurrenceRule is a plain value (no texts, nothing to free).
// Thread-safety: pure functions.
#pragma once

#include <string>

#include "calendar/days.h"

namespace calyra::calendar {

enum class Frequency { None, Daily, Weekly, Monthly, Yearly };

// Day masks: bit d stands for weekday d, 0 = Sunday ... 6 = Saturday
// (Sunday 1, Monday 2, Tuesday 4, ... Saturday 64).
constexpr unsigned WeekdayBit(int weekday) { return 1u << weekday; }
inline constexpr unsigned kMondayToFriday = 0x3E;
inline constexpr unsigned kWeekend = 0x41;
inline constexpr unsigned kEveryDay = 0x7F;

struct RecurrenceRule {
    Frequency frequency = Frequency::None;
    // Every `interval` days, weeks, months or years; at least 1.
    int interval = 1;
    // Weekly: the days of the week. Daily: only these days (Monday to
    // Friday is the record's "every weekday"). With `nth`: the days that
    // are counted ("the 2nd Tuesday", "the last weekday").
    unsigned weekdays = 0;
    // Monthly and yearly without `nth`: the day of the month, 1..31; a month
    // without that day uses its last day. 0: the day of the series start.
    int monthDay = 0;
    // Monthly and yearly: 1..4 the first to fourth, -1 the last of the
    // `weekdays` in the month; 0: by `monthDay` instead.
    int nth = 0;
    // Yearly: 1..12; 0: the month of the series start.
    int month = 0;
    // The day the series begins (its time of day is not used); 0: the
    // event's own start.
    Date start = 0;
    // The last day an occurrence may fall on; 0: no such end.
    Date until = 0;
    // How many occurrences the series has; 0: no such end.
    int count = 0;

    bool operator==(const RecurrenceRule&) const = default;
};

// "" when the rule can be expanded, else why not ("day 40 is not a day of a
// month"). A rule of Frequency::None has no problem.
std::string RuleProblem(const RecurrenceRule& rule);

// The rule with what it leaves to the series start filled in: the start
// itself (the rule's own, else `eventStart`), a weekly rule's day, a
// monthly rule's day of the month, a yearly rule's month, an nth rule's
// weekday. Expansion and wording work on this.
RecurrenceRule Resolved(const RecurrenceRule& rule, Date eventStart);

// The day a series beginning with an event at `start` begins: its midnight.
Date SeriesStartOf(Date start);

}  // namespace calyra::calendar
