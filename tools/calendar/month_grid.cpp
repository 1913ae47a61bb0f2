#include "calendar/month_grid.h"

#include <algorithm>

#include <fmt/format.h>

#include "calendar/days.h"
#include "calendar/display_width.h"
#include "calendar/recurrence_wording.h"

namespace calyra::calendar {
namespace {

// Length in bytes of the UTF-8 sequence that starts with `lead`.
size_t SequenceLength(unsigned char lead) {
    if (lead >= 0xF0) return 4;
    if (lead >= 0xE0) return 3;
    if (lead >= 0xC0) return 2;
    return 1;
}

// The text's code points as separate strings, control characters as spaces.
std::vector<std::string> CodePoints(const std::string& text) {
    std::vector<std::string> out;
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const size_t n = std::min(SequenceLength(c), text.size() - i);
        out.push_back(c < 0x20 || c == 0x7F ? std::string(" ") : text.substr(i, n));
        i += n;
    }
    return out;
}

// "09:30 Dentist", or the subject alone on later days and for all-day
// events; short ("9:30 Dentist", "14 Review", "0:00 Party") in narrow boxes.
std::string Label(const Occurrence& o, long long day, bool narrow) {
    const long long start = DateToSeconds(o.start);
    if (o.allDay || DayOfSeconds(start) != day) return o.subject;
    const long long second = SecondOfDay(start);
    const long long hour = second / 3600, minute = second / 60 % 60;
    if (!narrow) return fmt::format("{:02}:{:02} {}", hour, minute, o.subject);
    // Midnight keeps its minutes: "0 Today" read as a count.
    if (minute == 0 && hour != 0) return fmt::format("{} {}", hour, o.subject);
    return fmt::format("{}:{:02} {}", hour, minute, o.subject);
}

// The lines of one day's box below its number, `lines` of them.
std::vector<std::string> DayLines(const std::vector<Occurrence>& events, long long day, size_t lines, bool narrow) {
    std::vector<std::string> out;
    if (lines == 0) return out;
    const bool overflow = events.size() > lines;
    const size_t shown = overflow ? lines - 1 : events.size();
    for (size_t i = 0; i < shown; ++i) out.push_back(Label(events[i], day, narrow));
    if (overflow) out.push_back(fmt::format("+{} more", events.size() - shown));
    out.resize(lines);
    return out;
}

// The boxes of days [first, first + count), placed in weeks from `lead`
// empty boxes on; the weekday header first.
std::string GridRows(long long first, int count, int lead, const std::vector<std::vector<Occurrence>>& byDay,
                     const GridStyle& style, size_t maxLines) {
    const size_t width = std::max<size_t>(style.cellWidth, 3);
    const bool narrow = width < 12;
    std::string border = "+";
    for (int i = 0; i < 7; ++i) border += std::string(width, '-') + "+";
    border += "\n";
    auto row = [&](const std::vector<std::string>& cells, int todayColumn) {
        std::string line = "|";
        for (size_t i = 0; i < cells.size(); ++i) {
            std::string cell = FitToWidth(cells[i], width);
            if (static_cast<int>(i) == todayColumn && style.markToday) cell = style.markToday(cell);
            line += cell + "|";
        }
        return line + "\n";
    };
    std::vector<std::string> names;
    for (int i = 0; i < 7; ++i) names.push_back(std::string(WeekdayName((style.weekStart + i) % 7)).substr(0, 3));
    std::string out = border + row(names, -1) + border;
    for (int weekFirst = -lead; weekFirst < count; weekFirst += 7) {
        size_t lines = 0;
        for (int d = std::max(weekFirst, 0); d < weekFirst + 7 && d < count; ++d)
            lines = std::max(lines, std::min(maxLines, byDay[static_cast<size_t>(d)].size()));
        std::vector<std::string> numbers;
        std::vector<std::vector<std::string>> boxes;
        int todayColumn = -1;
        for (int d = weekFirst; d < weekFirst + 7; ++d) {
            const bool inRange = d >= 0 && d < count;
            const long long day = first + d;
            std::string number = inRange ? std::to_string(CivilFromDay(day).day) : "";
            if (inRange && day == style.today) {
                number += " today";
                todayColumn = d - weekFirst;
            }
            numbers.push_back(number);
            boxes.push_back(inRange ? DayLines(byDay[static_cast<size_t>(d)], day, lines, narrow)
                                    : std::vector<std::string>(lines));
        }
        out += row(numbers, todayColumn);
        for (size_t l = 0; l < lines; ++l) {
            std::vector<std::string> cells;
            for (const auto& box : boxes) cells.push_back(box[l]);
            out += row(cells, -1);
        }
        out += border;
    }
    return out;
}

}  // namespace

std::string FitToWidth(const std::string& text, size_t width) {
    const std::vector<std::string> points = CodePoints(text);
    size_t total = 0;
    for (const auto& p : points) total += DisplayWidth(p);
    std::string out;
    size_t used = 0;
    if (total <= width) {
        for (const auto& p : points) out += p;
        used = total;
    } else if (width > 0) {
        // Room for the ellipsis; a wide character that would straddle the
        // edge is left out and the gap padded.
        for (const auto& p : points) {
            const size_t w = DisplayWidth(p);
            if (used + w > width - 1) break;
            out += p;
            used += w;
        }
        out += "\u2026";
        ++used;
    }
    return out + std::string(width - std::min(width, used), ' ');
}

size_t CellWidthFor(size_t columns) { return std::clamp<size_t>(columns > 8 ? (columns - 8) / 7 : 0, 10, 40); }

std::vector<std::vector<Occurrence>> OccurrencesByDay(int year, int month, const std::vector<Occurrence>& occurrences) {
    return OccurrencesByDays(DayFromCivil(year, month, 1), std::max(DaysInMonth(year, month), 0), occurrences);
}

std::vector<std::vector<Occurrence>> OccurrencesByDays(long long first, int length,
                                                       const std::vector<Occurrence>& occurrences) {
    std::vector<std::vector<Occurrence>> days(static_cast<size_t>(std::max(length, 0)));
    if (length <= 0) return days;
    for (const auto& o : occurrences) {
        const long long start = DateToSeconds(o.start);
        const long long end = std::max(start, DateToSeconds(o.end));
        // Days touched by [start, end); a zero-length event touches its start day.
        const long long firstDay = DayOfSeconds(start);
        const long long lastDay = end > start ? DayOfSeconds(end - 1) : firstDay;
        for (long long d = std::max(firstDay, first); d <= lastDay && d < first + length; ++d)
            days[static_cast<size_t>(d - first)].push_back(o);
    }
    for (auto& day : days)
        std::stable_sort(day.begin(), day.end(),
                         [](const Occurrence& a, const Occurrence& b) { return a.start < b.start; });
    return days;
}

std::string FormatMonthGrid(int year, int month, const std::vector<Occurrence>& occurrences, const GridStyle& style) {
    const int length = DaysInMonth(year, month);
    if (length <= 0) return "";
    const long long first = DayFromCivil(year, month, 1);
    const int lead = (WeekdayOfDay(first) - style.weekStart + 7) % 7;  // empty boxes before day 1
    return std::string(MonthName(month)) + " " + std::to_string(year) + "\n" +
           GridRows(first, length, lead, OccurrencesByDays(first, length, occurrences), style,
                    std::max<size_t>(style.maxLines, 1));
}

std::string FormatWeekGrid(long long firstDay, const std::vector<Occurrence>& occurrences, const GridStyle& style) {
    return GridRows(firstDay, 7, 0, OccurrencesByDays(firstDay, 7, occurrences), style,
                    std::max<size_t>(style.maxLines, 1));
}

}  // namespace calyra::calendar
