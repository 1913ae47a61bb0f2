// categories list|add|edit|select|deselect|rm: the user's own event
// categories, whose "selected" flag decides what `events list --selected`
// shows.
//
// The commands' options live in shared values their actions hold.
// Thread-safety: one thread, like the command line.
#pragma once

#include <CLI/CLI.hpp>

#include "command_context.h"

namespace calyra::cli {

void AddCategoryCommands(CLI::App& app, CommandContext& ctx);

}  // namespace calyra::cli
