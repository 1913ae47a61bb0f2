// events week [DATE] and events day [DATE]: the week that holds the day
// (from the user's first day of the week) as a row of seven boxes, and
// one day as a list of times and subjects; both on the user's wall clock,
// repetitions expanded in their own zones. --json gives the days as data.
//
// Thread-safety: one thread, like the command line.
#include <memory>
#include <string>
#include <vector>

#include "calendar/days.h"
#include "calendar/month_grid.h"
#include "cli/command_context.h"
#include "cli/command_row.h"
#include "commands/calendar_view.h"
#include "records/profile_events.h"
#include "session/user_time.h"

namespace calyra::cli {

using namespace calendar;

namespace view_commands {

struct WeekOptions {
    std::vector<std::string> day;
    size_t cellWidth = 0;
    ViewOptions view;
};

void DeclareWeek(CLI::App& week, WeekOptions& o) {
    week.add_option("date", o.day, "A day of the week to show, e.g. 2027-03-05, today, \"next mon\"");
    week.add_option("--cell-width", o.cellWidth, "Columns of a day's box (default: as the terminal allows)")
        ->check(CLI::Range(3, 60));
    o.view.add(week);
}

void RunWeek(CommandContext& ctx, const WeekOptions& o) {
    const UserTime user(ctx.settings);
    const long long first = user.weekOf(ViewDay(user, o.day, "events week"));
    const auto occurrences = o.view.occurrences(ctx, user, first, 7);
    std::vector<Occurrence> wall;
    for (const auto& occurrence : occurrences) wall.push_back(OnWallClock(occurrence, user.zone()));
    const std::string title = "Week of " + user.showDay(first) + " (" + user.zone().name() + ")\n";
    ctx.out().text(title + FormatWeekGrid(first, wall, GridStyleFor(user, o.cellWidth, 20, ctx.out())),
                   DaysJson(occurrences, user, first, 7, true));
}

struct DayOptions {
    std::vector<std::string> day;
    ViewOptions view;
};

void DeclareDay(CLI::App& day, DayOptions& o) {
    day.add_option("date", o.day, "The day, e.g. 2027-03-05, tomorrow, fri");
    o.view.add(day);
}

void RunDay(CommandContext& ctx, const DayOptions& o) {
    const UserTime user(ctx.settings);
    const long long shown = ViewDay(user, o.day, "events day");
    const auto occurrences = o.view.occurrences(ctx, user, shown, 1);
    ctx.out().text(DaysText(occurrences, user, shown, 1, true), DaysJson(occurrences, user, shown, 1, true));
}

constexpr CommandRow kWeekAndDay[] = {
    Row<WeekOptions, DeclareWeek, RunWeek>("week", "Show a week as a row of days (default: this week)", Access::Reads),
    Row<DayOptions, DeclareDay, RunDay>("day", "Show one day's events with their times (default: today)",
                                        Access::Reads),
};

}  // namespace view_commands

void AddWeekAndDayCommands(CLI::App& events, CommandContext& ctx) { AddRows(events, ctx, view_commands::kWeekAndDay); }

}  // namespace calyra::cli
