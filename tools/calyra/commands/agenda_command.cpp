// calyra agenda [WHEN] [--days N]: what is coming, day by day, on the
// user's wall clock: every occurrence from the day WHEN names (default
// today; "week": the week that holds today, from the user's first day of
// the week) for N days (default 7), repetitions expanded in their own
// zones, days without events left out. --json gives the days as data.
//
// The command's options live in shared values its action holds.
// Thread-safety: one thread, like the command line.
#include <memory>
#include <string>
#include <vector>

#include "cli/command_context.h"
#include "commands/calendar_view.h"
#include "commands/command_tree.h"
#include "session/client_error.h"
#include "session/user_time.h"

namespace calyra::cli {

void AddAgendaCommand(CLI::App& app, CommandContext& ctx) {
    auto* cmd = app.add_subcommand("agenda", "What is coming, day by day (default: 7 days from today)");
    auto when = std::make_shared<std::vector<std::string>>();
    auto days = std::make_shared<int>(7);
    cmd->add_option("when", *when, "The first day: today, tomorrow, week, 2027-03-05, \"next mon\", +2d");
    cmd->add_option("--days", *days, "How many days (default 7)")->check(CLI::Range(1, 3660));
    auto view = std::make_shared<ViewOptions>(cmd);
    ctx.bind(cmd, Access::Reads, [&ctx, when, days, view] {
        const UserTime user(ctx.settings);
        const bool week = when->size() == 1 && when->front() == "week";
        const long long first = week ? user.weekOf(user.today()) : ViewDay(user, *when, "agenda");
        const auto occurrences = view->occurrences(ctx, user, first, *days);
        ctx.out().text(DaysText(occurrences, user, first, *days, false),
                       DaysJson(occurrences, user, first, *days, false));
    });
}

}  // namespace calyra::cli
