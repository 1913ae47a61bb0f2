// profiles list|add|edit|rm
#include "idl/owned_record.h"
#include "platform/bstr.h"
#include "shell/client_error.h"
#include "shell/command_context.h"
#include "shell/record_fields.h"

namespace calyra::cli {
namespace {

const std::vector<std::string> kProfileColumns{"profile_id", "name", "model", "imei", "sn", "hxrid"};

Json AllProfiles(IProfileAccess* profiles) {
    LONG err = 0, count = 0;
    OwnedRecordArray<tagProfileInfo> all;
    Check(profiles->GetAllProfiles(&err, &count, &all), err, "cannot list the profiles");
    Json out = Json::array();
    for (const auto& p : all) out.push_back(ToJson(p));
    return out;
}

// A profile by ID, else by its unique name.
std::string ResolveProfile(IProfileAccess* profiles, const std::string& idOrName) {
    Json all = AllProfiles(profiles);
    for (const auto& p : all)
        if (p["profile_id"] == idOrName) return idOrName;
    std::string found;
    for (const auto& p : all) {
        if (p["name"] != idOrName) continue;
        if (!found.empty()) throw ClientError("several profiles are named \"" + idOrName + "\"; use its ID");
        found = p["profile_id"].get<std::string>();
    }
    if (found.empty()) throw ClientError("no profile \"" + idOrName + "\"");
    return found;
}

}  // namespace

void AddProfileCommands(CLI::App& app, CommandContext& ctx) {
    auto* group = app.add_subcommand("profiles", "Device profiles (each phone has its own data)");
    group->require_subcommand(1);

    auto* list = group->add_subcommand("list", "List the profiles");
    ctx.bind(list,
             [&ctx] { ctx.out().list(AllProfiles(ctx.session().access<IProfileAccess>().get()), kProfileColumns); });

    auto* add = group->add_subcommand("add", "Add a profile");
    auto name = std::make_shared<std::string>();
    add->add_option("name", *name, "The profile's name")->required();
    auto addFields = std::make_shared<RecordOptions>(add, std::type_identity<tagProfileInfo>{},
                                                     std::vector<std::string>{"profile_id", "name"});
    ctx.bind(add, [&ctx, name, addFields] {
        OwnedRecord<tagProfileInfo> info;
        addFields->apply(&info);
        SetField(*FindField(RecordDescriptionOf<tagProfileInfo>(), "name"), &info, *name);
        auto profiles = ctx.session().access<IProfileAccess>();
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
    ctx.bind(edit, [&ctx, editId, editFields] {
        auto profiles = ctx.session().access<IProfileAccess>();
        const std::string id = ResolveProfile(profiles.get(), *editId);
        if (editFields->given() == 0) throw ClientError("nothing to change (see profiles edit --help)", 2);
        // Start from the stored record so unnamed fields keep their values.
        OwnedRecord<tagProfileInfo> info;
        for (const auto& p : AllProfiles(profiles.get()))
            if (p["profile_id"] == id)
                for (const auto& f : FieldsOf(RecordDescriptionOf<tagProfileInfo>()))
                    SetFieldFromJson(f, &info, p[f.key]);
        editFields->apply(&info);
        LONG err = 0;
        Check(profiles->ModifyProfileByID(&err, Bstr::FromUtf8(id), &info), err, "cannot change the profile");
        ctx.out().done("changed profile " + id, Json{{"profile_id", id}});
    });

    auto* rm = group->add_subcommand("rm", "Delete a profile");
    auto rmId = std::make_shared<std::string>();
    rm->add_option("profile", *rmId, "Profile ID or name")->required();
    ctx.bind(rm, [&ctx, rmId] {
        auto profiles = ctx.session().access<IProfileAccess>();
        const std::string id = ResolveProfile(profiles.get(), *rmId);
        LONG err = 0;
        Check(profiles->DeleteProfileByID(&err, Bstr::FromUtf8(id)), err, "cannot delete the profile");
        ctx.out().done("deleted profile " + id, Json{{"profile_id", id}});
    });
}

}  // namespace calyra::cli
