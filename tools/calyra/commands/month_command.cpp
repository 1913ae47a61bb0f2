// events month [YYYY-MM]: the month as a grid of weeks on the user's wall
// clock, recurring events expanded into the days they occur on (each in its
// own zone), exceptions in place of the occurrences they replace. --json
// gives the same days as data.
//
// Thread-safety: one thread, like the command line.
#include <cctype>
#include <memory>

#include <fmt/format.h>

#include "calendar/days.h"
#include "calendar/month_grid.h"
#include "cli/command_context.h"
#include "cli/command_row.h"
#include "commands/calendar_view.h"
#include "commands/command_tree.h"
#include "records/profile_events.h"
#include "session/client_error.h"
#include "session/user_time.h"

namespace calyra::cli {

using namespace calendar;

void ParseYearMonth(const std::string& text, int* year, int* month) {
    bool ok = text.size() == 7 && text[4] == '-';
    for (size_t i : {0, 1, 2, 3, 5, 6}) ok = ok && std::isdigit(static_cast<unsigned char>(text[i]));
    if (ok) {
        *year = std::stoi(text.substr(0, 4));
        *month = std::stoi(text.substr(5, 2));
        ok = *year >= 100 && *month >= 1 && *month <= 12;
    }
    if (!ok) throw ClientError("not a month: \"" + text + "\" (use YYYY-MM, e.g. 2027-03)", 2);
}

namespace month_command {

struct MonthOptions {
    std::string month;
    size_t cellWidth = 0;
    size_t lines = 3;
    ViewOptions view;
};

void DeclareMonth(CLI::App& cmd, MonthOptions& o) {
    cmd.add_option("month", o.month, "YYYY-MM");
    cmd.add_option("--cell-width", o.cellWidth, "Columns of a day's box (default: as the terminal allows, at least 10)")
        ->check(CLI::Range(3, 60));
    cmd.add_option("--lines", o.lines, "Event lines per week at most (default 3)")->check(CLI::Range(1, 20));
    o.view.add(cmd);
}

void RunMonth(CommandContext& ctx, const MonthOptions& o) {
    const UserTime user(ctx.settings);
    int year = 0, month = 0;
    if (o.month.empty()) {
        const CivilDay today = CivilFromDay(user.today());
        year = today.year;
        month = today.month;
    } else {
        ParseYearMonth(o.month, &year, &month);
    }
    const long long first = DayFromCivil(year, month, 1);
    const int length = DaysInMonth(year, month);
    const auto occurrences = o.view.occurrences(ctx, user, first, length);
    std::vector<Occurrence> wall;
    for (const auto& occurrence : occurrences) wall.push_back(OnWallClock(occurrence, user.zone()));
    Json data = DaysJson(occurrences, user, first, length, true);
    data["month"] = fmt::format("{:04}-{:02}", year, month);
    ctx.out().text(FormatMonthGrid(year, month, wall, GridStyleFor(user, o.cellWidth, o.lines, ctx.out())), data);
}

constexpr CommandRow kMonth[] = {
    Row<MonthOptions, DeclareMonth, RunMonth>("month", "Show a month as a grid of weeks (default: this month)",
                                              Access::Reads),
};

}  // namespace month_command

void AddMonthCommand(CLI::App& events, CommandContext& ctx) {
    AddRows(events, ctx, month_command::kMonth);
    AddWeekAndDayCommands(events, ctx);
}

}  // namespace calyra::cli
