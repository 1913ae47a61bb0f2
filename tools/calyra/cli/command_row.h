// A command as one row of a table: its name, its help, whether it only
// reads the file, the plain struct its options are read into, and the
// function that runs it. A family of commands is then a table of rows and a
// few named functions:
//
//   struct ShowOptions { std::string id; };
//   void DeclareShow(CLI::App& cmd, ShowOptions& o) { cmd.add_option("id", o.id, "Task ID")->required(); }
//   void RunShow(CommandContext& ctx, const ShowOptions& o) { ... }
//   constexpr CommandRow kTaskCommands[] = {
//       Row<ShowOptions, DeclareShow, RunShow>("show", "Show every field of a task", Access::Reads),
//   };
//
// Ownership: the options struct of every command added is made once and
// owned by the CommandContext, so CLI11 writes into it and the action reads
// it for the life of the run (nothing else holds it). Rows are constant.
// Thread-safety: one thread, like the command line.
#pragma once

#include <span>
#include <string>

#include <CLI/CLI.hpp>

#include "cli/command_context.h"

namespace calyra::cli {

struct CommandRow;

// Adds the row's command under `parent` and binds its action; Row() makes
// one per options struct.
using AddRowFunction = CLI::App* (*)(CLI::App& parent, CommandContext& ctx, const CommandRow& row);

struct CommandRow {
    const char* name;
    const char* help;
    Access access;
    AddRowFunction add;
};

// A command with no options of its own.
struct NoOptions {};

// Adds a command named `name` under `parent`: `declare` binds the options
// struct's members as the command's options and `run` is its action. The
// struct starts as `initial` (a family's description, say) and then belongs
// to `ctx`. Returns the new command.
template <class Options>
CLI::App* AddCommand(CLI::App& parent, CommandContext& ctx, const std::string& name, const std::string& help,
                     Access access, void (*declare)(CLI::App&, Options&), void (*run)(CommandContext&, const Options&),
                     Options initial = {}) {
    CLI::App* command = parent.add_subcommand(name, help);
    Options& options = ctx.own<Options>(std::move(initial));
    if (declare) declare(*command, options);
    ctx.bind(command, access, [&ctx, &options, run] { run(ctx, options); });
    return command;
}

template <class Options, void (*Declare)(CLI::App&, Options&), void (*Run)(CommandContext&, const Options&)>
CLI::App* AddRowOf(CLI::App& parent, CommandContext& ctx, const CommandRow& row) {
    return AddCommand<Options>(parent, ctx, row.name, row.help, row.access, Declare, Run);
}

template <class Options, void (*Declare)(CLI::App&, Options&), void (*Run)(CommandContext&, const Options&)>
constexpr CommandRow Row(const char* name, const char* help, Access access) {
    return CommandRow{name, help, access, &AddRowOf<Options, Declare, Run>};
}
// A command without options.
template <void (*Run)(CommandContext&, const NoOptions&)>
constexpr CommandRow Row(const char* name, const char* help, Access access) {
    return CommandRow{name, help, access, &AddRowOf<NoOptions, nullptr, Run>};
}

// Adds every row under `parent`, in order (the order of --help).
void AddRows(CLI::App& parent, CommandContext& ctx, std::span<const CommandRow> rows);

// A group of commands ("contacts"): its help, the text after its help
// (nullptr: none) and its rows; a group needs one of its commands.
struct CommandGroup {
    const char* name;
    const char* help;
    const char* footer;
    std::span<const CommandRow> rows;
};
// Adds the group and its rows under `parent`; returns the group, for
// commands added by hand.
CLI::App* AddGroup(CLI::App& parent, CommandContext& ctx, const CommandGroup& group);

}  // namespace calyra::cli
