// groups list|add|edit|rm|members|join|leave: contact groups of the current
// profile and who is in them. Added by AddContactCommands.
//
// Thread-safety: one thread, as every command.
#pragma once

#include <CLI/CLI.hpp>

#include "command_context.h"

namespace calyra::cli {

void AddContactGroupCommands(CLI::App& app, CommandContext& ctx);

}  // namespace calyra::cli
