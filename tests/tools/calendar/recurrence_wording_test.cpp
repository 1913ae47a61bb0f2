// A recurrence rule in the words people see.
#include <gtest/gtest.h>

#include "calendar/iso_date.h"
#include "calendar/recurrence_wording.h"

namespace calyra::calendar {
namespace {

constexpr unsigned kMon = WeekdayBit(1), kFri = WeekdayBit(5);

RecurrenceRule Rule(Frequency f, int interval, unsigned weekdays = 0, int monthDay = 0, int nth = 0, int month = 0) {
    RecurrenceRule r;
    r.frequency = f;
    r.interval = interval;
    r.weekdays = weekdays;
    r.monthDay = monthDay;
    r.nth = nth;
    r.month = month;
    return r;
}
RecurrenceRule Times(RecurrenceRule r, int count) {
    r.count = count;
    return r;
}
RecurrenceRule StartingOn(RecurrenceRule r, const char* day) {
    r.start = *TryParseIsoDate(day);
    return r;
}

// The client's tests read intervals, weekdays, end dates and yearly
// positions in words through its commands; these are the other shapes.
TEST(RecurrenceWording, SaysEachPatternInWords) {
    const struct {
        const char* what;
        RecurrenceRule rule;
        const char* words;
    } cases[] = {
        {"no repetition", RecurrenceRule{}, ""},
        {"every day", Rule(Frequency::Daily, 1), "daily"},
        {"weekends", Rule(Frequency::Daily, 1, kWeekend), "daily on Sat, Sun"},
        {"Sunday is listed last", Rule(Frequency::Weekly, 1, WeekdayBit(0) | kMon), "weekly on Mon, Sun"},
        {"weekly without days uses the start's weekday", StartingOn(Rule(Frequency::Weekly, 1), "2026-12-01"),
         "weekly on Tue"},
        {"monthly by day, counted", Times(Rule(Frequency::Monthly, 1, 0, 15), 10), "every month on day 15, 10 times"},
        {"once", Times(Rule(Frequency::Monthly, 2, 0, 1), 1), "every 2 months on day 1, once"},
        {"last Friday", Rule(Frequency::Monthly, 1, kFri, 0, -1), "every month on the last Friday"},
        {"first weekday every quarter", Rule(Frequency::Monthly, 3, kMondayToFriday, 0, 1),
         "every 3 months on the 1st weekday"},
        {"yearly by date", Rule(Frequency::Yearly, 1, 0, 25, 0, 12), "yearly on December 25"},
        {"every other year", Rule(Frequency::Yearly, 2, 0, 29, 0, 2), "every 2 years on February 29"},
        {"a day no month has", Rule(Frequency::Monthly, 1, 0, 40),
         "every month on day 40 (not understood, shown once: day 40 is not a day of a month)"},
        {"a month that does not exist", Rule(Frequency::Yearly, 1, 0, 1, 0, 13),
         "yearly on day 1 (not understood, shown once: month 13 does not exist)"},
    };
    for (const auto& c : cases) EXPECT_EQ(DescribeRule(c.rule), c.words) << c.what;
}

}  // namespace
}  // namespace calyra::calendar
