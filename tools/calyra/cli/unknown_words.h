// The first word of a command line that names no command or option where
// one is expected, and the name the person most likely meant: "unknown
// command 'lst'; did you mean 'list'?". The command line's own parser only
// says that a subcommand is required or that an argument was not
// expected, which leaves the reader guessing which word was wrong.
//
// Thread-safety: reads the command tree only.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <CLI/CLI.hpp>

namespace calyra::cli {

// The message for the first unknown word of argv[1..argc), or std::nullopt
// when every command and option word names something. Words after a
// command that takes no subcommands are its arguments and are not judged,
// apart from options.
std::optional<std::string> UnknownWord(const CLI::App& app, int argc, const char* const* argv);

// The candidate nearest to `word` (by edits, a prefix counting as near), or
// empty when none is near enough to suggest.
std::string Nearest(std::string_view word, const std::vector<std::string>& candidates);

}  // namespace calyra::cli
