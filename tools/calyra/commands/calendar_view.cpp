#include "commands/calendar_view.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdlib>

#include <fmt/format.h>

#include "calendar/days.h"
#include "records/event_records.h"
#include "records/profile_events.h"
#include "session/record_id.h"

namespace calyra::cli {

using namespace calendar;
namespace {

size_t TerminalColumns() {
    if (const char* columns = std::getenv("COLUMNS"); columns && *columns) {
        char* end = nullptr;
        const long n = std::strtol(columns, &end, 10);
        if (*end == '\0' && n > 0) return static_cast<size_t>(n);
    }
    winsize size{};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return 80;
}

// "09:30–10:00", "all day"; "…" for an end or start on another day.
std::string TimeLabel(const Occurrence& wall, long long day) {
    if (wall.allDay) return "all day";
    const long long start = DateToSeconds(wall.start), end = DateToSeconds(wall.end);
    const auto clock = [](long long seconds) {
        const long long s = SecondOfDay(seconds);
        return fmt::format("{:02}:{:02}", s / 3600, s / 60 % 60);
    };
    const std::string from = DayOfSeconds(start) == day ? clock(start) : "…";
    const std::string to = end > start && DayOfSeconds(end - 1) > day ? "…" : clock(end);
    return from + "–" + to;
}

}  // namespace

void ViewOptions::add(CLI::App& command) {
    auto* byCategory = command.add_option("--category", m_category, "Only events of this category (ID or name)");
    command.add_flag("--selected", m_selected, "Only events of the selected categories")->excludes(byCategory);
}

std::vector<Occurrence> ViewOptions::occurrences(CommandContext& ctx, const UserTime& user, long long firstDay,
                                                 int count) const {
    const DATE from = SecondsToDate(firstDay * kSecondsPerDay);
    const DATE to = SecondsToDate((firstDay + count) * kSecondsPerDay - 1);
    const auto keep = CategoryFilter(ctx.session(), m_category, m_selected);
    // The masters that can occur in the days and every exception, in two
    // queries; the rules are expanded here.
    const ProfileEvents stored(ctx.session(), ReadRangeFor(from, to, user.zone()));
    return stored.occurrences(from, to, user.zone(), keep);
}

std::vector<std::vector<Occurrence>> ByWallDay(const std::vector<Occurrence>& occurrences, const UserTime& user,
                                               long long firstDay, int count) {
    std::vector<Occurrence> wall;
    wall.reserve(occurrences.size());
    for (const auto& o : occurrences) wall.push_back(OnWallClock(o, user.zone()));
    return OccurrencesByDays(firstDay, count, wall);
}

Json DaysJson(const std::vector<Occurrence>& occurrences, const UserTime& user, long long firstDay, int count,
              bool empty) {
    // The days are laid out as the text lays them out (in wall time); each
    // wall copy carries its index in `occurrences` in its event ID, so the
    // JSON is written from the UTC original (a wall time in the repeated
    // hour of a clock change names two moments).
    std::vector<Occurrence> byIndex = occurrences;
    for (size_t i = 0; i < byIndex.size(); ++i) byIndex[i].eventId = std::to_string(i);
    const auto days = ByWallDay(byIndex, user, firstDay, count);
    const auto dayText = [](long long day) { return FormatIsoDay(SecondsToDate(day * kSecondsPerDay)); };
    Json out = Json::array();
    for (int i = 0; i < count; ++i) {
        if (!empty && days[static_cast<size_t>(i)].empty()) continue;
        Json events = Json::array();
        for (const auto& o : days[static_cast<size_t>(i)])
            events.push_back(OccurrenceJson(occurrences[std::stoul(o.eventId)], user));
        out.push_back(Json{{"date", dayText(firstDay + i)}, {"events", std::move(events)}});
    }
    return Json{{"time_zone", user.zone().name()},
                {"from", dayText(firstDay)},
                {"to", dayText(firstDay + count - 1)},
                {"days", std::move(out)}};
}

std::string DaysText(const std::vector<Occurrence>& occurrences, const UserTime& user, long long firstDay, int count,
                     bool empty) {
    const auto days = ByWallDay(occurrences, user, firstDay, count);
    std::string out;
    for (int i = 0; i < count; ++i) {
        const auto& day = days[static_cast<size_t>(i)];
        if (!empty && day.empty()) continue;
        out += user.showDay(firstDay + i) + (firstDay + i == user.today() ? "  (today)" : "") + "\n";
        if (day.empty()) out += "  nothing\n";
        for (const auto& o : day)
            out +=
                fmt::format("  {:<12} {}{}\n", TimeLabel(o, firstDay + i), o.subject, o.exception ? "  (changed)" : "");
    }
    if (out.empty())
        out = "nothing from " + user.showDay(firstDay) + " to " + user.showDay(firstDay + count - 1) + "\n";
    return out;
}

GridStyle GridStyleFor(const UserTime& user, size_t cellWidth, size_t maxLines, const Output& out) {
    GridStyle style;
    style.cellWidth = cellWidth != 0 ? cellWidth : CellWidthFor(TerminalColumns());
    style.maxLines = maxLines;
    style.weekStart = user.weekStart();
    style.today = user.today();
    style.markToday = [&out](const std::string& cell) { return out.paint(cell, Style::Today); };
    return style;
}

long long ViewDay(const UserTime& user, const std::vector<std::string>& words, const std::string& what) {
    if (words.empty()) return user.today();
    std::string text;
    for (const auto& w : words) text += (text.empty() ? "" : " ") + w;
    return DayOfDate(user.read(text, what, true).date);
}

}  // namespace calyra::cli
