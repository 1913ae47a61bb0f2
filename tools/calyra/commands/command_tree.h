// The whole command line of the client, as one table (command_tree.cpp):
// each row a command family, the group it goes under, and the function
// that adds it. The functions are declared here and defined in one file per
// family in this folder.
//
// Every adding function takes the CLI11 node its commands go under (the
// application for the top-level groups) and adds its family's table of
// command rows (cli/command_row.h) there. Thread-safety: one thread, like the command line.
#pragma once

#include <CLI/CLI.hpp>

#include "cli/command_context.h"

namespace calyra::cli {

// Adds every command family to `app`, in the table's order (which is also
// the order --help lists them in).
void AddCommandTree(CLI::App& app, CommandContext& ctx);

void AddInfoCommands(CLI::App& app, CommandContext& ctx);
void AddConfigCommands(CLI::App& app, CommandContext& ctx);
void AddProfileCommands(CLI::App& app, CommandContext& ctx);
void AddContactCommands(CLI::App& app, CommandContext& ctx);
void AddContactGroupCommands(CLI::App& app, CommandContext& ctx);
void AddEventCommands(CLI::App& app, CommandContext& ctx);
void AddMonthCommand(CLI::App& events, CommandContext& ctx);
void AddAgendaCommand(CLI::App& app, CommandContext& ctx);
void AddCategoryCommands(CLI::App& app, CommandContext& ctx);
void AddTaskCommands(CLI::App& app, CommandContext& ctx);
void AddSyncCommands(CLI::App& app, CommandContext& ctx);
void AddDavSyncCommands(CLI::App& sync, CommandContext& ctx);
void AddPlayCommands(CLI::App& app, CommandContext& ctx);
void AddDemoCommand(CLI::App& app, CommandContext& ctx);
void AddContactImportExport(CLI::App& contacts, CommandContext& ctx);
void AddEventImportExport(CLI::App& events, CommandContext& ctx);
void AddTaskImportExport(CLI::App& tasks, CommandContext& ctx);
// Reads the whole tree, so it is the last row.
void AddShellIntegrationCommands(CLI::App& app, CommandContext& ctx);

}  // namespace calyra::cli
