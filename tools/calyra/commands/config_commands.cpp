// config: the settings the client runs with and where each came from, and
// the one place that changes the config file.
#include "cli/command_context.h"
#include "commands/command_tree.h"
#include "session/client_error.h"
#include "session/settings.h"

namespace calyra::cli {
namespace {

std::string KeyList() {
    std::string out;
    for (const auto& key : Settings::Keys()) out += (out.empty() ? "" : ", ") + key;
    return out;
}

}  // namespace

void AddConfigCommands(CLI::App& app, CommandContext& ctx) {
    auto* config = app.add_subcommand("config", "Show the settings and where each comes from; set or unset one");
    ctx.bind(config, Access::Writes, [&ctx] { ctx.out().list(ctx.settings.json(), {"setting", "value", "source"}); });

    auto* set = config->add_subcommand("set", "Store a setting in the config file (" + KeyList() + ")");
    auto key = std::make_shared<std::string>(), value = std::make_shared<std::string>();
    set->add_option("key", *key, "The setting")->required();
    set->add_option("value", *value, "Its value")->required();
    ctx.bind(set, Access::Writes, [&ctx, key, value] {
        if (value->empty()) throw ClientError("an empty value: use 'calyra config unset " + *key + "'", 2);
        const auto file = Settings::DefaultFile();
        Settings::Store(file, *key, *value);
        ctx.out().done(*key + " = \"" + *value + "\" in " + file.string(),
                       Json{{"setting", *key}, {"value", *value}, {"file", file.string()}});
    });

    auto* unset = config->add_subcommand("unset", "Remove a setting from the config file");
    auto unsetKey = std::make_shared<std::string>();
    unset->add_option("key", *unsetKey, "The setting")->required();
    ctx.bind(unset, Access::Writes, [&ctx, unsetKey] {
        const auto file = Settings::DefaultFile();
        Settings::Store(file, *unsetKey, "");
        ctx.out().done("removed " + *unsetKey + " from " + file.string(),
                       Json{{"setting", *unsetKey}, {"file", file.string()}});
    });
}

}  // namespace calyra::cli
