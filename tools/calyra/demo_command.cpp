// demo (being written).
#include "command_context.h"

namespace calyra::cli {
void AddDemoCommand(CLI::App&, CommandContext&) {}
}  // namespace calyra::cli
