// profiles list|add|edit|rm|use; every command that takes a profile takes
// its ID or its name.
#include "cli/command_context.h"
#include "cli/list_options.h"
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
namespace {

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

}  // namespace

void AddProfileCommands(CLI::App& app, CommandContext& ctx) {
    auto* group = app.add_subcommand("profiles", "Device profiles (each phone has its own data)");
    group->require_subcommand(1);

    auto* list = group->add_subcommand("list", "List the profiles");
    auto listShape = std::make_shared<ListOptions>(list, ListOptions::KeysOf(RecordDescriptionOf<tagProfileInfo>()),
                                                   kProfileColumns);
    ctx.bind(list, Access::Reads, [&ctx, listShape] {
        listShape->show(ctx.out(), AllProfiles(ctx.session().access<IProfileAccess>().get()));
    });

    auto* add = group->add_subcommand("add", "Add a profile");
    auto name = std::make_shared<std::string>();
    add->add_option("name", *name, "The profile's name")->required();
    auto addFields = std::make_shared<RecordOptions>(add, std::type_identity<tagProfileInfo>{},
                                                     std::vector<std::string>{"profile_id", "name"});
    ctx.bind(add, Access::Writes, [&ctx, name, addFields] {
        OwnedRecord<tagProfileInfo> info;
        addFields->apply(&info);
        SetField(*FindField(RecordDescriptionOf<tagProfileInfo>(), "name"), &info, *name);
        auto profiles = ctx.session().access<IProfileAccess>();
        RefuseTakenName(AllProfiles(profiles.get()), kProfileRows, *name);
        LONG err = 0;
        Bstr id;
        Check(profiles->AddProfile(&err, &info, &id), err, "cannot add the profile");
        ctx.out().done("added profile " + id.utf8() + " (" + *name + ")", Json{{"profile_id", id.utf8()}});
    });

    auto* edit = group->add_subcommand("edit", "Change a profile's fields");
    auto editId = std::make_shared<std::string>();
    edit->add_option("profile", *editId, "Profile ID or name")->required();
    auto editFields = std::make_shared<RecordOptions>(edit, std::type_identity<tagProfileInfo>{},
                                                      std::vector<std::string>{"profile_id"});
    ctx.bind(edit, Access::Writes, [&ctx, editId, editFields] {
        ComPtr<IProfileAccess> profiles;
        EditRecord<tagProfileInfo>({
            "profiles edit",
            "profile",
            editFields->given() > 0,
            [&] {
                OwnedRecord<tagProfileInfo> probe;
                editFields->apply(&probe);
            },
            [&](OwnedRecord<tagProfileInfo>* info) {
                profiles = ctx.session().access<IProfileAccess>();
                const std::string id = ResolveProfile(profiles.get(), *editId);
                for (const auto& p : AllProfiles(profiles.get()))
                    if (p["profile_id"] == id)
                        for (const auto& f : FieldsOf(RecordDescriptionOf<tagProfileInfo>()))
                            SetFieldFromJson(f, info, p[f.key]);
                return id;
            },
            [&](const std::string& key) { return editFields->value(key) != nullptr; },
            [&](tagProfileInfo* info) { editFields->apply(info); },
            [&](const std::string& id, tagProfileInfo* info) {
                if (const std::string* name = editFields->value("name"))
                    RefuseTakenName(AllProfiles(profiles.get()), kProfileRows, *name, id);
                LONG err = 0;
                Check(profiles->ModifyProfileByID(&err, Bstr::FromUtf8(id), info), err, "cannot change the profile");
            },
            [&](const std::string& id, const tagProfileInfo&) {
                ctx.out().done("changed profile " + id, Json{{"profile_id", id}});
            },
        });
    });

    auto* rm = group->add_subcommand(
        "rm",
        "Delete a profile with everything it holds: contacts with their details and memberships, contact groups, "
        "events, categories, tasks, sync options and albums (with their files), play statistics. A profile that "
        "holds anything needs --yes.");
    auto rmId = std::make_shared<std::string>();
    auto yes = std::make_shared<bool>(false);
    rm->add_option("profile", *rmId, "Profile ID or name")->required();
    rm->add_flag("--yes", *yes, "Confirm deleting the profile's data");
    ctx.bind(rm, Access::Writes, [&ctx, rmId, yes] {
        Session& session = ctx.session();
        auto profiles = session.access<IProfileAccess>();
        const std::string id = ResolveProfile(profiles.get(), *rmId);
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
        if (!held.empty() && !*yes)
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
    });

    auto* use = group->add_subcommand("use", "Make a profile the default of every command (stored in the config file)");
    auto useProfile = std::make_shared<std::string>();
    use->add_option("profile", *useProfile, "Profile ID or name")->required();
    ctx.bind(use, Access::Reads, [&ctx, useProfile] {
        // Only a profile this file has: a typo must not become the default.
        const std::string id = ResolveProfile(ctx.session().access<IProfileAccess>().get(), *useProfile);
        const auto file = Settings::DefaultFile();
        Settings::Store(file, "profile", *useProfile);
        ctx.out().done("profile " + *useProfile + " (" + id + ") is the default now; set in " + file.string(),
                       Json{{"profile_id", id}, {"profile", *useProfile}, {"file", file.string()}});
    });
}

}  // namespace calyra::cli
