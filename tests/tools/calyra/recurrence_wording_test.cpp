// The client's reading of the stored recurrence record: the words people
// see, and the rule <-> record mapping that expansion and interchange share.
#include <gtest/gtest.h>

#include "iso_date.h"
#include "recurrence_rule.h"
#include "recurrence_wording.h"

namespace calyra::cli {
namespace {

constexpr unsigned kMon = WeekdayBit(1), kTue = WeekdayBit(2), kWed = WeekdayBit(3), kFri = WeekdayBit(5);

tagRecurrence Daily(LONG every, LONG option = 0) {
    tagRecurrence r{};
    r.ePattern = enumRecurrencePattern_Daily;
    r.Daily.lOption = option;
    r.Daily.lEveryXDays = every;
    return r;
}
tagRecurrence Weekly(LONG every, unsigned days) {
    tagRecurrence r{};
    r.ePattern = enumRecurrencePattern_Weekly;
    r.Weekly.lEveryXWeeks = every;
    r.Weekly.lDays = static_cast<LONG>(days);
    return r;
}
tagRecurrence MonthlyOnDay(LONG every, LONG day) {
    tagRecurrence r{};
    r.ePattern = enumRecurrencePattern_Monthly;
    r.Monthly.lDayM = day;
    r.Monthly.lEveryXMonths = every;
    return r;
}
tagRecurrence MonthlyNth(LONG every, LONG nth, unsigned days) {
    tagRecurrence r{};
    r.ePattern = enumRecurrencePattern_Monthly;
    r.Monthly.lOption = 1;
    r.Monthly.lTheNth = nth;
    r.Monthly.lDayN = static_cast<LONG>(days);
    r.Monthly.lEveryYMonths = every;
    return r;
}
tagRecurrence YearlyOnDay(LONG every, LONG month, LONG day) {
    tagRecurrence r{};
    r.ePattern = enumRecurrencePattern_Yearly;
    r.Yearly.lEveryXYears = every;
    r.Yearly.lEveryMonthM = month;
    r.Yearly.lDayM = day;
    return r;
}
tagRecurrence YearlyNth(LONG nth, unsigned days, LONG month) {
    tagRecurrence r{};
    r.ePattern = enumRecurrencePattern_Yearly;
    r.Yearly.lOption = 1;
    r.Yearly.lEveryXYears = 1;
    r.Yearly.lTheNth = nth;
    r.Yearly.lDayN = static_cast<LONG>(days);
    r.Yearly.lOfMonthN = month;
    return r;
}
tagRecurrence Until(tagRecurrence r, const char* day) {
    r.eEnd = enumRecurrenceEnd_EndBy;
    r.lEndBy = ParseIsoDate(day);
    return r;
}
tagRecurrence Times(tagRecurrence r, LONG count) {
    r.eEnd = enumRecurrenceEnd_EndAfter;
    r.lEndAfter = count;
    return r;
}
tagRecurrence StartingOn(tagRecurrence r, const char* day) {
    r.dtStart = ParseIsoDate(day);
    return r;
}

struct WordingCase {
    const char* what;
    tagRecurrence record;
    const char* words;
};

TEST(RecurrenceWording, SaysEachPatternInWords) {
    tagRecurrence unknown{};
    unknown.ePattern = static_cast<enumRecurrencePattern>(9);
    const WordingCase cases[] = {
        {"no repetition", tagRecurrence{}, ""},
        {"every day", Daily(1), "daily"},
        {"every third day", Daily(3), "every 3 days"},
        {"a stored interval of 0 is every day", Daily(0), "daily"},
        {"weekday option", Daily(5, 1), "every weekday"},
        {"fortnightly with an end date", Until(Weekly(2, kMon | kWed), "2027-03-01"),
         "every 2 weeks on Mon, Wed, until 2027-03-01"},
        {"Sunday is listed last", Weekly(1, WeekdayBit(0) | kMon), "weekly on Mon, Sun"},
        {"weekly without days uses the start's weekday", StartingOn(Weekly(1, 0), "2026-12-01"), "weekly on Tue"},
        {"monthly by day, counted", Times(MonthlyOnDay(1, 15), 10), "every month on day 15, 10 times"},
        {"once", Times(MonthlyOnDay(2, 1), 1), "every 2 months on day 1, once"},
        {"last Friday", MonthlyNth(1, 5, kFri), "every month on the last Friday"},
        {"first weekday every quarter", MonthlyNth(3, 1, 0x3E), "every 3 months on the 1st weekday"},
        {"yearly by position", YearlyNth(2, kTue, 3), "yearly on the 2nd Tuesday of March"},
        {"yearly by date; an interval of 0 is every year", YearlyOnDay(0, 12, 25), "yearly on December 25"},
        {"every other year", YearlyOnDay(2, 2, 29), "every 2 years on February 29"},
        {"an end date of 0 is no end", Until(Daily(1), "1899-12-30"), "daily"},
        {"a count of 0 is no end", Times(Daily(1), 0), "daily"},
        {"a day no month has", MonthlyOnDay(1, 40),
         "every month on day 40 (not understood, shown once: day 40 is not a day of a month)"},
        {"a pattern the client does not know", unknown, "unknown repetition (pattern 9)"},
    };
    for (const auto& c : cases) EXPECT_EQ(DescribeRecurrence(c.record), c.words) << c.what;
}

TEST(RecurrenceRule, RulesSurviveTheTripThroughTheRecord) {
    auto rule = [](Frequency f, int interval) {
        RecurrenceRule r;
        r.frequency = f;
        r.interval = interval;
        r.start = ParseIsoDate("2026-12-01");
        return r;
    };
    std::vector<RecurrenceRule> rules;
    rules.push_back(RecurrenceRule{});
    rules.push_back(rule(Frequency::Daily, 4));
    auto weekdays = rule(Frequency::Daily, 1);
    weekdays.weekdays = kMondayToFriday;
    rules.push_back(weekdays);
    auto weekly = rule(Frequency::Weekly, 2);
    weekly.weekdays = kMon | kWed;
    weekly.until = ParseIsoDate("2027-03-01");
    rules.push_back(weekly);
    auto monthly = rule(Frequency::Monthly, 1);
    monthly.monthDay = 31;
    monthly.count = 12;
    rules.push_back(monthly);
    auto lastFriday = rule(Frequency::Monthly, 6);
    lastFriday.nth = -1;
    lastFriday.weekdays = kFri;
    rules.push_back(lastFriday);
    auto birthday = rule(Frequency::Yearly, 1);
    birthday.month = 2;
    birthday.monthDay = 29;
    rules.push_back(birthday);
    auto election = rule(Frequency::Yearly, 4);
    election.month = 11;
    election.nth = 1;
    election.weekdays = kTue;
    rules.push_back(election);

    for (const auto& r : rules) {
        tagRecurrence record{};
        std::string problem;
        ASSERT_TRUE(ToRecord(r, &record, &problem)) << DescribeRule(r) << ": " << problem;
        EXPECT_EQ(ToRule(record), r) << "read back differently: \"" << DescribeRule(ToRule(record)) << "\" instead of \""
                                     << DescribeRule(r) << "\"";
    }
}

TEST(RecurrenceRule, WritingKeepsWhatTheRuleHasNoSayIn) {
    tagRecurrence record = MonthlyOnDay(1, 15);
    record.Daily.lXUnitOfNewTask = 7;
    record.Yearly.lXUnitOfNewTask = 1;
    record.Weekly.lXUnitOfNewTask = 3;
    RecurrenceRule weekly;
    weekly.frequency = Frequency::Weekly;
    weekly.weekdays = kMon;
    ASSERT_TRUE(ToRecord(weekly, &record));
    EXPECT_EQ(record.ePattern, enumRecurrencePattern_Weekly);
    EXPECT_EQ(record.Monthly.lDayM, 15) << "the monthly part is stored too and must not be lost";
    EXPECT_EQ(record.Daily.lXUnitOfNewTask, 7);
    EXPECT_EQ(record.Weekly.lXUnitOfNewTask, 3);
    EXPECT_EQ(record.Yearly.lXUnitOfNewTask, 1);
}

TEST(RecurrenceRule, StoredLastPositionIsFive) {
    RecurrenceRule last;
    last.frequency = Frequency::Monthly;
    last.nth = -1;
    last.weekdays = kFri;
    tagRecurrence record{};
    ASSERT_TRUE(ToRecord(last, &record));
    EXPECT_EQ(record.Monthly.lOption, 1);
    EXPECT_EQ(record.Monthly.lTheNth, 5);
    EXPECT_EQ(record.Monthly.lDayN, 32);
}

TEST(RecurrenceRule, DailyOnSomeWeekdaysIsStoredAsTheSameWeeklyRule) {
    RecurrenceRule weekends;
    weekends.frequency = Frequency::Daily;
    weekends.weekdays = kWeekend;
    tagRecurrence record{};
    ASSERT_TRUE(ToRecord(weekends, &record));
    EXPECT_EQ(DescribeRecurrence(record), "weekly on Sat, Sun");
}

TEST(RecurrenceRule, RulesTheRecordCannotHoldAreRefusedAndLeaveItAlone) {
    RecurrenceRule both;
    both.frequency = Frequency::Daily;
    both.until = ParseIsoDate("2027-01-01");
    both.count = 3;
    RecurrenceRule skipping;
    skipping.frequency = Frequency::Daily;
    skipping.interval = 2;
    skipping.weekdays = kMon;
    RecurrenceRule badMonth;
    badMonth.frequency = Frequency::Yearly;
    badMonth.month = 13;
    for (const auto& r : {both, skipping, badMonth}) {
        tagRecurrence record = MonthlyOnDay(1, 15);
        std::string problem;
        EXPECT_FALSE(ToRecord(r, &record, &problem));
        EXPECT_FALSE(problem.empty());
        EXPECT_EQ(DescribeRecurrence(record), "every month on day 15") << problem;
    }
}

}  // namespace
}  // namespace calyra::cli
