// The command tree: every command family of the client, in one table.
#include "commands/command_tree.h"

#include <stdexcept>
#include <string>

namespace calyra::cli {
namespace {

struct CommandFamily {
    // nullptr: a top-level group; else the group the commands go under,
    // which a row above adds (the only order the table depends on).
    const char* parent;
    const char* commands;  // what the row adds, as people type it
    void (*add)(CLI::App& parent, CommandContext& ctx);
};

// The order of the rows is the order of --help.
constexpr CommandFamily kCommandTree[] = {
    {nullptr, "init, info, check, sql", AddInfoCommands},
    {nullptr, "config|config set|config unset", AddConfigCommands},
    {nullptr, "profiles list|add|edit|rm|use", AddProfileCommands},
    {nullptr, "contacts list|find|show|add|edit|rm|clear|<details> rm", AddContactCommands},
    {nullptr, "groups list|add|edit|rm|members|join|leave", AddContactGroupCommands},
    {nullptr, "events list|show|add|edit|rm|exceptions", AddEventCommands},
    {"events", "events month|week|day", AddMonthCommand},
    {nullptr, "agenda", AddAgendaCommand},
    {nullptr, "categories list|show|add|edit|select|deselect|rm", AddCategoryCommands},
    {nullptr, "tasks list|show|add|edit|done|rm", AddTaskCommands},
    {nullptr, "sync options|albums|synced-albums|synced-podcasts", AddSyncCommands},
    {"sync", "sync [NAME]|accounts|collections|bind (CardDAV)", AddDavSyncCommands},
    {nullptr, "plays record|top", AddPlayCommands},
    {nullptr, "demo", AddDemoCommand},
    {"contacts", "contacts import|export (vCard)", AddContactImportExport},
    {"events", "events import|export (iCalendar)", AddEventImportExport},
    {"tasks", "tasks import|export (iCalendar)", AddTaskImportExport},
    {nullptr, "completion, manpage", AddShellIntegrationCommands},
};

CLI::App& ParentOf(CLI::App& app, const CommandFamily& family) {
    if (!family.parent) return app;
    for (CLI::App* sub : app.get_subcommands({}))
        if (sub->get_name() == family.parent) return *sub;
    throw std::logic_error(std::string("command tree: \"") + family.commands + "\" comes before its group " +
                           family.parent);
}

}  // namespace

void AddCommandTree(CLI::App& app, CommandContext& ctx) {
    for (const CommandFamily& family : kCommandTree) family.add(ParentOf(app, family), ctx);
}

}  // namespace calyra::cli
