// RunClient: the calyra program as a function, so the program, the demo
// (which runs commands of its own) and the tests run the same code.
//
// Thread-safety: one call at a time per process; it owns everything it
// makes for the length of the call.
#pragma once

#include <iosfwd>

namespace calyra::cli {

// Builds the whole command line (commands/command_tree.h) and runs it;
// returns the exit status. Failures are written to `err` (standard error
// when NULL) as one line "calyra: <reason>".
int RunClient(int argc, const char* const* argv, std::ostream* out = nullptr, std::ostream* err = nullptr);

}  // namespace calyra::cli
