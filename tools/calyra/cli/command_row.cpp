#include "cli/command_row.h"

namespace calyra::cli {

void AddRows(CLI::App& parent, CommandContext& ctx, std::span<const CommandRow> rows) {
    for (const CommandRow& row : rows) row.add(parent, ctx, row);
}

CLI::App* AddGroup(CLI::App& parent, CommandContext& ctx, const CommandGroup& group) {
    CLI::App* app = parent.add_subcommand(group.name, group.help);
    if (group.footer) app->footer(group.footer);
    app->require_subcommand(1);
    AddRows(*app, ctx, group.rows);
    return app;
}

}  // namespace calyra::cli
