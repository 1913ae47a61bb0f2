// events week [DATE] and events day [DATE]: the week that holds the day
// (from the user's first day of the week) as a row of seven boxes, and
// one day as a list of times and subjects; both on the user's wall clock,
// repetitions expanded in their own zones. --json gives the days as data.
//
// The commands' options live in shared values their actions hold.
// Thread-safety: one thread, like the command line.
#include <memory>
#include <string>
#include <vector>

#include "calendar/days.h"
#include "calendar/month_grid.h"
#include "cli/command_context.h"
#include "commands/calendar_view.h"
#include "records/profile_events.h"
#include "session/user_time.h"

namespace calyra::cli {

using namespace calendar;

void AddWeekAndDayCommands(CLI::App& events, CommandContext& ctx) {
    auto* week = events.add_subcommand("week", "Show a week as a row of days (default: this week)");
    auto weekDay = std::make_shared<std::vector<std::string>>();
    auto cellWidth = std::make_shared<size_t>(0);
    week->add_option("date", *weekDay, "A day of the week to show, e.g. 2027-03-05, today, \"next mon\"");
    week->add_option("--cell-width", *cellWidth, "Columns of a day's box (default: as the terminal allows)")
        ->check(CLI::Range(3, 60));
    auto weekView = std::make_shared<ViewOptions>(week);
    ctx.bind(week, Access::Reads, [&ctx, weekDay, cellWidth, weekView] {
        const UserTime user(ctx.settings);
        const long long first = user.weekOf(ViewDay(user, *weekDay, "events week"));
        const auto occurrences = weekView->occurrences(ctx, user, first, 7);
        std::vector<Occurrence> wall;
        for (const auto& o : occurrences) wall.push_back(OnWallClock(o, user.zone()));
        const std::string title = "Week of " + user.showDay(first) + " (" + user.zone().name() + ")\n";
        ctx.out().text(title + FormatWeekGrid(first, wall, GridStyleFor(user, *cellWidth, 20, ctx.out())),
                       DaysJson(occurrences, user, first, 7, true));
    });

    auto* day = events.add_subcommand("day", "Show one day's events with their times (default: today)");
    auto which = std::make_shared<std::vector<std::string>>();
    day->add_option("date", *which, "The day, e.g. 2027-03-05, tomorrow, fri");
    auto dayView = std::make_shared<ViewOptions>(day);
    ctx.bind(day, Access::Reads, [&ctx, which, dayView] {
        const UserTime user(ctx.settings);
        const long long shown = ViewDay(user, *which, "events day");
        const auto occurrences = dayView->occurrences(ctx, user, shown, 1);
        ctx.out().text(DaysText(occurrences, user, shown, 1, true), DaysJson(occurrences, user, shown, 1, true));
    });
}

}  // namespace calyra::cli
