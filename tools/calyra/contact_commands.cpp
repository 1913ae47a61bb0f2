// contacts, groups (being written).
#include "command_context.h"

namespace calyra::cli {
void AddContactCommands(CLI::App&, CommandContext&) {}
}  // namespace calyra::cli
