// contacts/events/tasks import and export (being written).
#include "command_context.h"

namespace calyra::cli {
void AddInterchangeCommands(CLI::App&, CommandContext&) {}
}  // namespace calyra::cli
