// tasks (being written).
#include "command_context.h"

namespace calyra::cli {
void AddTaskCommands(CLI::App&, CommandContext&) {}
}  // namespace calyra::cli
