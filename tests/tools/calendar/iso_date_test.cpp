// Dates as text and as day arithmetic: known vectors, both sides of 1899-12-30.
#include <gtest/gtest.h>

#include "calendar/days.h"
#include "calendar/iso_date.h"

namespace calyra::calendar {
namespace {

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
    const struct {
        const char* text;
        const char* read;  // nullptr: refused
    } cases[] = {
        {"2026-12-06", "2026-12-06T00:00:00Z"},
        {"2026-12-06T09:30", "2026-12-06T09:30:00Z"},
        {"2026-12-06 09:30:15Z", "2026-12-06T09:30:15Z"},
        {"1815-12-10", "1815-12-10T00:00:00Z"},
        {"2024-02-29", "2024-02-29T00:00:00Z"},
        {"2023-02-29", nullptr},
        {"2026-13-01", nullptr},
        {"2026-12-06T24:00", nullptr},
        {"0099-12-31", nullptr},
        {"2026-12-6", nullptr},
        {"2026-12-06T09:30x", nullptr},
        {"tomorrow", nullptr},
    };
    for (const auto& c : cases) {
        const auto d = TryParseIsoDate(c.text);
        ASSERT_EQ(d.has_value(), c.read != nullptr) << c.text;
        if (d) {
            EXPECT_EQ(FormatIsoDate(*d), c.read) << c.text;
        }
    }
    const Date today = *TryParseIsoDate("today");
    EXPECT_EQ(SecondOfDay(DateToSeconds(today)), 0);
    EXPECT_LE(DateToSeconds(today), DateToSeconds(*TryParseIsoDate("now")));
    EXPECT_EQ(FromCivil({2026, 2, 30, 0, 0, 0}), 0) << "a day the month does not have is no date";
}

}  // namespace
}  // namespace calyra::calendar
