// The play statistics commands: plays record and plays top, for music files
// and (with --podcast) podcast episodes. The two kinds follow one pattern,
// written once and driven by a small description per record type.
//
// Ownership: the commands hold only the shared option values CLI11 fills.
// Thread-safety: one thread, like the rest of the command line.
#pragma once

#include <CLI/CLI.hpp>

#include "command_context.h"

namespace calyra::cli {

// The top list is limited by the component to 1..99 entries.
constexpr LONG kMinTopPlays = 1;
constexpr LONG kMaxTopPlays = 99;

void AddPlayCommands(CLI::App& app, CommandContext& ctx);

}  // namespace calyra::cli
