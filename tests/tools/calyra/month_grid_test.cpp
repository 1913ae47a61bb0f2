// Which days a repeating event falls on, and how a month of them is drawn.
#include <gtest/gtest.h>

#include <sstream>

#include "calendar_days.h"
#include "calendar_occurrences.h"
#include "iso_date.h"
#include "month_grid.h"
#include "output.h"

namespace calyra::cli {
namespace {

constexpr unsigned kMon = WeekdayBit(1), kTue = WeekdayBit(2), kWed = WeekdayBit(3), kFri = WeekdayBit(5);

CalendarEvent Event(const char* start, const char* end, Frequency f = Frequency::None) {
    CalendarEvent e;
    e.id = "1";
    e.subject = "Standup";
    e.start = ParseIsoDate(start);
    e.end = ParseIsoDate(end);
    e.rule.frequency = f;
    return e;
}

std::vector<std::string> Starts(const std::vector<Occurrence>& occurrences) {
    std::vector<std::string> out;
    for (const auto& o : occurrences) out.push_back(FormatIsoDate(o.start));
    return out;
}

std::vector<Occurrence> Expand(const CalendarEvent& e, const char* from, const char* to,
                               const std::vector<CalendarEvent>& exceptions = {}) {
    return ExpandEvent(e, exceptions, ParseIsoDate(from), ParseIsoDate(to));
}

using Days = std::vector<std::string>;

TEST(CalendarDays, DayArithmeticAgreesWithAutomationDates) {
    // Before 1899-12-30 the integer part counts back and the fraction is
    // still the time of day.
    for (DATE d : {0.0, 0.25, -0.25, -1.25, -5.75, 1.5, 46000.75, -657434.0, 2958465.99998}) {
        const CivilDate expected = ToCivil(d);
        const long long seconds = DateToSeconds(d);
        const CivilDay day = CivilFromDay(DayOfSeconds(seconds));
        EXPECT_EQ(day.year, expected.year) << d;
        EXPECT_EQ(day.month, expected.month) << d;
        EXPECT_EQ(day.day, expected.day) << d;
        EXPECT_EQ(SecondOfDay(seconds), expected.hour * 3600 + expected.minute * 60 + expected.second) << d;
        EXPECT_EQ(DateToSeconds(SecondsToDate(seconds)), seconds) << d;
        EXPECT_EQ(DayFromCivil(day.year, day.month, day.day), DayOfSeconds(seconds)) << d;
        EXPECT_EQ(WeekdayOfDay(DayOfSeconds(seconds)), DayOfWeek(d)) << d;
    }
}

TEST(OccurrenceExpansion, WeeklyOnTwoDaysCrossesIntoTheNextMonth) {
    auto e = Event("2026-11-23T09:00", "2026-11-23T09:15", Frequency::Weekly);
    e.rule.weekdays = kMon | kWed;
    EXPECT_EQ(Starts(Expand(e, "2026-11-25", "2026-12-09T23:59")),
              (Days{"2026-11-25T09:00:00Z", "2026-11-30T09:00:00Z", "2026-12-02T09:00:00Z", "2026-12-07T09:00:00Z",
                    "2026-12-09T09:00:00Z"}));
    const auto first = Expand(e, "2026-11-23", "2026-11-23T23:59");
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(FormatIsoDate(first[0].end), "2026-11-23T09:15:00Z") << "occurrences keep the event's length";
}

TEST(OccurrenceExpansion, EveryOtherWeekSkipsWholeWeeksCountedFromTheStart) {
    auto e = Event("2026-11-04T09:00", "2026-11-04T10:00", Frequency::Weekly);  // a Wednesday
    e.rule.interval = 2;
    e.rule.weekdays = kMon | kWed;
    // The start's week is the first: its Monday lies before the start and is skipped.
    EXPECT_EQ(Starts(Expand(e, "2026-11-01", "2026-11-30T23:59")),
              (Days{"2026-11-04T09:00:00Z", "2026-11-16T09:00:00Z", "2026-11-18T09:00:00Z", "2026-11-30T09:00:00Z"}));
}

TEST(OccurrenceExpansion, DayThirtyOneFallsOnTheLastDayOfShorterMonths) {
    auto e = Event("2026-01-31T18:00", "2026-01-31T19:00", Frequency::Monthly);
    e.rule.monthDay = 31;
    EXPECT_EQ(Starts(Expand(e, "2026-02-01", "2026-05-31T23:59")),
              (Days{"2026-02-28T18:00:00Z", "2026-03-31T18:00:00Z", "2026-04-30T18:00:00Z", "2026-05-31T18:00:00Z"}));
}

TEST(OccurrenceExpansion, NthWeekdayOfTheMonthAndOfTheYear) {
    auto second = Event("2026-01-01T12:00", "2026-01-01T13:00", Frequency::Monthly);
    second.rule.nth = 2;
    second.rule.weekdays = kTue;
    EXPECT_EQ(Starts(Expand(second, "2026-12-01", "2026-12-31T23:59")), (Days{"2026-12-08T12:00:00Z"}));

    auto last = second;
    last.rule.nth = -1;
    last.rule.weekdays = kFri;
    EXPECT_EQ(Starts(Expand(last, "2026-12-01", "2026-12-31T23:59")), (Days{"2026-12-25T12:00:00Z"}));

    auto yearly = second;
    yearly.rule.frequency = Frequency::Yearly;
    yearly.rule.month = 3;
    EXPECT_EQ(Starts(Expand(yearly, "2026-01-01", "2027-12-31")),
              (Days{"2026-03-10T12:00:00Z", "2027-03-09T12:00:00Z"}));
}

TEST(OccurrenceExpansion, EndDateIncludesItsWholeDayAndCountIsFromTheFirstOccurrence) {
    auto until = Event("2026-12-01T09:00", "2026-12-01T10:00", Frequency::Daily);
    until.rule.until = ParseIsoDate("2026-12-05");
    EXPECT_EQ(Expand(until, "2026-11-01", "2027-01-31").size(), 5u) << "the 09:00 occurrence on the end day counts";

    auto counted = Event("2026-11-23T09:00", "2026-11-23T10:00", Frequency::Weekly);
    counted.rule.weekdays = kMon | kWed;
    counted.rule.count = 3;
    EXPECT_EQ(Starts(Expand(counted, "2026-11-01", "2026-12-31")),
              (Days{"2026-11-23T09:00:00Z", "2026-11-25T09:00:00Z", "2026-11-30T09:00:00Z"}));
    EXPECT_TRUE(Expand(counted, "2026-12-01", "2026-12-31").empty()) << "the three were used up in November";
}

TEST(OccurrenceExpansion, SeriesStartLaterThanTheEventBeginsTheOccurrences) {
    auto e = Event("2026-01-05T08:00", "2026-01-05T08:30", Frequency::Daily);
    e.rule.start = ParseIsoDate("2026-12-30");
    EXPECT_EQ(Starts(Expand(e, "2026-12-01", "2026-12-31T23:59")),
              (Days{"2026-12-30T08:00:00Z", "2026-12-31T08:00:00Z"}));
}

TEST(OccurrenceExpansion, AnExceptionMovesOneOccurrence) {
    auto e = Event("2026-11-30T09:00", "2026-11-30T10:00", Frequency::Weekly);
    e.rule.weekdays = kMon;
    CalendarEvent moved = Event("2026-12-08T14:00", "2026-12-08T15:00");
    moved.id = "2";
    moved.subject = "Standup (moved)";
    moved.originalStart = ParseIsoDate("2026-12-07T09:00");
    const auto got = Expand(e, "2026-12-01", "2026-12-15T23:59", {moved});
    ASSERT_EQ(Starts(got), (Days{"2026-12-08T14:00:00Z", "2026-12-14T09:00:00Z"}));
    EXPECT_EQ(got[0].eventId, "2");
    EXPECT_TRUE(got[0].exception);
    EXPECT_EQ(got[0].subject, "Standup (moved)");
    EXPECT_EQ(got[1].eventId, "1");

    // Moved out of the stretch: neither the occurrence nor the exception shows.
    moved.start = ParseIsoDate("2027-01-04T09:00");
    moved.end = ParseIsoDate("2027-01-04T10:00");
    EXPECT_EQ(Starts(Expand(e, "2026-12-07", "2026-12-07T23:59", {moved})), Days{});
}

TEST(OccurrenceExpansion, ACancelledExceptionRemovesItsOccurrenceButStillCounts) {
    auto e = Event("2026-12-01T09:00", "2026-12-01T10:00", Frequency::Daily);
    e.rule.count = 3;
    CalendarEvent cancelled = Event("2026-12-02T09:00", "2026-12-02T10:00");
    cancelled.canceled = true;
    cancelled.originalStart = ParseIsoDate("2026-12-02T09:00");
    EXPECT_EQ(Starts(Expand(e, "2026-12-01", "2026-12-31", {cancelled})),
              (Days{"2026-12-01T09:00:00Z", "2026-12-03T09:00:00Z"}));
}

TEST(OccurrenceExpansion, SingleEventsAndRulesNotUnderstoodOccurOnceAtTheirOwnTime) {
    auto single = Event("2026-12-03T09:30", "2026-12-05T10:00");
    EXPECT_EQ(Starts(Expand(single, "2026-12-04", "2026-12-04T23:59")), (Days{"2026-12-03T09:30:00Z"}))
        << "a multi-day event overlaps the days after its start";
    auto odd = Event("2026-12-03T09:30", "2026-12-03T10:00", Frequency::Monthly);
    odd.rule.monthDay = 40;
    EXPECT_EQ(Starts(Expand(odd, "2026-01-01", "2027-12-31")), (Days{"2026-12-03T09:30:00Z"}));
}

TEST(OccurrenceExpansion, FarRangesFinish) {
    auto e = Event("0100-01-01T00:00", "0100-01-01T00:01", Frequency::Daily);
    EXPECT_EQ(Expand(e, "9999-12-31", "9999-12-31T23:59:59").size(), 1u);
    auto yearly = Event("2026-02-28T00:00", "2026-02-28T00:01", Frequency::Yearly);
    yearly.rule.interval = 2147483647;
    EXPECT_EQ(Expand(yearly, "2026-01-01", "9999-12-31").size(), 1u);
}

// ---- The grid ----------------------------------------------------------

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

Occurrence At(const char* start, const char* end, const char* subject, bool allDay = false) {
    return Occurrence{"1", subject, ParseIsoDate(start), ParseIsoDate(end), allDay, false};
}

// The cells of a grid line ("|a|b|" -> {"a", "b"}), right-trimmed.
std::vector<std::string> Cells(const std::string& line) {
    std::vector<std::string> out;
    size_t pos = 1;
    while (pos < line.size()) {
        size_t bar = line.find('|', pos);
        if (bar == std::string::npos) break;
        std::string cell = line.substr(pos, bar - pos);
        while (!cell.empty() && cell.back() == ' ') cell.pop_back();
        out.push_back(cell);
        pos = bar + 1;
    }
    return out;
}

// Day-number lines: the first cell line after each border below the header.
std::vector<std::vector<std::string>> WeekNumbers(const std::vector<std::string>& lines) {
    std::vector<std::vector<std::string>> out;
    for (size_t i = 4; i < lines.size(); ++i)
        if (lines[i - 1][0] == '+' && lines[i][0] == '|') out.push_back(Cells(lines[i]));
    return out;
}

TEST(MonthGrid, AMonthStartingOnSundayPutsDayOneInTheLastColumn) {
    const auto lines = Lines(FormatMonthGrid(2026, 11, {}));
    EXPECT_EQ(lines[0], "November 2026");
    EXPECT_EQ(Cells(lines[2]), (std::vector<std::string>{"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"}));
    const auto weeks = WeekNumbers(lines);
    ASSERT_FALSE(weeks.empty());
    EXPECT_EQ(weeks[0], (std::vector<std::string>{"", "", "", "", "", "", "1"}));
    EXPECT_EQ(weeks[1][0], "2");
}

TEST(MonthGrid, WeeksRowsFollowTheMonthsShape) {
    EXPECT_EQ(WeekNumbers(Lines(FormatMonthGrid(2026, 11, {}))).size(), 6u) << "30 days from a Sunday need 6 weeks";
    EXPECT_EQ(WeekNumbers(Lines(FormatMonthGrid(2027, 2, {}))).size(), 4u) << "28 days from a Monday fill 4 weeks";
    const auto weeks = WeekNumbers(Lines(FormatMonthGrid(2026, 11, {})));
    EXPECT_EQ(weeks.back(), (std::vector<std::string>{"30", "", "", "", "", "", ""}));
}

TEST(MonthGrid, DaysWithMoreEventsThanLinesSayHowManyMore) {
    std::vector<Occurrence> busy;
    for (const char* t : {"2026-12-02T08:00", "2026-12-02T09:00", "2026-12-02T10:00", "2026-12-02T11:00",
                          "2026-12-02T12:00"})
        busy.push_back(At(t, t, "Call"));
    GridStyle style;
    style.cellWidth = 12;
    style.maxLines = 3;
    const auto lines = Lines(FormatMonthGrid(2026, 12, busy, style));
    std::vector<std::string> wednesday;
    for (const auto& line : lines)
        if (line[0] == '|') wednesday.push_back(Cells(line)[2]);
    // Header, then the first week: number and three event lines.
    ASSERT_GE(wednesday.size(), 5u);
    EXPECT_EQ(wednesday[1], "2");
    EXPECT_EQ(wednesday[2], "08:00 Call");
    EXPECT_EQ(wednesday[3], "09:00 Call");
    EXPECT_EQ(wednesday[4], "+3 more");
}

TEST(MonthGrid, EveryLineHasTheSameWidthWithWideCharactersCutWhole) {
    const std::vector<Occurrence> events{At("2026-12-09T10:00", "2026-12-09T11:00", "会議の準備をする"),
                                         At("2026-12-10T10:00", "2026-12-10T11:00", "Überprüfung"),
                                         At("2026-12-11T10:00", "2026-12-11T11:00", "line\nbreak")};
    const auto lines = Lines(FormatMonthGrid(2026, 12, events));
    const size_t width = DisplayWidth(lines[1]);
    for (size_t i = 1; i < lines.size(); ++i) EXPECT_EQ(DisplayWidth(lines[i]), width) << lines[i];
    bool sawCut = false;
    for (const auto& line : lines)
        if (line.find("10:00 会") != std::string::npos) {
            sawCut = true;
            EXPECT_NE(line.find("10:00 会…"), std::string::npos) << "a half-fitting wide character is left out: " << line;
        }
    EXPECT_TRUE(sawCut);
    EXPECT_EQ(FitToWidth("a会議", 3), "a\u2026 ");
    EXPECT_EQ(FitToWidth("ab", 4), "ab  ");
}

TEST(MonthGrid, LongEventsShowOnEveryDayTheyCoverAndEndAtMidnight) {
    const std::vector<Occurrence> events{At("2026-12-24T00:00", "2026-12-27T00:00", "Holiday", true),
                                         At("2026-12-30T22:00", "2026-12-31T02:00", "Party")};
    const auto days = OccurrencesByDay(2026, 12, events);
    ASSERT_EQ(days.size(), 31u);
    EXPECT_EQ(days[22].size(), 0u);
    EXPECT_EQ(days[23].size(), 1u);
    EXPECT_EQ(days[25].size(), 1u);
    EXPECT_EQ(days[26].size(), 0u) << "an end at midnight does not reach into that day";
    EXPECT_EQ(days[29].size(), 1u);
    EXPECT_EQ(days[30].size(), 1u);
    const std::string grid = FormatMonthGrid(2026, 12, events);
    EXPECT_NE(grid.find("|Holiday   |"), std::string::npos) << "all-day events have no time\n" << grid;
    EXPECT_NE(grid.find("|22:00 Par…|Party     |"), std::string::npos) << "the time only on the first day\n" << grid;
}

}  // namespace
}  // namespace calyra::cli
