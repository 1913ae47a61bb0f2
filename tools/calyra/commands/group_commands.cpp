// groups list|add|edit|rm|members|join|leave: contact groups of the current
// profile and who is in them. Every command that takes a group takes its
// ID or its name.
//
// Thread-safety: one thread, as every command.
#include <algorithm>
#include <unordered_map>

#include "cli/record_commands.h"
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
// Named, not anonymous: the commands library is compiled a few files at a
// time, and each family has its own AddOptions, RunAdd, ...
namespace group_commands {

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

const std::vector<std::string>& GroupColumns() {
    static const std::vector<std::string> columns{"contact_group_id", "contact_group_name", "to_be_synced", "members"};
    return columns;
}
std::vector<std::string> GroupFields() { return ListOptions::KeysOf(GroupDesc(), {"members"}); }

Json GroupRows(CommandContext& ctx) {
    auto contacts = ctx.session().access<IContactAccess>();
    Json all = AllGroups(ctx.session().access<IContactGroupAccess>().get());
    for (auto& g : all) g["members"] = MembersOf(contacts.get(), g["contact_group_id"].get<std::string>()).size();
    return all;
}

Json FindGroup(CommandContext& ctx, const std::string& text) {
    return LoadGroup(ctx.session().access<IContactGroupAccess>().get(), text);
}

std::string GroupLabel(const Json& group) { return NameOf(group); }

void RemoveGroup(CommandContext& ctx, Transaction&, const std::string& id) {
    LONG err = 0;
    Check(ctx.session().access<IContactGroupAccess>()->DeleteContactGroupByID(&err, Bstr::FromUtf8(id)), err,
          "cannot delete contact group " + id);
}

constexpr RecordFamily kGroups{
    "contact group",
    "contact_group_id",
    "contact_group_ids",
    "group",
    "Contact group ID or name",
    "groups",
    "Contact group IDs or names",
    true,
    GroupFields,
    GroupColumns,
    GroupRows,
    FindGroup,
    nullptr,
    GroupLabel,
    nullptr,
    RemoveGroup,
};

struct AddOptions {
    std::string name;
    RecordOptions fields;
};

void DeclareAdd(CLI::App& add, AddOptions& o) {
    add.add_option("name", o.name, "The group's name")->required();
    o.fields.add(add, std::type_identity<tagContactGroupInfo>{}, kNotGiven);
}

void RunAdd(CommandContext& ctx, const AddOptions& o) {
    if (o.name.empty()) throw ClientError("a contact group needs a name", 2);
    AddRecord<tagContactGroupInfo>(ctx, {
                                            kGroups,
                                            [&](tagContactGroupInfo* info) {
                                                o.fields.apply(info);
                                                SetField(RequireField(GroupDesc(), "contact_group_name"), info, o.name);
                                            },
                                            [&](tagContactGroupInfo* info) {
                                                auto groups = ctx.session().access<IContactGroupAccess>();
                                                RefuseTakenName(AllGroups(groups.get()), kGroupRows, o.name);
                                                LONG err = 0;
                                                Bstr id;
                                                Check(groups->AddContactGroup(&err, info, &id), err,
                                                      "cannot add the contact group");
                                                return id.utf8();
                                            },
                                            [&](const tagContactGroupInfo&) { return o.name; },
                                            nullptr,
                                        });
}

struct EditOptions {
    std::string group;
    std::string newName;
    CLI::Option* nameOption = nullptr;
    RecordOptions fields;
};

void DeclareEdit(CLI::App& edit, EditOptions& o) {
    edit.add_option("group", o.group, "Contact group ID or name")->required();
    o.nameOption = edit.add_option("--name", o.newName, "The group's new name");
    o.fields.add(edit, std::type_identity<tagContactGroupInfo>{}, kNotGiven);
}

void RunEdit(CommandContext& ctx, const EditOptions& o) {
    const bool renamed = o.nameOption->count() > 0;
    ComPtr<IContactGroupAccess> groups;
    EditRecord<tagContactGroupInfo>({
        "groups edit",
        "contact group",
        o.fields.given() > 0 || renamed,
        [&] {
            if (renamed && o.newName.empty()) throw ClientError("--name: a contact group needs a name", 2);
            CheckTextFits(o.newName, "--name");
            OwnedRecord<tagContactGroupInfo> probe;
            o.fields.apply(&probe);
        },
        [&](OwnedRecord<tagContactGroupInfo>* info) {
            groups = ctx.session().access<IContactGroupAccess>();
            const Json stored = LoadGroup(groups.get(), o.group);
            for (const auto& f : FieldsOf(GroupDesc())) SetFieldFromJson(f, info, stored[f.key]);
            return stored["contact_group_id"].get<std::string>();
        },
        [&](const std::string& key) {
            return o.fields.value(key) != nullptr || (renamed && key == "contact_group_name");
        },
        [&](tagContactGroupInfo* info) {
            o.fields.apply(info);
            if (renamed) SetField(RequireField(GroupDesc(), "contact_group_name"), info, o.newName);
        },
        [&](const std::string& id, tagContactGroupInfo* info) {
            if (renamed) RefuseTakenName(AllGroups(groups.get()), kGroupRows, o.newName, id);
            LONG err = 0;
            Check(groups->ModifyContactGroupByID(&err, Bstr::FromUtf8(id), info), err,
                  "cannot change contact group " + id);
        },
        [&](const std::string& id, const tagContactGroupInfo&) {
            ctx.out().done("changed contact group " + id, Json{{"contact_group_id", id}});
        },
    });
}

struct MembersOptions {
    std::string group;
    ListOptions shape;
};

void DeclareMembers(CLI::App& members, MembersOptions& o) {
    members.add_option("group", o.group, "Contact group ID or name")->required();
    o.shape.add(members, ContactListFields(), ContactColumns());
}

void RunMembers(CommandContext& ctx, const MembersOptions& o) {
    const Json group = LoadGroup(ctx.session().access<IContactGroupAccess>().get(), o.group);
    const auto ids = MembersOf(ctx.session().access<IContactAccess>().get(), group["contact_group_id"]);
    // The profile's contacts read once, not a lookup per member.
    const ProfileContacts all(ctx.session(), {"phone", "email"}, false);
    std::unordered_map<std::string, const tagContactInfo*> byId;
    for (const auto& contact : all.contacts()) byId.emplace(BstrUtf8(contact.bstrContactID), &contact);
    Json out = Json::array();
    for (const auto& id : ids)
        if (auto it = byId.find(id); it != byId.end()) out.push_back(ContactListItem(all, *it->second));
    o.shape.show(ctx.out(), std::move(out));
}

// join and leave: a group and contacts.
struct MembershipOptions {
    std::string group;
    std::vector<std::string> contacts;
};

void DeclareMembership(CLI::App& command, MembershipOptions& o) {
    command.add_option("group", o.group, "Contact group ID or name")->required();
    command.add_option("contacts", o.contacts, "Contact IDs")->required();
}

void RunJoin(CommandContext& ctx, const MembershipOptions& o) {
    Membership m = CheckMembership(ctx, o.group, o.contacts);
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
    ctx.out().done(message, Json{{"contact_group_id", m.groupId}, {"joined", joined}, {"already_members", already}});
}

void RunLeave(CommandContext& ctx, const MembershipOptions& o) {
    Membership m = CheckMembership(ctx, o.group, o.contacts);
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
        message +=
            (message.empty() ? "" : "; ") + std::string("not in group ") + NameOf(m.group) + ": " + JoinIds(notMembers);
    ctx.out().done(message, Json{{"contact_group_id", m.groupId}, {"left", left}, {"not_members", notMembers}});
}

constexpr CommandRow kGroupCommands[] = {
    ListRow<kGroups>("List the contact groups with their member counts"),
    Row<AddOptions, DeclareAdd, RunAdd>("add", "Add a contact group", Access::Writes),
    Row<EditOptions, DeclareEdit, RunEdit>("edit", "Change a contact group", Access::Writes),
    RmRow<kGroups>("Delete contact groups (their contacts stay; all or none)"),
    Row<MembersOptions, DeclareMembers, RunMembers>("members", "List the contacts in a group", Access::Reads),
    Row<MembershipOptions, DeclareMembership, RunJoin>("join", "Add contacts to a group (their other groups stay)",
                                                       Access::Writes),
    Row<MembershipOptions, DeclareMembership, RunLeave>("leave", "Remove contacts from a group", Access::Writes),
};

}  // namespace group_commands

void AddContactGroupCommands(CLI::App& app, CommandContext& ctx) {
    AddGroup(app, ctx, {"groups", "Contact groups and their members", nullptr, group_commands::kGroupCommands});
}

}  // namespace calyra::cli
