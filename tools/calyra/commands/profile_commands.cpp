// profiles list|add|edit|rm|use; every command that takes a profile takes
// its ID or its name.
#include "cli/command_context.h"
#include "cli/list_options.h"
#include "cli/record_commands.h"
#include "cli/record_edit.h"
#include "cli/record_options.h"
#include "idl/owned_record.h"
#include "platform/bstr.h"
#include "records/named_records.h"
#include "records/record_fields.h"
#include "records/record_rows.h"
#include "records/text_limits.h"
#include "session/client_error.h"
#include "session/query_rows.h"
#include "session/transaction.h"
#include "tables/sql_text.h"

namespace calyra::cli {
// Named, not anonymous: the commands library is compiled a few files at a
// time, and each family has its own AddOptions, RunAdd, ...
namespace profile_commands {

const std::vector<std::string> kProfileColumns{"profile_id", "name", "model", "imei", "sn", "hxrid"};

// Rows that belong to a profile through another table's rows: `table`'s
// rows whose `key` is the key of one of the profile's `owner` rows.
struct DependentRows {
    Sql table;
    Sql key;
    Sql owner;
};
constexpr DependentRows kDependentRows[] = {
    {u"[tAddress]", u"[ContactID]", u"[tContact]"},
    {u"[tPhoneNumber]", u"[ContactID]", u"[tContact]"},
    {u"[tEmail]", u"[ContactID]", u"[tContact]"},
    {u"[tWebUrl]", u"[ContactID]", u"[tContact]"},
    {u"[tIM]", u"[ContactID]", u"[tContact]"},
    {u"[tContactGroupMap]", u"[ContactID]", u"[tContact]"},
    {u"[tContactGroupMap]", u"[ContactGroupID]", u"[tContactGroup]"},
    {u"[tFile]", u"[AlbumID]", u"[tAlbum]"},
};

// Every table but the profiles' own that has a [ProfileID] column.
std::vector<std::string> ProfileTables(IPimDbAccess* db) {
    std::vector<std::string> out;
    for (const auto& t : QueryRows(db,
                                   u"SELECT [name] FROM [sqlite_master] WHERE [type] = 'table' AND [name] NOT "
                                   u"LIKE 'sqlite%' AND [name] != 'tProfile' ORDER BY [name];"))
        for (const auto& column :
             QueryRows(db, SqlText(u"PRAGMA table_info(").AppendName(Utf8ToUtf16(t[0])).Append(u");").view()))
            if (column.size() > 1 && column[1] == "ProfileID") out.push_back(t[0]);
    return out;
}

const std::vector<std::string>& ProfileColumns() { return kProfileColumns; }
std::vector<std::string> ProfileFields() { return ListOptions::KeysOf(RecordDescriptionOf<tagProfileInfo>()); }
Json ProfileRows(CommandContext& ctx) { return AllProfiles(ctx.session().access<IProfileAccess>().get()); }
Json FindProfile(CommandContext& ctx, const std::string& text) {
    auto profiles = ctx.session().access<IProfileAccess>();
    const std::string id = ResolveProfile(profiles.get(), text);
    for (const auto& p : AllProfiles(profiles.get()))
        if (p["profile_id"] == id) return p;
    throw ClientError("no profile " + id);
}

// Profiles go with everything they hold (profiles rm), not by the generic rm.
constexpr RecordFamily kProfiles{
    "profile", "profile_id",  "profile_ids",  "profile",   "Profile ID or name", "profiles", "Profile IDs or names",
    true,      ProfileFields, ProfileColumns, ProfileRows, FindProfile,          nullptr,    nullptr,
    nullptr,   nullptr,
};

struct AddOptions {
    std::string name;
    RecordOptions fields;
};

void DeclareAdd(CLI::App& add, AddOptions& o) {
    add.add_option("name", o.name, "The profile's name")->required();
    o.fields.add(add, std::type_identity<tagProfileInfo>{}, std::vector<std::string>{"profile_id", "name"});
}

void RunAdd(CommandContext& ctx, const AddOptions& o) {
    AddRecord<tagProfileInfo>(ctx, {
                                       kProfiles,
                                       [&](tagProfileInfo* info) {
                                           o.fields.apply(info);
                                           SetField(RequireField(RecordDescriptionOf<tagProfileInfo>(), "name"), info,
                                                    o.name);
                                       },
                                       [&](tagProfileInfo* info) {
                                           auto profiles = ctx.session().access<IProfileAccess>();
                                           RefuseTakenName(AllProfiles(profiles.get()), kProfileRows, o.name);
                                           LONG err = 0;
                                           Bstr id;
                                           Check(profiles->AddProfile(&err, info, &id), err, "cannot add the profile");
                                           return id.utf8();
                                       },
                                       [&](const tagProfileInfo&) { return o.name; },
                                       nullptr,
                                   });
}

struct EditOptions {
    std::string profile;
    RecordOptions fields;
};

void DeclareEdit(CLI::App& edit, EditOptions& o) {
    edit.add_option("profile", o.profile, "Profile ID or name")->required();
    o.fields.add(edit, std::type_identity<tagProfileInfo>{}, std::vector<std::string>{"profile_id"});
}

void RunEdit(CommandContext& ctx, const EditOptions& o) {
    ComPtr<IProfileAccess> profiles;
    EditRecord<tagProfileInfo>({
        "profiles edit",
        "profile",
        o.fields.given() > 0,
        [&] {
            OwnedRecord<tagProfileInfo> probe;
            o.fields.apply(&probe);
        },
        [&](OwnedRecord<tagProfileInfo>* info) {
            profiles = ctx.session().access<IProfileAccess>();
            const Json stored = FindProfile(ctx, o.profile);
            for (const auto& f : FieldsOf(RecordDescriptionOf<tagProfileInfo>()))
                SetFieldFromJson(f, info, stored[f.key]);
            return stored["profile_id"].get<std::string>();
        },
        [&](const std::string& key) { return o.fields.value(key) != nullptr; },
        [&](tagProfileInfo* info) { o.fields.apply(info); },
        [&](const std::string& id, tagProfileInfo* info) {
            if (const std::string* name = o.fields.value("name"))
                RefuseTakenName(AllProfiles(profiles.get()), kProfileRows, *name, id);
            LONG err = 0;
            Check(profiles->ModifyProfileByID(&err, Bstr::FromUtf8(id), info), err, "cannot change the profile");
        },
        [&](const std::string& id, const tagProfileInfo&) {
            ctx.out().done("changed profile " + id, Json{{"profile_id", id}});
        },
    });
}

struct RmOptions {
    std::string profile;
    bool yes = false;
};

void DeclareRm(CLI::App& rm, RmOptions& o) {
    rm.add_option("profile", o.profile, "Profile ID or name")->required();
    rm.add_flag("--yes", o.yes, "Confirm deleting the profile's data");
}

void RunRm(CommandContext& ctx, const RmOptions& o) {
    Session& session = ctx.session();
    auto profiles = session.access<IProfileAccess>();
    const std::string id = ResolveProfile(profiles.get(), o.profile);
    const std::u16string key = Utf8ToUtf16(id);
    const auto tables = ProfileTables(session.connection());
    std::string held;
    for (const auto& table : tables) {
        const auto n = QueryRows(session.connection(), SqlText(u"SELECT COUNT(*) FROM ")
                                                           .AppendName(Utf8ToUtf16(table))
                                                           .Append(u" WHERE [ProfileID] = '")
                                                           .AppendQuoted(key)
                                                           .Append(u"';")
                                                           .view());
        if (!n.empty() && n[0][0] != "0") held += (held.empty() ? "" : ", ") + n[0][0] + " in " + table;
    }
    if (!held.empty() && !o.yes)
        throw ClientError(
            "profile " + id + " holds data (" + held + "); profiles rm deletes all of it: add --yes to confirm", 2);
    Transaction transaction(session);
    for (const auto& d : kDependentRows)
        transaction.run(SqlText(u"DELETE FROM ")
                            .Append(d.table)
                            .Append(u" WHERE ")
                            .Append(d.key)
                            .Append(u" IN (SELECT ")
                            .Append(d.key)
                            .Append(u" FROM ")
                            .Append(d.owner)
                            .Append(u" WHERE [ProfileID] = '")
                            .AppendQuoted(key)
                            .Append(u"');"),
                        "cannot delete the rows of profile " + id);
    for (const auto& table : tables)
        transaction.run(SqlText(u"DELETE FROM ")
                            .AppendName(Utf8ToUtf16(table))
                            .Append(u" WHERE [ProfileID] = '")
                            .AppendQuoted(key)
                            .Append(u"';"),
                        "cannot delete the " + table + " rows of profile " + id);
    LONG err = 0;
    Check(profiles->DeleteProfileByID(&err, Bstr::FromUtf8(id)), err, "cannot delete the profile");
    transaction.commit();
    ctx.out().done("deleted profile " + id + (held.empty() ? "" : " and its data (" + held + ")"),
                   Json{{"profile_id", id}});
}

struct UseOptions {
    std::string profile;
};

void DeclareUse(CLI::App& use, UseOptions& o) {
    use.add_option("profile", o.profile, "Profile ID or name")->required();
}

void RunUse(CommandContext& ctx, const UseOptions& o) {
    // Only a profile this file has: a typo must not become the default.
    const std::string id = ResolveProfile(ctx.session().access<IProfileAccess>().get(), o.profile);
    const auto file = Settings::DefaultFile();
    Settings::Store(file, "profile", o.profile);
    ctx.out().done("profile " + o.profile + " (" + id + ") is the default now; set in " + file.string(),
                   Json{{"profile_id", id}, {"profile", o.profile}, {"file", file.string()}});
}

constexpr CommandRow kProfileCommands[] = {
    ListRow<kProfiles>("List the profiles"),
    Row<AddOptions, DeclareAdd, RunAdd>("add", "Add a profile", Access::Writes),
    Row<EditOptions, DeclareEdit, RunEdit>("edit", "Change a profile's fields", Access::Writes),
    Row<RmOptions, DeclareRm, RunRm>(
        "rm",
        "Delete a profile with everything it holds: contacts with their details and memberships, contact groups, "
        "events, categories, tasks, sync options and albums (with their files), play statistics. A profile that "
        "holds anything needs --yes.",
        Access::Writes),
    Row<UseOptions, DeclareUse, RunUse>(
        "use", "Make a profile the default of every command (stored in the config file)", Access::Reads),
};

}  // namespace profile_commands

void AddProfileCommands(CLI::App& app, CommandContext& ctx) {
    AddGroup(
        app, ctx,
        {"profiles", "Device profiles (each phone has its own data)", nullptr, profile_commands::kProfileCommands});
}

}  // namespace calyra::cli
