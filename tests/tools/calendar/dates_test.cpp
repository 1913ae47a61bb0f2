// Dates as text and as day arithmetic (known vectors, both sides of
// 1899-12-30), and dates and durations as people type them, read against
// one fixed "now": Wednesday 2027-03-03 10:15 wall time.
#include <gtest/gtest.h>

#include "calendar/date_phrase.h"
#include "calendar/days.h"
#include "calendar/iso_date.h"

namespace calyra::calendar {
namespace {

const Date kNow = FromCivil({2027, 3, 3, 10, 15, 0});

TEST(IsoDate, KnownDatesReadAsTheirDayAndTimeOnBothSidesOfTheEpoch) {
    // The date, its text and its weekday (-1: none). Before 1899-12-30 the
    // integer part counts back and the fraction is still the time of day;
    // seconds round to the nearest and carry.
    const std::tuple<Date, const char*, int> cases[] = {
        {0.0, "1899-12-30T00:00:00Z", 6},
        {0.25, "1899-12-30T06:00:00Z", 6},
        {-0.25, "1899-12-30T06:00:00Z", 6},
        {-1.25, "1899-12-29T06:00:00Z", 5},
        {-5.25, "1899-12-25T06:00:00Z", 1},
        {46000.75, "2025-12-09T18:00:00Z", 2},
        {1.0 - 0.4 / 86400, "1899-12-31T00:00:00Z", 0},
        {-657434.0, "0100-01-01T00:00:00Z", 5},
        {2958465.99998, "9999-12-31T23:59:58Z", 5},
        {-657435.0, "0000-00-00T00:00:00Z", -1},
    };
    for (const auto& [date, text, weekday] : cases) {
        EXPECT_EQ(FormatIsoDate(date), text) << date;
        if (weekday < 0) continue;
        const long long seconds = DateToSeconds(date);
        EXPECT_EQ(WeekdayOfDay(DayOfSeconds(seconds)), weekday) << text;
        EXPECT_EQ(DateToSeconds(SecondsToDate(seconds)), seconds) << text;
        const CivilDay day = CivilFromDay(DayOfSeconds(seconds));
        EXPECT_EQ(DayFromCivil(day.year, day.month, day.day), DayOfSeconds(seconds)) << text;
    }
}

TEST(IsoDate, TextsPeopleWriteAreReadAndOthersRefused) {
    // The text and how it reads (empty: refused).
    const std::pair<const char*, const char*> cases[] = {
        {"2026-12-06", "2026-12-06T00:00:00Z"},
        {"2026-12-06T09:30", "2026-12-06T09:30:00Z"},
        {"2026-12-06 09:30:15Z", "2026-12-06T09:30:15Z"},
        {"1815-12-10", "1815-12-10T00:00:00Z"},
        {"2024-02-29", "2024-02-29T00:00:00Z"},
        {"2023-02-29", ""},
        {"2026-13-01", ""},
        {"2026-12-06T24:00", ""},
        {"0099-12-31", ""},
        {"2026-12-6", ""},
        {"2026-12-06T09:30x", ""},
        {"tomorrow", ""},
    };
    for (const auto& [text, read] : cases) {
        const auto d = TryParseIsoDate(text);
        EXPECT_EQ(d ? FormatIsoDate(*d) : "", read) << text;
    }
    const Date today = *TryParseIsoDate("today");
    EXPECT_EQ(SecondOfDay(DateToSeconds(today)), 0);
    EXPECT_LE(DateToSeconds(today), DateToSeconds(*TryParseIsoDate("now")));
    EXPECT_EQ(FromCivil({2026, 2, 30, 0, 0, 0}), 0) << "a day the month does not have is no date";
}

TEST(DatePhrase, EveryFormReadsToItsMomentAroundAFixedNow) {
    // The text; FormatIsoDate of the result; whether it has a time, and whether it named UTC.
    const std::tuple<const char*, const char*, bool, bool> cases[] = {
        {"today", "2027-03-03T00:00:00Z", false, false},
        {"Tomorrow 10:00", "2027-03-04T10:00:00Z", true, false},
        {"yesterday at noon", "2027-03-02T12:00:00Z", true, false},
        {"now", "2027-03-03T10:15:00Z", true, false},
        {"wed", "2027-03-03T00:00:00Z", false, false},  // today counts
        {"fri 14:30", "2027-03-05T14:30:00Z", true, false},
        {"friday 2:30pm", "2027-03-05T14:30:00Z", true, false},
        {"tue", "2027-03-09T00:00:00Z", false, false},
        {"next wednesday", "2027-03-10T00:00:00Z", false, false},  // never today
        {"next mon 9 am", "2027-03-08T09:00:00Z", true, false},
        {"+2d", "2027-03-05T10:15:00Z", true, false},
        {"-1w", "2027-02-24T10:15:00Z", true, false},
        {"+1h30m", "2027-03-03T11:45:00Z", true, false},
        {"2027-03-05", "2027-03-05T00:00:00Z", false, false},
        {"2027-03-05 9am", "2027-03-05T09:00:00Z", true, false},
        {"2027-03-05T09:00", "2027-03-05T09:00:00Z", true, false},
        {"2027-03-05T09:00:30Z", "2027-03-05T09:00:30Z", true, true},
        {"2027-03-05T09:00+01:00", "2027-03-05T08:00:00Z", true, true},
        {"2027-03-05t09:00-0530", "2027-03-05T14:30:00Z", true, true},
        {"14:30", "2027-03-03T14:30:00Z", true, false},
        {"12am", "2027-03-03T00:00:00Z", true, false},
        {"12pm", "2027-03-03T12:00:00Z", true, false},
        {"midnight", "2027-03-03T00:00:00Z", true, false},
    };
    for (const auto& [text, moment, hasTime, utc] : cases) {
        std::string problem;
        const auto when = ParseWhen(text, kNow, &problem);
        ASSERT_TRUE(when) << text << ": " << problem;
        EXPECT_EQ(std::make_tuple(FormatIsoDate(when->date), when->hasTime, when->utc),
                  std::make_tuple(moment, hasTime, utc))
            << text;
    }
}

// Days are typed back as the date style shows them; a moved "now" keeps
// whole minutes unless seconds were asked for.
TEST(DatePhrase, DaysReadInTheStyleTheyAreShownIn) {
    const Date now = FromCivil({2027, 3, 3, 10, 15, 42});
    const std::tuple<const char*, DateStyle, const char*> cases[] = {
        {"05.03.2027", DateStyle::Iso, "2027-03-05T00:00:00Z"},  // dots are day first in every style
        {"5.3.2027 14:00", DateStyle::Mdy, "2027-03-05T14:00:00Z"},
        {"05.03.2027 9am", DateStyle::Dmy, "2027-03-05T09:00:00Z"},
        {"03/05/2027", DateStyle::Mdy, "2027-03-05T00:00:00Z"},
        {"05/03/2027 at 14:30", DateStyle::Dmy, "2027-03-05T14:30:00Z"},
        {"2027-03-05", DateStyle::Dmy, "2027-03-05T00:00:00Z"},  // ISO in every style
        {"+2d", DateStyle::Iso, "2027-03-05T10:15:00Z"},
        {"-1h", DateStyle::Iso, "2027-03-03T09:15:00Z"},
        {"+90s", DateStyle::Iso, "2027-03-03T10:17:12Z"},
        {"now", DateStyle::Iso, "2027-03-03T10:15:42Z"},
    };
    for (const auto& [text, style, moment] : cases) {
        std::string problem;
        const auto when = ParseWhen(text, now, &problem, style);
        ASSERT_TRUE(when) << text << ": " << problem;
        EXPECT_EQ(FormatIsoDate(when->date), moment) << text;
    }
    const std::tuple<const char*, DateStyle, const char*> refused[] = {
        {"03/05/2027", DateStyle::Iso, "could be month/day or day/month"},
        {"31.02.2027", DateStyle::Dmy, "no such day"},
        {"13/05/2027", DateStyle::Mdy, "no such day"},
        {"05.03.27", DateStyle::Dmy, "cannot read"},
        {"05/03.2027", DateStyle::Dmy, "cannot read"},
    };
    for (const auto& [text, style, words] : refused) {
        std::string problem;
        EXPECT_FALSE(ParseWhen(text, now, &problem, style)) << text;
        EXPECT_NE(problem.find(words), std::string::npos) << text << ": " << problem;
        EXPECT_NE(problem.find("e.g."), std::string::npos) << text << ": " << problem;
    }
}

TEST(DatePhrase, AnythingNotReadWholeIsRefusedWithAnExample) {
    for (const char* text : {"", "9", "25:00", "13pm", "0am", "fri 14:60", "next", "next week", "tomorrow at",
                             "2027-02-29", "2027-13-01", "0099-12-31", "today 10:00 extra", "someday", "+2", "+2x",
                             "2027-03-05T09:00+1", "2027-03-05T25:00", "fri 9 am pm"}) {
        std::string problem;
        EXPECT_FALSE(ParseWhen(text, kNow, &problem)) << text;
        EXPECT_NE(problem.find("e.g."), std::string::npos) << text << ": " << problem;
    }
}

TEST(DatePhrase, DurationsAreUnitsLargestFirstAndBareNumbersAreRefused) {
    const std::pair<const char*, long long> good[] = {{"30m", 1800},  {"1h30m", 5400}, {"2d", 172800},
                                                      {"1w", 604800}, {"45s", 45},     {"1W2D", 777600}};
    for (const auto& [text, seconds] : good) {
        std::string problem;
        EXPECT_EQ(ParseDuration(text, &problem), seconds) << text << ": " << problem;
    }
    for (const char* text : {"", "90", "m", "30m1h", "1h1h", "1y", "1.5h", "99999999d", "-5m"}) {
        std::string problem;
        EXPECT_FALSE(ParseDuration(text, &problem)) << text;
        EXPECT_NE(problem.find("e.g."), std::string::npos) << text;
    }
}

}  // namespace
}  // namespace calyra::calendar
