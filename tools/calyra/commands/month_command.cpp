// events month [YYYY-MM]: the month as a grid of weeks on the user's wall
// clock, recurring events expanded into the days they occur on (each in its
// own zone), exceptions in place of the occurrences they replace. --json
// gives the same days as data.
//
// The command's options live in shared values its action holds.
// Thread-safety: one thread, like the command line.
#include <cctype>
#include <memory>

#include <fmt/format.h>

#include "calendar/days.h"
#include "calendar/month_grid.h"
#include "cli/command_context.h"
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

void AddMonthCommand(CLI::App& events, CommandContext& ctx) {
    auto* cmd = events.add_subcommand("month", "Show a month as a grid of weeks (default: this month)");
    auto which = std::make_shared<std::string>();
    auto cellWidth = std::make_shared<size_t>(0);
    auto lines = std::make_shared<size_t>(3);
    cmd->add_option("month", *which, "YYYY-MM");
    cmd->add_option("--cell-width", *cellWidth, "Columns of a day's box (default: as the terminal allows, at least 10)")
        ->check(CLI::Range(3, 60));
    cmd->add_option("--lines", *lines, "Event lines per week at most (default 3)")->check(CLI::Range(1, 20));
    auto view = std::make_shared<ViewOptions>(cmd);
    ctx.bind(cmd, Access::Reads, [&ctx, which, cellWidth, lines, view] {
        const UserTime user(ctx.settings);
        int year = 0, month = 0;
        if (which->empty()) {
            const CivilDay today = CivilFromDay(user.today());
            year = today.year;
            month = today.month;
        } else {
            ParseYearMonth(*which, &year, &month);
        }
        const long long first = DayFromCivil(year, month, 1);
        const int length = DaysInMonth(year, month);
        const auto occurrences = view->occurrences(ctx, user, first, length);
        std::vector<Occurrence> wall;
        for (const auto& o : occurrences) wall.push_back(OnWallClock(o, user.zone()));
        Json data = DaysJson(occurrences, user, first, length, true);
        data["month"] = fmt::format("{:04}-{:02}", year, month);
        ctx.out().text(FormatMonthGrid(year, month, wall, GridStyleFor(user, *cellWidth, *lines, ctx.out())), data);
    });
    AddWeekAndDayCommands(events, ctx);
}

}  // namespace calyra::cli
