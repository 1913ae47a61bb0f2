// Which times a repeating event takes place in a stretch of time, and its
// rule in the words people see.
#include <gtest/gtest.h>

#include "calendar/iso_date.h"
#include "calendar/occurrences.h"
#include "calendar/recurrence_wording.h"

namespace calyra::calendar {
namespace {

constexpr unsigned kSun = WeekdayBit(0), kMon = WeekdayBit(1), kTue = WeekdayBit(2), kWed = WeekdayBit(3),
                   kFri = WeekdayBit(5);
using Starts = std::vector<std::string>;

Date At(const char* text) { return *TryParseIsoDate(text); }

CalendarEvent Event(const char* start, const char* end, RecurrenceRule rule = {}) {
    CalendarEvent e;
    e.id = "1";
    e.subject = "Standup";
    e.start = At(start);
    e.end = At(end);
    e.rule = rule;
    return e;
}

RecurrenceRule Rule(Frequency f, int interval = 1, unsigned weekdays = 0) {
    RecurrenceRule r;
    r.frequency = f;
    r.interval = interval;
    r.weekdays = weekdays;
    return r;
}
RecurrenceRule With(RecurrenceRule r, int monthDay, int nth = 0, int month = 0, int count = 0) {
    r.monthDay = monthDay;
    r.nth = nth;
    r.month = month;
    r.count = count;
    return r;
}

Starts StartsOf(const std::vector<Occurrence>& occurrences) {
    Starts out;
    for (const auto& o : occurrences) out.push_back(FormatIsoDate(o.start));
    return out;
}

TEST(OccurrenceExpansion, EachPatternFallsOnTheDaysItNames) {
    RecurrenceRule until = Rule(Frequency::Daily);
    until.until = At("2026-12-03");
    RecurrenceRule later = Rule(Frequency::Daily);
    later.start = At("2026-12-30");
    const struct {
        const char* what;
        CalendarEvent event;
        const char* from;
        const char* to;
        Starts starts;
    } cases[] = {
        {"weekly on two days, into the next month",
         Event("2026-11-23T09:00", "2026-11-23T09:15", Rule(Frequency::Weekly, 1, kMon | kWed)), "2026-11-25",
         "2026-12-03", Starts{"2026-11-25T09:00:00Z", "2026-11-30T09:00:00Z", "2026-12-02T09:00:00Z"}},
        {"every other week counted from the start's week (its Monday lies before the start)",
         Event("2026-11-04T09:00", "2026-11-04T10:00", Rule(Frequency::Weekly, 2, kMon | kWed)), "2026-11-01",
         "2026-11-30T23:59",
         Starts{"2026-11-04T09:00:00Z", "2026-11-16T09:00:00Z", "2026-11-18T09:00:00Z", "2026-11-30T09:00:00Z"}},
        {"day 31 on the last day of shorter months",
         Event("2026-01-31T18:00", "2026-01-31T19:00", With(Rule(Frequency::Monthly), 31)), "2026-02-01",
         "2026-04-30T23:59", Starts{"2026-02-28T18:00:00Z", "2026-03-31T18:00:00Z", "2026-04-30T18:00:00Z"}},
        {"the 2nd Tuesday",
         Event("2026-01-01T12:00", "2026-01-01T13:00", With(Rule(Frequency::Monthly, 1, kTue), 0, 2)), "2026-12-01",
         "2026-12-31T23:59", Starts{"2026-12-08T12:00:00Z"}},
        {"the last Friday",
         Event("2026-01-01T12:00", "2026-01-01T13:00", With(Rule(Frequency::Monthly, 1, kFri), 0, -1)), "2026-12-01",
         "2026-12-31T23:59", Starts{"2026-12-25T12:00:00Z"}},
        {"the 2nd Tuesday of March",
         Event("2026-01-01T12:00", "2026-01-01T13:00", With(Rule(Frequency::Yearly, 1, kTue), 0, 2, 3)), "2026-01-01",
         "2027-12-31", Starts{"2026-03-10T12:00:00Z", "2027-03-09T12:00:00Z"}},
        {"an end date includes its whole day", Event("2026-12-01T09:00", "2026-12-01T10:00", until), "2026-11-01",
         "2027-01-31", Starts{"2026-12-01T09:00:00Z", "2026-12-02T09:00:00Z", "2026-12-03T09:00:00Z"}},
        {"a count is from the first occurrence",
         Event("2026-11-23T09:00", "2026-11-23T10:00", With(Rule(Frequency::Weekly, 1, kMon | kWed), 0, 0, 0, 3)),
         "2026-11-25", "2026-12-31", Starts{"2026-11-25T09:00:00Z", "2026-11-30T09:00:00Z"}},
        {"a later series start begins the occurrences", Event("2026-01-05T08:00", "2026-01-05T08:30", later),
         "2026-12-01", "2026-12-31T23:59", Starts{"2026-12-30T08:00:00Z", "2026-12-31T08:00:00Z"}},
        {"a multi-day single event overlaps the days after its start", Event("2026-12-03T09:30", "2026-12-05T10:00"),
         "2026-12-04", "2026-12-04T23:59", Starts{"2026-12-03T09:30:00Z"}},
        {"a rule not understood occurs once at the event's time",
         Event("2026-12-03T09:30", "2026-12-03T10:00", With(Rule(Frequency::Monthly), 40)), "2026-01-01", "2027-12-31",
         Starts{"2026-12-03T09:30:00Z"}},
        {"far ranges finish", Event("0100-01-01T00:00", "0100-01-01T00:01", Rule(Frequency::Daily)), "9999-12-31",
         "9999-12-31T23:59:59", Starts{"9999-12-31T00:00:00Z"}},
        {"huge intervals finish", Event("2026-02-28T00:00", "2026-02-28T00:01", Rule(Frequency::Yearly, 2147483647)),
         "2026-01-01", "9999-12-31", Starts{"2026-02-28T00:00:00Z"}},
    };
    for (const auto& c : cases) EXPECT_EQ(StartsOf(ExpandEvent(c.event, {}, At(c.from), At(c.to))), c.starts) << c.what;
    const auto one = ExpandEvent(cases[0].event, {}, At("2026-11-23"), At("2026-11-23T23:59"));
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(FormatIsoDate(one[0].end), "2026-11-23T09:15:00Z") << "occurrences keep the event's length";
}

TEST(OccurrenceExpansion, ExceptionsReplaceTheirOccurrenceAndCancelledOnesStillCount) {
    const auto weekly = Event("2026-11-30T09:00", "2026-11-30T10:00", Rule(Frequency::Weekly, 1, kMon));
    CalendarEvent moved = Event("2026-12-08T14:00", "2026-12-08T15:00");
    moved.id = "2";
    moved.subject = "Standup (moved)";
    moved.originalStart = At("2026-12-07T09:00");
    const auto got = ExpandEvent(weekly, {moved}, At("2026-12-01"), At("2026-12-15T23:59"));
    ASSERT_EQ(StartsOf(got), (Starts{"2026-12-08T14:00:00Z", "2026-12-14T09:00:00Z"}));
    EXPECT_TRUE(got[0].exception && got[0].subject == "Standup (moved)" && got[1].eventId == "1");
    // Moved out of the stretch: neither the occurrence nor the exception shows.
    moved.start = At("2027-01-04T09:00");
    moved.end = At("2027-01-04T10:00");
    EXPECT_EQ(StartsOf(ExpandEvent(weekly, {moved}, At("2026-12-07"), At("2026-12-07T23:59"))), Starts{});

    const auto daily = Event("2026-12-01T09:00", "2026-12-01T10:00", With(Rule(Frequency::Daily), 0, 0, 0, 3));
    CalendarEvent cancelled = Event("2026-12-02T09:00", "2026-12-02T10:00");
    cancelled.canceled = true;
    cancelled.originalStart = At("2026-12-02T09:00");
    EXPECT_EQ(StartsOf(ExpandEvent(daily, {cancelled}, At("2026-12-01"), At("2026-12-31"))),
              (Starts{"2026-12-01T09:00:00Z", "2026-12-03T09:00:00Z"}));
}

// The client's tests read intervals, weekdays, end dates and yearly
// positions in words through its commands; these are the other shapes.
TEST(RecurrenceWording, SaysEachPatternInWords) {
    RecurrenceRule weeklyFromTuesday = Rule(Frequency::Weekly);
    weeklyFromTuesday.start = At("2026-12-01");
    const std::tuple<const char*, RecurrenceRule, const char*> cases[] = {
        {"no repetition", RecurrenceRule{}, ""},
        {"every day", Rule(Frequency::Daily), "daily"},
        {"weekends", Rule(Frequency::Daily, 1, kWeekend), "daily on Sat, Sun"},
        {"Sunday is listed last", Rule(Frequency::Weekly, 1, kSun | kMon), "weekly on Mon, Sun"},
        {"weekly without days uses the start's weekday", weeklyFromTuesday, "weekly on Tue"},
        {"monthly by day, counted", With(Rule(Frequency::Monthly), 15, 0, 0, 10), "every month on day 15, 10 times"},
        {"once", With(Rule(Frequency::Monthly, 2), 1, 0, 0, 1), "every 2 months on day 1, once"},
        {"last Friday", With(Rule(Frequency::Monthly, 1, kFri), 0, -1), "every month on the last Friday"},
        {"first weekday every quarter", With(Rule(Frequency::Monthly, 3, kMondayToFriday), 0, 1),
         "every 3 months on the 1st weekday"},
        {"yearly by date", With(Rule(Frequency::Yearly), 25, 0, 12), "yearly on December 25"},
        {"every other year", With(Rule(Frequency::Yearly, 2), 29, 0, 2), "every 2 years on February 29"},
        {"a day no month has", With(Rule(Frequency::Monthly), 40),
         "every month on day 40 (not understood, shown once: day 40 is not a day of a month)"},
        {"a month that does not exist", With(Rule(Frequency::Yearly), 1, 0, 13),
         "yearly on day 1 (not understood, shown once: month 13 does not exist)"},
    };
    for (const auto& [what, rule, words] : cases) EXPECT_EQ(DescribeRule(rule), words) << what;
}

}  // namespace
}  // namespace calyra::calendar
