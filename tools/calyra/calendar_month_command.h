// events month [YYYY-MM]: the month as a grid of weeks, recurring events
// expanded into the days they occur on, exceptions in place of the
// occurrences they replace. --json gives the same days as data.
//
// The command's options live in shared values its action holds.
// Thread-safety: one thread, like the command line.
#pragma once

#include <CLI/CLI.hpp>

#include "command_context.h"

namespace calyra::cli {

// Adds "month" to the events group.
void AddMonthCommand(CLI::App* events, CommandContext& ctx);

// "2026-12" -> year and month; throws ClientError (status 2) otherwise.
void ParseYearMonth(const std::string& text, int* year, int* month);

}  // namespace calyra::cli
