// sync options get|set, sync albums list|add|rm|clear, sync synced-albums,
// sync synced-podcasts; the play statistics (plays) are added from here too.
//
// The "type" of sync settings and sync albums is a number that the program
// doing the synchronisation assigns to a kind of data; the component stores
// it and gives it back but never interprets it, and neither does this client.
#include <fmt/format.h>

#include "cli/command_context.h"
#include "cli/record_options.h"
#include "commands/command_tree.h"
#include "idl/owned_record.h"
#include "platform/bstr.h"
#include "records/record_fields.h"
#include "session/client_error.h"

namespace calyra::cli {
namespace {

constexpr const char* kTypeHelp =
    "Kind of data, a number chosen by the synchronising program (stored as given, never interpreted; default 0)";

const std::vector<std::string> kAlbumColumns{"album_name", "option"};
const std::vector<std::string> kSyncedAlbumColumns{"name",       "type",           "recursive",
                                                   "path_on_pc", "path_on_device", "sync_anchor"};
const std::vector<std::string> kSyncedPodcastColumns{"path_on_pc", "path_on_device"};

void AddTypeOption(CLI::App* command, const std::shared_ptr<LONG>& type) {
    command->add_option("--type", *type, kTypeHelp);
}

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

void AddOptionCommands(CLI::App* sync, CommandContext& ctx) {
    auto* group =
        sync->add_subcommand("options", "Sync settings per kind of data (group option and eight extra numbers)");
    group->require_subcommand(1);

    auto* get = group->add_subcommand("get", "Show the sync settings of one kind of data (never set: all zeros)");
    auto getType = std::make_shared<LONG>(0);
    AddTypeOption(get, getType);
    ctx.bind(get, Access::Reads,
             [&ctx, getType] { ctx.out().object(OptionsOf(ctx.session().access<ISyncOption>().get(), *getType)); });

    auto* set = group->add_subcommand(
        "set", "Change sync settings of one kind of data; fields not given keep their stored values");
    auto setType = std::make_shared<LONG>(0);
    set->add_option("--type", *setType, "Kind of data, a number chosen by the synchronising program (stored as given)")
        ->required();
    auto fields =
        std::make_shared<RecordOptions>(set, std::type_identity<tagSyncOptions>{}, std::vector<std::string>{"type"});
    ctx.bind(set, Access::Writes, [&ctx, setType, fields] {
        if (fields->given() == 0) throw ClientError("nothing to change (see sync options set --help)", 2);
        auto sync = ctx.session().access<ISyncOption>();
        OwnedRecord<tagSyncOptions> options;
        LONG err = 0;
        Check(sync->GetSyncOption(&err, *setType, &options), err,
              fmt::format("cannot read the sync options of type {}", *setType));
        fields->apply(&options);
        options.lType = *setType;
        Check(sync->UpdateSyncOption(&err, *setType, &options), err,
              fmt::format("cannot store the sync options of type {}", *setType));
        Json result = OptionsOf(sync.get(), *setType);
        if (ctx.out().json()) return ctx.out().object(result);
        ctx.out().done(fmt::format("stored the sync options of type {}", *setType));
    });
}

void AddAlbumCommands(CLI::App* sync, CommandContext& ctx) {
    auto* group = sync->add_subcommand("albums", "The album names chosen for synchronisation, per kind of data");
    group->require_subcommand(1);

    auto* list = group->add_subcommand("list", "List the albums chosen for one kind of data");
    auto listType = std::make_shared<LONG>(0);
    AddTypeOption(list, listType);
    ctx.bind(list, Access::Reads, [&ctx, listType] {
        ctx.out().list(AlbumsOf(ctx.session().access<ISyncOption>().get(), *listType), kAlbumColumns);
    });

    auto* add = group->add_subcommand(
        "add", "Choose an album for synchronisation (a name already in the list is left as it is)");
    auto addName = std::make_shared<std::string>();
    auto addType = std::make_shared<LONG>(0);
    auto addOption = std::make_shared<LONG>(0);
    add->add_option("name", *addName, "The album's name")->required();
    AddTypeOption(add, addType);
    add->add_option("--option", *addOption, "A number stored with the album for the synchronising program (default 0)");
    ctx.bind(add, Access::Writes, [&ctx, addName, addType, addOption] {
        if (addName->empty()) throw ClientError("the album name must not be empty", 2);
        auto sync = ctx.session().access<ISyncOption>();
        Json result{{"album_name", *addName}, {"type", *addType}};
        // The component would store a second row with the same name; one
        // is all a list of names needs.
        if (HasAlbum(AlbumsOf(sync.get(), *addType), *addName)) {
            result["added"] = false;
            return ctx.out().done(fmt::format("album \"{}\" is already chosen for type {}", *addName, *addType),
                                  result);
        }
        OwnedRecord<tagSyncAlbumItem> album;
        album.lType = *addType;
        album.lOption = *addOption;
        album.bstrAlbumName = Bstr::FromUtf8(*addName).Detach();
        LONG err = 0;
        Check(sync->AddSyncAlbum(&err, *addType, &album), err, "cannot add the sync album");
        result["added"] = true;
        ctx.out().done(fmt::format("added album \"{}\" for type {}", *addName, *addType), result);
    });

    auto* rm = group->add_subcommand("rm", "Remove an album from the list of one kind of data");
    auto rmName = std::make_shared<std::string>();
    auto rmType = std::make_shared<LONG>(0);
    rm->add_option("name", *rmName, "The album's name")->required();
    AddTypeOption(rm, rmType);
    ctx.bind(rm, Access::Writes, [&ctx, rmName, rmType] {
        if (rmName->empty()) throw ClientError("the album name must not be empty", 2);
        auto sync = ctx.session().access<ISyncOption>();
        // Removing a name that is not there succeeds silently in the
        // component; a person who mistyped the name wants to know.
        if (!HasAlbum(AlbumsOf(sync.get(), *rmType), *rmName))
            throw ClientError(fmt::format("no album \"{}\" in the sync list of type {}", *rmName, *rmType));
        LONG err = 0;
        Check(sync->RemoveSyncAlbum(&err, *rmType, Bstr::FromUtf8(*rmName)), err, "cannot remove the sync album");
        ctx.out().done(fmt::format("removed album \"{}\" from type {}", *rmName, *rmType),
                       Json{{"album_name", *rmName}, {"type", *rmType}});
    });

    auto* clear = group->add_subcommand("clear", "Remove every album of one kind of data from the list (needs --yes)");
    auto clearType = std::make_shared<LONG>(0);
    auto yes = std::make_shared<bool>(false);
    AddTypeOption(clear, clearType);
    clear->add_flag("--yes", *yes, "Confirm the removal");
    ctx.bind(clear, Access::Writes, [&ctx, clearType, yes] {
        if (!*yes)
            throw ClientError(fmt::format("sync albums clear removes every album of type {}; add --yes", *clearType),
                              2);
        auto sync = ctx.session().access<ISyncOption>();
        const size_t count = AlbumsOf(sync.get(), *clearType).size();
        LONG err = 0;
        Check(sync->ClearSyncAlbums(&err, *clearType), err, "cannot clear the sync albums");
        ctx.out().done(fmt::format("removed {} album{} of type {}", count, count == 1 ? "" : "s", *clearType),
                       Json{{"type", *clearType}, {"removed", count}});
    });
}

template <class List>
Json SyncedItems(ISyncOption* sync, List list, const char* what) {
    LONG err = 0, count = 0;
    OwnedRecordArray<tagSyncedAlbumItem> items;
    Check((sync->*list)(&err, &count, &items), err, std::string("cannot list the ") + what);
    return ToJsonArray(items);
}

}  // namespace

void AddSyncCommands(CLI::App& app, CommandContext& ctx) {
    auto* sync = app.add_subcommand("sync", "Synchronisation settings: options and albums per kind of data");
    sync->require_subcommand(1);
    AddOptionCommands(sync, ctx);
    AddAlbumCommands(sync, ctx);

    // The synchronising program keeps these two lists; the component (and so
    // this client) can only read them.
    auto* albums = sync->add_subcommand(
        "synced-albums", "List the albums already synchronised, of every type (read-only: kept by the sync program)");
    ctx.bind(albums, Access::Reads, [&ctx] {
        ctx.out().list(SyncedItems(ctx.session().access<ISyncOption>().get(), &ISyncOption::GetSyncedAlbums,
                                   "synchronised albums"),
                       kSyncedAlbumColumns);
    });
    auto* podcasts = sync->add_subcommand(
        "synced-podcasts",
        "List the podcast files being synchronised (PC and device paths only; read-only: kept by the sync program)");
    ctx.bind(podcasts, Access::Reads, [&ctx] {
        ctx.out().list(SyncedItems(ctx.session().access<ISyncOption>().get(), &ISyncOption::GetSyncedPodcasts,
                                   "synchronised podcasts"),
                       kSyncedPodcastColumns);
    });
}

}  // namespace calyra::cli
