// sync accounts add|list|rm, sync collections, sync bind, and `sync [NAME]`
// itself: two-way sync of the current profile's contacts with the
// CardDAV address book an account binds it to, and of its events and tasks
// with the CalDAV calendars and task lists it binds.
//
// These commands join the sync settings family (sync_commands.cpp); an
// account may not take the name of one of its words.
#include <fmt/format.h>

#include <filesystem>
#include <set>

#include "cli/command_context.h"
#include "cli/command_row.h"
#include "commands/command_tree.h"
#include "dav/dav_error.h"
#include "dav/url.h"
#include "import_export/import_progress.h"
#include "platform/utf8.h"
#include "session/client_error.h"
#include "session/transaction.h"
#include "sync/accounts.h"
#include "sync/calendar_target.h"
#include "sync/contact_target.h"
#include "sync/dav_account.h"
#include "sync/sync_engine.h"
#include "sync/sync_state.h"

namespace calyra::cli {
namespace dav_sync_commands {

using sync::Account;
using sync::AccountStore;

AccountStore LoadAccounts() { return AccountStore::Load(AccountStore::DefaultFile()); }

const Account& NamedAccount(const AccountStore& store, const std::string& name) {
    const Account* account = store.find(name);
    if (!account) throw ClientError("no account named " + name + " (see `calyra sync accounts list`)", 1);
    return *account;
}

// ---- accounts ----

struct AddOptions {
    std::string name, url, user, passwordCommand;
    bool allowInsecure = false;
};

void DeclareAdd(CLI::App& cmd, AddOptions& o) {
    cmd.add_option("name", o.name, "Name of the account (letters, digits, - and _)")->required();
    cmd.add_option("--url", o.url, "The server, a principal or a collection home (https)")->required();
    cmd.add_option("--user", o.user, "User name on the server")->required();
    cmd.add_option("--password-command", o.passwordCommand,
                   "Command that prints the password (run by /bin/sh each sync); without it the password is asked "
                   "on the terminal. The password itself is never stored");
    cmd.add_flag("--allow-insecure", o.allowInsecure,
                 "Allow plain http to a host other than this machine (the password then crosses the network in "
                 "clear)");
}

void RunAdd(CommandContext& ctx, const AddOptions& o) {
    sync::CheckAccountName(o.name);
    try {
        dav::ResolveUrl(o.url, o.url);
        dav::CheckUrlAllowed(o.url, o.allowInsecure);
    } catch (const dav::DavError& e) {
        throw ClientError(std::string("--url: ") + e.what(), 2);
    }
    AccountStore store = LoadAccounts();
    store.add({o.name, o.url, o.user, o.passwordCommand, o.allowInsecure, {}});
    store.save();
    ctx.out().done("added account " + o.name, {{"name", o.name}});
}

void RunList(CommandContext& ctx, const NoOptions&) {
    Json rows = Json::array();
    const AccountStore store = LoadAccounts();
    for (const Account& a : store.accounts()) {
        Json bindings = Json::array();
        for (const auto& b : a.bindings)
            bindings.push_back({{"database", b.database},
                                {"profile", b.profile},
                                {"address_book", b.addressBook},
                                {"calendars", b.calendars}});
        rows.push_back({{"name", a.name},
                        {"url", a.url},
                        {"user", a.user},
                        {"password", a.passwordCommand.empty() ? "asked" : "from command"},
                        {"allow_insecure", a.allowInsecure},
                        {"bindings", ctx.out().json() ? bindings : Json(a.bindings.size())}});
    }
    ctx.out().list(rows, {"name", "url", "user", "password", "allow_insecure", "bindings"});
}

struct NameOptions {
    std::string name;
};

void DeclareName(CLI::App& cmd, NameOptions& o) { cmd.add_option("name", o.name, "Name of the account")->required(); }

void RunRm(CommandContext& ctx, const NameOptions& o) {
    AccountStore store = LoadAccounts();
    if (!store.remove(o.name)) throw ClientError("no account named " + o.name, 1);
    store.save();
    ctx.out().done("removed account " + o.name, {{"name", o.name}});
}

constexpr CommandRow kAccountCommands[] = {
    Row<AddOptions, DeclareAdd, RunAdd>("add", "Add a CardDAV/CalDAV account (no password is stored)", Access::Reads),
    Row<RunList>("list", "List the accounts and how many profiles each is bound to", Access::Reads),
    Row<NameOptions, DeclareName, RunRm>("rm", "Remove an account (the server keeps its data)", Access::Reads),
};

// ---- collections ----

struct CollectionsOptions {
    std::string name;
};

void DeclareCollections(CLI::App& cmd, CollectionsOptions& o) {
    cmd.add_option("name", o.name, "Only this account (default: every account)");
}

void RunCollections(CommandContext& ctx, const CollectionsOptions& o) {
    const AccountStore store = LoadAccounts();
    std::vector<const Account*> accounts;
    if (!o.name.empty())
        accounts.push_back(&NamedAccount(store, o.name));
    else
        for (const Account& a : store.accounts()) accounts.push_back(&a);
    Json rows = Json::array();
    for (const Account* account : accounts) {
        sync::WithAccount(*account, [&] {
            auto client = sync::ConnectAccount(*account);
            for (const auto& c : sync::AccountCollections(*client)) {
                std::string kind = c.addressBook ? "address book" : "calendar";
                std::string components;
                for (const auto& comp : c.components) components += (components.empty() ? "" : ",") + comp;
                rows.push_back({{"account", account->name},
                                {"kind", kind},
                                {"name", c.displayName},
                                {"url", c.url},
                                {"components", components},
                                {"incremental", !c.syncToken.empty()}});
            }
        });
    }
    ctx.out().list(rows, {"account", "kind", "name", "url", "components", "incremental"});
}

// ---- bind ----

struct BindOptions {
    std::string name, addressBook;
    std::vector<std::string> calendars;
};

void DeclareBind(CLI::App& cmd, BindOptions& o) {
    cmd.add_option("name", o.name, "The account")->required();
    cmd.add_option("--addressbook", o.addressBook, "The address book's URL or path (from `sync collections`)");
    cmd.add_option("--calendar", o.calendars, "A calendar or task list's URL or path; may be repeated");
}

void RunBind(CommandContext& ctx, const BindOptions& o) {
    if (o.addressBook.empty() && o.calendars.empty())
        throw ClientError("name an address book (--addressbook) or a calendar (--calendar) to bind", 2);
    AccountStore store = LoadAccounts();
    Account* account = store.find(o.name);
    if (!account) throw ClientError("no account named " + o.name + " (see `calyra sync accounts list`)", 1);
    sync::Binding binding;
    binding.database = std::filesystem::absolute(ctx.session().database()).string();
    binding.profile = Utf16ToUtf8(ctx.session().profileId());
    sync::CheckBindingIsAlone(store, o.name, {binding.database, binding.profile, o.addressBook, o.calendars});
    // Each collection is looked at, so a typo or a calendar given as an
    // address book is refused now rather than at the first sync.
    sync::WithAccount(*account, [&] {
        auto client = sync::ConnectAccount(*account);
        auto check = [&](const std::string& given, bool wantBook) {
            const std::string url = dav::ResolveUrl(account->url, given);
            const dav::CollectionInfo info = client->collectionInfo(url);
            if (wantBook ? !info.addressBook : !info.calendar)
                throw ClientError(url + " is not " + (wantBook ? "an address book" : "a calendar"), 1);
            return url;
        };
        if (!o.addressBook.empty()) binding.addressBook = check(o.addressBook, true);
        for (const auto& c : o.calendars) binding.calendars.push_back(check(c, false));
    });
    std::erase_if(account->bindings, [&](const sync::Binding& b) {
        return b.database == binding.database && b.profile == binding.profile;
    });
    account->bindings.push_back(binding);
    store.save();
    ctx.out().done("bound profile " + binding.profile + " of " + binding.database + " to account " + o.name,
                   {{"account", o.name}, {"address_book", binding.addressBook}, {"calendars", binding.calendars}});
}

// ---- sync ----

struct SyncOptions {
    std::string name;
    bool dryRun = false;
    std::string prefer = "remote";
};

void RunSync(CommandContext& ctx, const SyncOptions& o) {
    if (o.prefer != "local" && o.prefer != "remote") throw ClientError("--prefer takes local or remote", 2);
    const AccountStore store = LoadAccounts();
    Session& session = ctx.session();
    const std::string database = std::filesystem::absolute(session.database()).string();
    const std::string profile = Utf16ToUtf8(session.profileId());
    std::vector<const Account*> accounts;
    if (!o.name.empty())
        accounts.push_back(&NamedAccount(store, o.name));
    else
        for (const Account& a : store.accounts())
            if (a.bindingFor(database, profile)) accounts.push_back(&a);
    if (accounts.empty()) throw ClientError("no account is bound to this profile (see `calyra sync bind`)", 1);

    sync::SyncOptions options;
    options.prefer = o.prefer == "local" ? sync::Prefer::Local : sync::Prefer::Remote;
    options.dryRun = o.dryRun;
    options.conflictFolder = session.database().parent_path() / "calyra-sync-conflicts";
    std::unique_ptr<ImportProgress> progress;
    options.progress = [&](size_t done, size_t total) {
        if (!progress) progress = std::make_unique<ImportProgress>("syncing", total);
        (void)done;
        progress->step();
    };
    Transaction::DryRun dryRun(o.dryRun);

    sync::SyncSummary total;
    for (const Account* account : accounts) {
        const sync::Binding* binding = account->bindingFor(database, profile);
        if (!binding) throw ClientError("account " + account->name + " is not bound to this profile", 1);
        sync::CheckBindingIsAlone(store, account->name, *binding);  // a file written by hand, or by an older bind
        sync::WithAccount(*account, [&] {
            auto client = sync::ConnectAccount(*account);
            sync::SyncState state(session, account->name);
            if (!binding->addressBook.empty()) {
                const dav::CollectionInfo info = client->collectionInfo(binding->addressBook);
                sync::ContactTarget target(session, state, binding->addressBook);
                total += sync::SyncCollection(*client, info, dav::CollectionKind::AddressBook, target, options);
            }
            std::vector<dav::CollectionInfo> calendars;
            for (const std::string& calendar : binding->calendars)
                calendars.push_back(client->collectionInfo(calendar));
            // Items made here go to the first calendar that takes their kind.
            sync::CalendarKinds homeTaken;
            for (const dav::CollectionInfo& info : calendars) {
                const sync::CalendarKinds kinds = sync::KindsOf(info.components);
                const sync::CalendarKinds home{kinds.events && !homeTaken.events, kinds.tasks && !homeTaken.tasks};
                homeTaken.events = homeTaken.events || kinds.events;
                homeTaken.tasks = homeTaken.tasks || kinds.tasks;
                std::set<std::string> elsewhere;
                for (const std::string& other : binding->calendars)
                    if (other != info.url) elsewhere.merge(state.localIds(other));
                sync::CalendarTarget target(session, state, info.url, kinds, home, std::move(elsewhere));
                total += sync::SyncCollection(*client, info, dav::CollectionKind::Calendar, target, options);
            }
        });
        progress.reset();
    }

    const Json result = {{"pulled", total.pulled},
                         {"pushed", total.pushed},
                         {"deleted", total.deleted},
                         {"conflicts", total.conflicts},
                         {"skipped", total.skipped},
                         {"failures", total.failures},
                         {"conflict_files", total.conflictFiles},
                         {"dry_run", o.dryRun}};
    std::string text =
        fmt::format("{}pulled {}, pushed {}, deleted {}, conflicts {}, skipped {}", o.dryRun ? "dry run: " : "",
                    total.pulled, total.pushed, total.deleted, total.conflicts, total.skipped);
    for (const auto& f : total.conflictFiles) text += "\n  conflict kept in " + f;
    for (const auto& f : total.failures) text += "\n  failed: " + f;
    ctx.out().text(text + "\n", result);
    if (!total.failures.empty()) throw ClientError(fmt::format("{} item(s) failed to sync", total.failures.size()), 1);
}

}  // namespace dav_sync_commands

void AddDavSyncCommands(CLI::App& sync, CommandContext& ctx) {
    using namespace dav_sync_commands;
    // `calyra sync NAME` runs a sync; the settings' subcommands stay.
    sync.require_subcommand(0, 1);
    sync.description(
        "Synchronisation: two-way sync with CardDAV/CalDAV servers (sync [NAME]), their accounts, and the settings the "
        "component stores (options, albums)");
    auto& o = ctx.own<SyncOptions>();
    sync.add_option("account", o.name, "Sync only this account (default: every account bound to the profile)");
    sync.add_flag("--dry-run", o.dryRun, "Show what would change, change nothing on either side");
    sync.add_option("--prefer", o.prefer, "Who wins where both sides changed the same field: local or remote")
        ->check(CLI::IsMember({"local", "remote"}));
    ctx.bind(&sync, Access::Writes, [&ctx, &o] { RunSync(ctx, o); });

    AddGroup(
        sync, ctx,
        {"accounts", "CardDAV/CalDAV accounts (kept in accounts.toml; never a password)", nullptr, kAccountCommands});
    AddCommand<CollectionsOptions>(sync, ctx, "collections", "List the address books and calendars of the accounts",
                                   Access::Reads, DeclareCollections, RunCollections);
    AddCommand<BindOptions>(sync, ctx, "bind", "Bind the current profile to an account's address book and calendars",
                            Access::Reads, DeclareBind, RunBind);
}

}  // namespace calyra::cli
