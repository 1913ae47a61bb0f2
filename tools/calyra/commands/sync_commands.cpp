// sync options get|set, sync albums list|add|rm|clear, sync synced-albums,
// sync synced-podcasts; the play statistics (plays) are added from here too.
//
// The "type" of sync settings and sync albums is a number that the program
// doing the synchronisation assigns to a kind of data; the component stores
// it and gives it back but never interprets it, and neither does this client.
#include <fmt/format.h>

#include "cli/command_context.h"
#include "cli/command_row.h"
#include "cli/record_options.h"
#include "commands/command_tree.h"
#include "idl/owned_record.h"
#include "platform/bstr.h"
#include "records/record_fields.h"
#include "session/client_error.h"

namespace calyra::cli {
namespace sync_commands {

constexpr const char* kTypeHelp =
    "Kind of data, a number chosen by the synchronising program (stored as given, never interpreted; default 0)";

const std::vector<std::string> kAlbumColumns{"album_name", "option"};
const std::vector<std::string> kSyncedAlbumColumns{"name",       "type",           "recursive",
                                                   "path_on_pc", "path_on_device", "sync_anchor"};
const std::vector<std::string> kSyncedPodcastColumns{"path_on_pc", "path_on_device"};

void AddTypeOption(CLI::App& command, LONG& type) { command.add_option("--type", type, kTypeHelp); }

// The stored options of one type. A type never stored reads as all zeros
// (the component then also reports type 0); scripts see the type they asked
// about either way.
Json OptionsOf(ISyncOption* sync, LONG type) {
    OwnedRecord<tagSyncOptions> options;
    LONG err = 0;
    Check(sync->GetSyncOption(&err, type, &options), err, fmt::format("cannot read the sync options of type {}", type));
    options.lType = type;
    return ToJson(static_cast<const tagSyncOptions&>(options));
}

Json AlbumsOf(ISyncOption* sync, LONG type) {
    LONG err = 0, count = 0;
    OwnedRecordArray<tagSyncAlbumItem> albums;
    Check(sync->GetSyncAlbums(&err, type, &count, &albums), err,
          fmt::format("cannot list the sync albums of type {}", type));
    return ToJsonArray(albums);
}

bool HasAlbum(const Json& albums, const std::string& name) {
    for (const auto& a : albums)
        if (a["album_name"] == name) return true;
    return false;
}

struct TypeOptions {
    LONG type = 0;
};

void DeclareType(CLI::App& command, TypeOptions& o) { AddTypeOption(command, o.type); }

void RunGet(CommandContext& ctx, const TypeOptions& o) {
    ctx.out().object(OptionsOf(ctx.session().access<ISyncOption>().get(), o.type));
}

struct SetOptions {
    LONG type = 0;
    RecordOptions fields;
};

void DeclareSet(CLI::App& set, SetOptions& o) {
    set.add_option("--type", o.type, "Kind of data, a number chosen by the synchronising program (stored as given)")
        ->required();
    o.fields.add(set, std::type_identity<tagSyncOptions>{}, std::vector<std::string>{"type"});
}

void RunSet(CommandContext& ctx, const SetOptions& o) {
    if (o.fields.given() == 0) throw ClientError("nothing to change (see sync options set --help)", 2);
    auto sync = ctx.session().access<ISyncOption>();
    OwnedRecord<tagSyncOptions> options;
    LONG err = 0;
    Check(sync->GetSyncOption(&err, o.type, &options), err,
          fmt::format("cannot read the sync options of type {}", o.type));
    o.fields.apply(&options);
    options.lType = o.type;
    Check(sync->UpdateSyncOption(&err, o.type, &options), err,
          fmt::format("cannot store the sync options of type {}", o.type));
    Json result = OptionsOf(sync.get(), o.type);
    if (ctx.out().json()) return ctx.out().object(result);
    ctx.out().done(fmt::format("stored the sync options of type {}", o.type));
}

constexpr CommandRow kOptionCommands[] = {
    Row<TypeOptions, DeclareType, RunGet>("get", "Show the sync settings of one kind of data (never set: all zeros)",
                                          Access::Reads),
    Row<SetOptions, DeclareSet, RunSet>(
        "set", "Change sync settings of one kind of data; fields not given keep their stored values", Access::Writes),
};

void RunAlbumList(CommandContext& ctx, const TypeOptions& o) {
    ctx.out().list(AlbumsOf(ctx.session().access<ISyncOption>().get(), o.type), kAlbumColumns);
}

struct AlbumAddOptions {
    std::string name;
    LONG type = 0;
    LONG option = 0;
};

void DeclareAlbumAdd(CLI::App& add, AlbumAddOptions& o) {
    add.add_option("name", o.name, "The album's name")->required();
    AddTypeOption(add, o.type);
    add.add_option("--option", o.option, "A number stored with the album for the synchronising program (default 0)");
}

void RunAlbumAdd(CommandContext& ctx, const AlbumAddOptions& o) {
    if (o.name.empty()) throw ClientError("the album name must not be empty", 2);
    auto sync = ctx.session().access<ISyncOption>();
    Json result{{"album_name", o.name}, {"type", o.type}};
    // The component would store a second row with the same name; one
    // is all a list of names needs.
    if (HasAlbum(AlbumsOf(sync.get(), o.type), o.name)) {
        result["added"] = false;
        return ctx.out().done(fmt::format("album \"{}\" is already chosen for type {}", o.name, o.type), result);
    }
    OwnedRecord<tagSyncAlbumItem> album;
    album.lType = o.type;
    album.lOption = o.option;
    album.bstrAlbumName = Bstr::FromUtf8(o.name).Detach();
    LONG err = 0;
    Check(sync->AddSyncAlbum(&err, o.type, &album), err, "cannot add the sync album");
    result["added"] = true;
    ctx.out().done(fmt::format("added album \"{}\" for type {}", o.name, o.type), result);
}

struct AlbumRmOptions {
    std::string name;
    LONG type = 0;
};

void DeclareAlbumRm(CLI::App& rm, AlbumRmOptions& o) {
    rm.add_option("name", o.name, "The album's name")->required();
    AddTypeOption(rm, o.type);
}

void RunAlbumRm(CommandContext& ctx, const AlbumRmOptions& o) {
    if (o.name.empty()) throw ClientError("the album name must not be empty", 2);
    auto sync = ctx.session().access<ISyncOption>();
    // Removing a name that is not there succeeds silently in the
    // component; a person who mistyped the name wants to know.
    if (!HasAlbum(AlbumsOf(sync.get(), o.type), o.name))
        throw ClientError(fmt::format("no album \"{}\" in the sync list of type {}", o.name, o.type));
    LONG err = 0;
    Check(sync->RemoveSyncAlbum(&err, o.type, Bstr::FromUtf8(o.name)), err, "cannot remove the sync album");
    ctx.out().done(fmt::format("removed album \"{}\" from type {}", o.name, o.type),
                   Json{{"album_name", o.name}, {"type", o.type}});
}

struct AlbumClearOptions {
    LONG type = 0;
    bool yes = false;
};

void DeclareAlbumClear(CLI::App& clear, AlbumClearOptions& o) {
    AddTypeOption(clear, o.type);
    clear.add_flag("--yes", o.yes, "Confirm the removal");
}

void RunAlbumClear(CommandContext& ctx, const AlbumClearOptions& o) {
    if (!o.yes)
        throw ClientError(fmt::format("sync albums clear removes every album of type {}; add --yes", o.type), 2);
    auto sync = ctx.session().access<ISyncOption>();
    const size_t count = AlbumsOf(sync.get(), o.type).size();
    LONG err = 0;
    Check(sync->ClearSyncAlbums(&err, o.type), err, "cannot clear the sync albums");
    ctx.out().done(fmt::format("removed {} album{} of type {}", count, count == 1 ? "" : "s", o.type),
                   Json{{"type", o.type}, {"removed", count}});
}

constexpr CommandRow kAlbumCommands[] = {
    Row<TypeOptions, DeclareType, RunAlbumList>("list", "List the albums chosen for one kind of data", Access::Reads),
    Row<AlbumAddOptions, DeclareAlbumAdd, RunAlbumAdd>(
        "add", "Choose an album for synchronisation (a name already in the list is left as it is)", Access::Writes),
    Row<AlbumRmOptions, DeclareAlbumRm, RunAlbumRm>("rm", "Remove an album from the list of one kind of data",
                                                    Access::Writes),
    Row<AlbumClearOptions, DeclareAlbumClear, RunAlbumClear>(
        "clear", "Remove every album of one kind of data from the list (needs --yes)", Access::Writes),
};

template <class List>
Json SyncedItems(ISyncOption* sync, List list, const char* what) {
    LONG err = 0, count = 0;
    OwnedRecordArray<tagSyncedAlbumItem> items;
    Check((sync->*list)(&err, &count, &items), err, std::string("cannot list the ") + what);
    return ToJsonArray(items);
}

// The synchronising program keeps these two lists; the component (and so
// this client) can only read them.
void RunSyncedAlbums(CommandContext& ctx, const NoOptions&) {
    ctx.out().list(
        SyncedItems(ctx.session().access<ISyncOption>().get(), &ISyncOption::GetSyncedAlbums, "synchronised albums"),
        kSyncedAlbumColumns);
}

void RunSyncedPodcasts(CommandContext& ctx, const NoOptions&) {
    ctx.out().list(SyncedItems(ctx.session().access<ISyncOption>().get(), &ISyncOption::GetSyncedPodcasts,
                               "synchronised podcasts"),
                   kSyncedPodcastColumns);
}

constexpr CommandRow kSyncLists[] = {
    Row<RunSyncedAlbums>("synced-albums",
                         "List the albums already synchronised, of every type (read-only: kept by the sync program)",
                         Access::Reads),
    Row<RunSyncedPodcasts>(
        "synced-podcasts",
        "List the podcast files being synchronised (PC and device paths only; read-only: kept by the sync program)",
        Access::Reads),
};

}  // namespace sync_commands

void AddSyncCommands(CLI::App& app, CommandContext& ctx) {
    using namespace sync_commands;
    auto* sync = app.add_subcommand("sync", "Synchronisation settings: options and albums per kind of data");
    sync->require_subcommand(1);
    AddGroup(
        *sync, ctx,
        {"options", "Sync settings per kind of data (group option and eight extra numbers)", nullptr, kOptionCommands});
    AddGroup(*sync, ctx,
             {"albums", "The album names chosen for synchronisation, per kind of data", nullptr, kAlbumCommands});
    AddRows(*sync, ctx, kSyncLists);
}

}  // namespace calyra::cli
