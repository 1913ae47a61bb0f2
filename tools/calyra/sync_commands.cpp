// sync, plays (being written).
#include "command_context.h"

namespace calyra::cli {
void AddSyncCommands(CLI::App&, CommandContext&) {}
}  // namespace calyra::cli
