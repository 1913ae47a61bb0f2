// events, categories (being written).
#include "command_context.h"

namespace calyra::cli {
void AddCalendarCommands(CLI::App&, CommandContext&) {}
}  // namespace calyra::cli
