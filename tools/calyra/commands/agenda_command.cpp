// calyra agenda [WHEN] [--days N]: what is coming, day by day, on the
// user's wall clock: every occurrence from the day WHEN names (default
// today; "week": the week that holds today, from the user's first day of
// the week) for N days (default 7), repetitions expanded in their own
// zones, days without events left out. --json gives the days as data.
//
// Thread-safety: one thread, like the command line.
#include <memory>
#include <string>
#include <vector>

#include "cli/command_context.h"
#include "cli/command_row.h"
#include "commands/calendar_view.h"
#include "commands/command_tree.h"
#include "session/client_error.h"
#include "session/user_time.h"

namespace calyra::cli {

// Named, not anonymous: the commands library is compiled a few files at a
// time, and each family has its own AddOptions, RunAdd, ...
namespace agenda_command {

struct AgendaOptions {
    std::vector<std::string> when;
    int days = 7;
    ViewOptions view;
};

void DeclareAgenda(CLI::App& cmd, AgendaOptions& o) {
    cmd.add_option("when", o.when, "The first day: today, tomorrow, week, 2027-03-05, \"next mon\", +2d");
    cmd.add_option("--days", o.days, "How many days (default 7)")->check(CLI::Range(1, 3660));
    o.view.add(cmd);
}

void RunAgenda(CommandContext& ctx, const AgendaOptions& o) {
    const UserTime user(ctx.settings);
    const bool week = o.when.size() == 1 && o.when.front() == "week";
    const long long first = week ? user.weekOf(user.today()) : ViewDay(user, o.when, "agenda");
    const auto occurrences = o.view.occurrences(ctx, user, first, o.days);
    ctx.out().text(DaysText(occurrences, user, first, o.days, false),
                   DaysJson(occurrences, user, first, o.days, false));
}

constexpr CommandRow kAgenda[] = {
    Row<AgendaOptions, DeclareAgenda, RunAgenda>("agenda", "What is coming, day by day (default: 7 days from today)",
                                                 Access::Reads),
};

}  // namespace agenda_command

void AddAgendaCommand(CLI::App& app, CommandContext& ctx) { AddRows(app, ctx, agenda_command::kAgenda); }

}  // namespace calyra::cli
