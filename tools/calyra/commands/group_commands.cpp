// groups list|add|edit|rm|members|join|leave: contact groups of the current
// profile and who is in them. Every command that takes a group takes its
// ID or its name.
//
// Thread-safety: one thread, as every command.
#include <algorithm>
#include <unordered_map>

#include "cli/record_edit.h"
#include "cli/record_options.h"
#include "idl/owned_record.h"
#include "platform/bstr.h"
#include "records/contact_records.h"
#include "records/named_records.h"
#include "records/profile_contacts.h"
#include "records/record_fields.h"
#include "records/text_limits.h"
#include "session/client_error.h"
#include "session/record_id.h"
#include "session/transaction.h"

#include "cli/command_context.h"
#include "cli/list_options.h"
#include "commands/command_tree.h"

namespace calyra::cli {
namespace {

const RecordDesc& GroupDesc() { return RecordDescriptionOf<tagContactGroupInfo>(); }

// The group has no place for a photo or a ringtone: the component drops
// them, so they are not offered. The name has an option of its own.
const std::vector<std::string> kNotGiven{"contact_group_id", "contact_group_name", "contact_group_photo",
                                         "contact_group_ringtone", "modified"};

// The IDs of a group's contacts, each once (the membership table allows a
// pair twice).
std::vector<std::string> MembersOf(IContactAccess* contacts, const std::string& groupId) {
    LONG err = 0, count = 0;
    OwnedRecordArray<tagContactInfo> members;
    Check(contacts->GetContactsByContactGroupID(&err, Bstr::FromUtf8(groupId), &count, &members), err,
          "cannot list the contacts of group " + groupId);
    std::vector<std::string> ids;
    for (const auto& m : members) {
        std::string id = BstrUtf8(m.bstrContactID);
        if (std::find(ids.begin(), ids.end(), id) == ids.end()) ids.push_back(std::move(id));
    }
    return ids;
}

std::string NameOf(const Json& group) {
    return group["contact_group_id"].get<std::string>() + " (" + group["contact_group_name"].get<std::string>() + ")";
}

// What join and leave share: the group and every contact must exist in the
// profile before anything changes.
struct Membership {
    ComPtr<IContactAccess> contacts;
    Json group;
    std::string groupId;
    std::vector<std::string> contactIds;
};

Membership CheckMembership(CommandContext& ctx, const std::string& group, const std::vector<std::string>& ids) {
    Membership m{ctx.session().access<IContactAccess>(), Json(), "", UniqueIds(ids)};
    for (const auto& id : m.contactIds) CheckedId(id, "contact");
    m.group = LoadGroup(ctx.session().access<IContactGroupAccess>().get(), group);
    m.groupId = m.group["contact_group_id"];
    for (const auto& id : m.contactIds) RequireContact(m.contacts.get(), id);
    return m;
}

}  // namespace

void AddContactGroupCommands(CLI::App& app, CommandContext& ctx) {
    auto* group = app.add_subcommand("groups", "Contact groups and their members");
    group->require_subcommand(1);

    auto* list = group->add_subcommand("list", "List the contact groups with their member counts");
    auto listShape = std::make_shared<ListOptions>(
        list, ListOptions::KeysOf(GroupDesc(), {"members"}),
        std::vector<std::string>{"contact_group_id", "contact_group_name", "to_be_synced", "members"});
    ctx.bind(list, Access::Reads, [&ctx, listShape] {
        auto contacts = ctx.session().access<IContactAccess>();
        Json all = AllGroups(ctx.session().access<IContactGroupAccess>().get());
        for (auto& g : all) g["members"] = MembersOf(contacts.get(), g["contact_group_id"].get<std::string>()).size();
        listShape->show(ctx.out(), std::move(all));
    });

    auto* add = group->add_subcommand("add", "Add a contact group");
    auto name = std::make_shared<std::string>();
    add->add_option("name", *name, "The group's name")->required();
    auto addFields = std::make_shared<RecordOptions>(add, std::type_identity<tagContactGroupInfo>{}, kNotGiven);
    ctx.bind(add, Access::Writes, [&ctx, name, addFields] {
        if (name->empty()) throw ClientError("a contact group needs a name", 2);
        OwnedRecord<tagContactGroupInfo> info;
        addFields->apply(&info);
        SetField(*FindField(GroupDesc(), "contact_group_name"), &info, *name);
        auto groups = ctx.session().access<IContactGroupAccess>();
        RefuseTakenName(AllGroups(groups.get()), kGroupRows, *name);
        LONG err = 0;
        Bstr id;
        Check(groups->AddContactGroup(&err, &info, &id), err, "cannot add the contact group");
        ctx.out().done("added contact group " + id.utf8() + " (" + *name + ")", Json{{"contact_group_id", id.utf8()}});
    });

    auto* edit = group->add_subcommand("edit", "Change a contact group");
    auto editId = std::make_shared<std::string>();
    edit->add_option("group", *editId, "Contact group ID or name")->required();
    auto newName = std::make_shared<std::string>();
    auto* nameOption = edit->add_option("--name", *newName, "The group's new name");
    auto editFields = std::make_shared<RecordOptions>(edit, std::type_identity<tagContactGroupInfo>{}, kNotGiven);
    ctx.bind(edit, Access::Writes, [&ctx, editId, newName, nameOption, editFields] {
        const bool renamed = nameOption->count() > 0;
        ComPtr<IContactGroupAccess> groups;
        EditRecord<tagContactGroupInfo>({
            "groups edit",
            "contact group",
            editFields->given() > 0 || renamed,
            [&] {
                if (renamed && newName->empty()) throw ClientError("--name: a contact group needs a name", 2);
                CheckTextFits(*newName, "--name");
                OwnedRecord<tagContactGroupInfo> probe;
                editFields->apply(&probe);
            },
            [&](OwnedRecord<tagContactGroupInfo>* info) {
                groups = ctx.session().access<IContactGroupAccess>();
                const Json stored = LoadGroup(groups.get(), *editId);
                for (const auto& f : FieldsOf(GroupDesc())) SetFieldFromJson(f, info, stored[f.key]);
                return stored["contact_group_id"].get<std::string>();
            },
            [&](const std::string& key) {
                return editFields->value(key) != nullptr || (renamed && key == "contact_group_name");
            },
            [&](tagContactGroupInfo* info) {
                editFields->apply(info);
                if (renamed) SetField(RequireField(GroupDesc(), "contact_group_name"), info, *newName);
            },
            [&](const std::string& id, tagContactGroupInfo* info) {
                if (renamed) RefuseTakenName(AllGroups(groups.get()), kGroupRows, *newName, id);
                LONG err = 0;
                Check(groups->ModifyContactGroupByID(&err, Bstr::FromUtf8(id), info), err,
                      "cannot change contact group " + id);
            },
            [&](const std::string& id, const tagContactGroupInfo&) {
                ctx.out().done("changed contact group " + id, Json{{"contact_group_id", id}});
            },
        });
    });

    auto* rm = group->add_subcommand("rm", "Delete contact groups (their contacts stay; all or none)");
    auto rmIds = std::make_shared<std::vector<std::string>>();
    rm->add_option("groups", *rmIds, "Contact group IDs or names")->required();
    ctx.bind(rm, Access::Writes, [&ctx, rmIds] {
        auto groups = ctx.session().access<IContactGroupAccess>();
        std::vector<Json> stored;
        std::vector<std::string> ids;
        for (const auto& text : *rmIds) {
            Json g = LoadGroup(groups.get(), text);
            if (std::find(ids.begin(), ids.end(), g["contact_group_id"]) != ids.end()) continue;
            ids.push_back(g["contact_group_id"]);
            stored.push_back(std::move(g));
        }
        Transaction transaction(ctx.session());
        std::string names;
        for (const auto& g : stored) {
            const std::string id = g["contact_group_id"];
            LONG err = 0;
            Check(groups->DeleteContactGroupByID(&err, Bstr::FromUtf8(id)), err, "cannot delete contact group " + id);
            names += (names.empty() ? "" : ", ") + NameOf(g);
        }
        transaction.commit();
        ctx.out().done("deleted contact group " + names, Json{{"contact_group_ids", ids}});
    });

    auto* members = group->add_subcommand("members", "List the contacts in a group");
    auto membersId = std::make_shared<std::string>();
    members->add_option("group", *membersId, "Contact group ID or name")->required();
    auto membersShape = std::make_shared<ListOptions>(members, ContactListFields(), ContactColumns());
    ctx.bind(members, Access::Reads, [&ctx, membersId, membersShape] {
        const Json group = LoadGroup(ctx.session().access<IContactGroupAccess>().get(), *membersId);
        const auto ids = MembersOf(ctx.session().access<IContactAccess>().get(), group["contact_group_id"]);
        // The profile's contacts read once, not a lookup per member.
        const ProfileContacts all(ctx.session(), {"phone", "email"}, false);
        std::unordered_map<std::string, const tagContactInfo*> byId;
        for (const auto& contact : all.contacts()) byId.emplace(BstrUtf8(contact.bstrContactID), &contact);
        Json out = Json::array();
        for (const auto& id : ids)
            if (auto it = byId.find(id); it != byId.end()) out.push_back(ContactListItem(all, *it->second));
        membersShape->show(ctx.out(), std::move(out));
    });

    auto* join = group->add_subcommand("join", "Add contacts to a group (their other groups stay)");
    auto joinGroup = std::make_shared<std::string>();
    auto joinIds = std::make_shared<std::vector<std::string>>();
    join->add_option("group", *joinGroup, "Contact group ID or name")->required();
    join->add_option("contacts", *joinIds, "Contact IDs")->required();
    ctx.bind(join, Access::Writes, [&ctx, joinGroup, joinIds] {
        Membership m = CheckMembership(ctx, *joinGroup, *joinIds);
        std::vector<std::string> joined, already;
        for (const auto& id : m.contactIds) {
            auto groups = GroupsOfContact(m.contacts.get(), id);
            if (std::find(groups.begin(), groups.end(), m.groupId) != groups.end()) {
                already.push_back(id);
                continue;
            }
            // Add mode keeps the contact's other memberships.
            LONG err = 0;
            const Bstr contact = Bstr::FromUtf8(id), group = Bstr::FromUtf8(m.groupId);
            Check(m.contacts->AddContactToContactGroup(&err, contact, group, VARIANT_TRUE), err,
                  "cannot add contact " + id + " to group " + m.groupId);
            joined.push_back(id);
        }
        std::string message;
        if (!joined.empty()) message = "added contact " + JoinIds(joined) + " to group " + NameOf(m.group);
        if (!already.empty())
            message += (message.empty() ? "" : "; ") + std::string("already in group ") + NameOf(m.group) + ": " +
                       JoinIds(already);
        ctx.out().done(message,
                       Json{{"contact_group_id", m.groupId}, {"joined", joined}, {"already_members", already}});
    });

    auto* leave = group->add_subcommand("leave", "Remove contacts from a group");
    auto leaveGroup = std::make_shared<std::string>();
    auto leaveIds = std::make_shared<std::vector<std::string>>();
    leave->add_option("group", *leaveGroup, "Contact group ID or name")->required();
    leave->add_option("contacts", *leaveIds, "Contact IDs")->required();
    ctx.bind(leave, Access::Writes, [&ctx, leaveGroup, leaveIds] {
        Membership m = CheckMembership(ctx, *leaveGroup, *leaveIds);
        std::vector<std::string> left, notMembers;
        for (const auto& id : m.contactIds) {
            auto groups = GroupsOfContact(m.contacts.get(), id);
            if (std::find(groups.begin(), groups.end(), m.groupId) == groups.end()) {
                notMembers.push_back(id);
                continue;
            }
            LONG err = 0;
            Check(m.contacts->RemoveContactFromContactGroup(&err, Bstr::FromUtf8(id), Bstr::FromUtf8(m.groupId)), err,
                  "cannot remove contact " + id + " from group " + m.groupId);
            left.push_back(id);
        }
        std::string message;
        if (!left.empty()) message = "removed contact " + JoinIds(left) + " from group " + NameOf(m.group);
        if (!notMembers.empty())
            message += (message.empty() ? "" : "; ") + std::string("not in group ") + NameOf(m.group) + ": " +
                       JoinIds(notMembers);
        ctx.out().done(message, Json{{"contact_group_id", m.groupId}, {"left", left}, {"not_members", notMembers}});
    });
}

}  // namespace calyra::cli
