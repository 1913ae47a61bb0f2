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

// "09:30 Dentist", or the subject alone on later days and for all-day events.
std::string Label(const Occurrence& o, long long day) {
    const long long start = DateToSeconds(o.start);
    if (o.allDay || DayOfSeconds(start) != day) return o.subject;
    const long long second = SecondOfDay(start);
    return fmt::format("{:02}:{:02} {}", second / 3600, second / 60 % 60, o.subject);
}

// The lines of one day's box below its number, `lines` of them.
std::vector<std::string> DayLines(const std::vector<Occurrence>& events, long long day, size_t lines) {
    std::vector<std::string> out;
    if (lines == 0) return out;
    const bool overflow = events.size() > lines;
    const size_t shown = overflow ? lines - 1 : events.size();
    for (size_t i = 0; i < shown; ++i) out.push_back(Label(events[i], day));
    if (overflow) out.push_back(fmt::format("+{} more", events.size() - shown));
    out.resize(lines);
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

std::vector<std::vector<Occurrence>> OccurrencesByDay(int year, int month, const std::vector<Occurrence>& occurrences) {
    const int length = DaysInMonth(year, month);
    std::vector<std::vector<Occurrence>> days(static_cast<size_t>(std::max(length, 0)));
    if (length <= 0) return days;
    const long long first = DayFromCivil(year, month, 1);
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
    const size_t width = std::max<size_t>(style.cellWidth, 3);
    const size_t maxLines = std::max<size_t>(style.maxLines, 1);
    const int length = DaysInMonth(year, month);
    if (length <= 0) return "";
    const auto byDay = OccurrencesByDay(year, month, occurrences);
    const long long first = DayFromCivil(year, month, 1);
    const int lead = (WeekdayOfDay(first) + 6) % 7;  // empty boxes before day 1 (weeks start on Monday)

    std::string border = "+";
    for (int i = 0; i < 7; ++i) border += std::string(width, '-') + "+";
    border += "\n";
    auto row = [&](const std::vector<std::string>& cells) {
        std::string line = "|";
        for (const auto& c : cells) line += FitToWidth(c, width) + "|";
        return line + "\n";
    };

    std::string out = std::string(MonthName(month)) + " " + std::to_string(year) + "\n" + border;
    std::vector<std::string> names;
    for (int i = 1; i <= 7; ++i) names.push_back(std::string(WeekdayName(i % 7)).substr(0, 3));
    out += row(names) + border;

    for (int weekStart = 1 - lead; weekStart <= length; weekStart += 7) {
        size_t lines = 0;
        for (int d = weekStart; d < weekStart + 7; ++d)
            if (d >= 1 && d <= length) lines = std::max(lines, std::min(maxLines, byDay[d - 1].size()));
        std::vector<std::string> numbers;
        std::vector<std::vector<std::string>> boxes;
        for (int d = weekStart; d < weekStart + 7; ++d) {
            const bool inMonth = d >= 1 && d <= length;
            numbers.push_back(inMonth ? std::to_string(d) : "");
            boxes.push_back(inMonth ? DayLines(byDay[d - 1], first + d - 1, lines) : std::vector<std::string>(lines));
        }
        out += row(numbers);
        for (size_t l = 0; l < lines; ++l) {
            std::vector<std::string> cells;
            for (const auto& box : boxes) cells.push_back(box[l]);
            out += row(cells);
        }
        out += border;
    }
    return out;
}

}  // namespace calyra::calendar
