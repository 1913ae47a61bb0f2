// How a month of occurrences is drawn.
#include <gtest/gtest.h>

#include <sstream>

#include "calendar/days.h"
#include "calendar/display_width.h"
#include "calendar/iso_date.h"
#include "calendar/month_grid.h"

namespace calyra::calendar {
namespace {

using Cells = std::vector<std::string>;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

Occurrence At(const char* start, const char* end, const char* subject, bool allDay = false) {
    return Occurrence{"1", subject, *TryParseIsoDate(start), *TryParseIsoDate(end), allDay, false, {}};
}

// The cells of a grid line ("|a|b|" -> {"a", "b"}), right-trimmed.
Cells CellsOf(const std::string& line) {
    Cells out;
    for (size_t pos = 1, bar; (bar = line.find('|', pos)) != std::string::npos; pos = bar + 1) {
        std::string cell = line.substr(pos, bar - pos);
        while (!cell.empty() && cell.back() == ' ') cell.pop_back();
        out.push_back(cell);
    }
    return out;
}

// Day-number lines: the first cell line after each border below the header.
std::vector<Cells> WeekNumbers(const std::string& grid) {
    const auto lines = Lines(grid);
    std::vector<Cells> out;
    for (size_t i = 4; i < lines.size(); ++i)
        if (lines[i - 1][0] == '+' && lines[i][0] == '|') out.push_back(CellsOf(lines[i]));
    return out;
}

TEST(MonthGrid, WeeksRunMondayToSundayInTheMonthsShape) {
    const std::string november = FormatMonthGrid(2026, 11, {});
    EXPECT_EQ(Lines(november)[0], "November 2026");
    EXPECT_EQ(CellsOf(Lines(november)[2]), (Cells{"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"}));
    const auto weeks = WeekNumbers(november);
    ASSERT_EQ(weeks.size(), 6u) << "30 days from a Sunday need 6 weeks";
    EXPECT_EQ(weeks[0], (Cells{"", "", "", "", "", "", "1"}));
    EXPECT_EQ(weeks[1][0], "2");
    EXPECT_EQ(weeks.back(), (Cells{"30", "", "", "", "", "", ""}));
    EXPECT_EQ(WeekNumbers(FormatMonthGrid(2027, 2, {})).size(), 4u) << "28 days from a Monday fill 4 weeks";

    // Weeks from Sunday, today marked (and handed to the hook), and a week
    // on its own across a month's end.
    GridStyle sunday;
    sunday.weekStart = 0;
    sunday.today = DayFromCivil(2026, 11, 3);
    sunday.markToday = [](const std::string& cell) { return "<" + cell + ">"; };
    const std::string fromSunday = FormatMonthGrid(2026, 11, {}, sunday);
    EXPECT_EQ(CellsOf(Lines(fromSunday)[2])[0], "Sun");
    EXPECT_EQ(WeekNumbers(fromSunday).size(), 5u) << fromSunday;
    EXPECT_EQ(WeekNumbers(fromSunday)[0], (Cells{"1", "2", "<3 today   >", "4", "5", "6", "7"}));
    const std::string week = FormatWeekGrid(DayFromCivil(2026, 11, 30), {}, {});
    EXPECT_EQ(CellsOf(Lines(week)[1])[0], "Mon") << "no title line";
    EXPECT_EQ(WeekNumbers("title\n" + week), (std::vector<Cells>{{"30", "1", "2", "3", "4", "5", "6"}}));
}

TEST(MonthGrid, DaysWithMoreEventsThanLinesSayHowManyMore) {
    std::vector<Occurrence> busy;
    for (const char* t : {"2026-12-02T08:00", "2026-12-02T09:00", "2026-12-02T10:00", "2026-12-02T11:00"})
        busy.push_back(At(t, t, "Call"));
    Cells wednesday;
    for (const auto& line : Lines(FormatMonthGrid(2026, 12, busy, GridStyle{12, 3})))
        if (line[0] == '|') wednesday.push_back(CellsOf(line)[2]);
    ASSERT_GE(wednesday.size(), 5u);
    EXPECT_EQ(Cells(wednesday.begin() + 1, wednesday.begin() + 5), (Cells{"2", "08:00 Call", "09:00 Call", "+2 more"}));
}

TEST(MonthGrid, EveryLineHasTheSameWidthWithWideCharactersCutWhole) {
    const std::vector<Occurrence> events{At("2026-12-09T10:00", "2026-12-09T11:00", "会議の準備をする"),
                                         At("2026-12-10T10:00", "2026-12-10T11:00", "Überprüfung"),
                                         At("2026-12-11T10:00", "2026-12-11T11:00", "line\nbreak")};
    const std::string grid = FormatMonthGrid(2026, 12, events);
    const auto lines = Lines(grid);
    for (size_t i = 1; i < lines.size(); ++i) EXPECT_EQ(DisplayWidth(lines[i]), DisplayWidth(lines[1])) << lines[i];
    EXPECT_NE(grid.find("|10 会議の…|"), std::string::npos) << "a half-fitting wide character is left out\n" << grid;
    EXPECT_EQ(FitToWidth("a会議", 3), "a\u2026 ");
    EXPECT_EQ(FitToWidth("ab", 4), "ab  ");
}

TEST(MonthGrid, LongEventsShowOnEveryDayTheyCoverAndEndAtMidnight) {
    const std::vector<Occurrence> events{At("2026-12-24T00:00", "2026-12-27T00:00", "Holiday", true),
                                         At("2026-12-30T22:00", "2026-12-31T02:00", "Party")};
    const auto days = OccurrencesByDay(2026, 12, events);
    ASSERT_EQ(days.size(), 31u);
    std::string shape;
    for (size_t d = 22; d < 31; ++d) shape += std::to_string(days[d].size());
    EXPECT_EQ(shape, "011100011") << "days 23..31; an end at midnight does not reach into that day";
    const std::string grid = FormatMonthGrid(2026, 12, events);
    EXPECT_NE(grid.find("|Holiday   |"), std::string::npos) << "all-day events have no time\n" << grid;
    EXPECT_NE(grid.find("|22 Party  |Party     |"), std::string::npos) << "the time only on the first day\n" << grid;
    EXPECT_NE(FormatMonthGrid(2026, 12, {At("2026-12-02T09:30", "2026-12-02T10:00", "Call")}).find("|9:30 Call |"),
              std::string::npos)
        << "narrow boxes write times short";
}

}  // namespace
}  // namespace calyra::calendar
