// config: the settings the client runs with and where each came from, and
// the one place that changes the config file.
#include "cli/command_context.h"
#include "cli/command_row.h"
#include "commands/command_tree.h"
#include "session/client_error.h"
#include "session/settings.h"

namespace calyra::cli {
// Named, not anonymous: the commands library is compiled a few files at a
// time, and each family has its own AddOptions, RunAdd, ...
namespace config_commands {

std::string KeyList() {
    std::string out;
    for (const auto& key : Settings::Keys()) out += (out.empty() ? "" : ", ") + key;
    return out;
}

void RunConfig(CommandContext& ctx, const NoOptions&) {
    ctx.out().list(ctx.settings.json(), {"setting", "value", "source"});
}

struct SetOptions {
    std::string key;
    std::string value;
};

void DeclareSet(CLI::App& set, SetOptions& o) {
    set.add_option("key", o.key, "The setting")->required();
    set.add_option("value", o.value, "Its value")->required();
}

void RunSet(CommandContext& ctx, const SetOptions& o) {
    if (o.value.empty()) throw ClientError("an empty value: use 'calyra config unset " + o.key + "'", 2);
    const auto file = Settings::DefaultFile();
    Settings::Store(file, o.key, o.value);
    ctx.out().done(o.key + " = \"" + o.value + "\" in " + file.string(),
                   Json{{"setting", o.key}, {"value", o.value}, {"file", file.string()}});
}

struct UnsetOptions {
    std::string key;
};

void DeclareUnset(CLI::App& unset, UnsetOptions& o) { unset.add_option("key", o.key, "The setting")->required(); }

void RunUnset(CommandContext& ctx, const UnsetOptions& o) {
    const auto file = Settings::DefaultFile();
    Settings::Store(file, o.key, "");
    ctx.out().done("removed " + o.key + " from " + file.string(), Json{{"setting", o.key}, {"file", file.string()}});
}

}  // namespace config_commands

// `config` alone shows the settings; its subcommands change the file. The
// help of `set` lists the keys, so it is made when the program starts.
void AddConfigCommands(CLI::App& app, CommandContext& ctx) {
    CLI::App* config =
        AddCommand<NoOptions>(app, ctx, "config", "Show the settings and where each comes from; set or unset one",
                              Access::Writes, nullptr, config_commands::RunConfig);
    AddCommand<config_commands::SetOptions>(*config, ctx, "set",
                                            "Store a setting in the config file (" + config_commands::KeyList() + ")",
                                            Access::Writes, config_commands::DeclareSet, config_commands::RunSet);
    AddCommand<config_commands::UnsetOptions>(*config, ctx, "unset", "Remove a setting from the config file",
                                              Access::Writes, config_commands::DeclareUnset, config_commands::RunUnset);
}

}  // namespace calyra::cli
