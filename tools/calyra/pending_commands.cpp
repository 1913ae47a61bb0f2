// Command families still being written; each moves to its own file.
#include "command_context.h"

namespace calyra::cli {
void AddContactCommands(CLI::App&, CommandContext&) {}
void AddCalendarCommands(CLI::App&, CommandContext&) {}
void AddTaskCommands(CLI::App&, CommandContext&) {}
void AddSyncCommands(CLI::App&, CommandContext&) {}
void AddDemoCommand(CLI::App&, CommandContext&) {}
}  // namespace calyra::cli
