// contacts list|find|show|add|edit|rm|clear, and removing one detail item:
// contacts phones|emails|addresses|urls|ims rm.
#include <algorithm>

#include "cli/command_context.h"
#include "cli/list_options.h"
#include "cli/record_edit.h"
#include "cli/record_options.h"
#include "commands/command_tree.h"
#include "commands/edit_in_editor.h"
#include "idl/owned_record.h"
#include "platform/bstr.h"
#include "records/contact_details.h"
#include "records/contact_records.h"
#include "records/contact_search.h"
#include "records/profile_contacts.h"
#include "records/record_fields.h"
#include "records/record_rows.h"
#include "records/text_limits.h"
#include "session/client_error.h"
#include "session/record_id.h"
#include "session/transaction.h"
#include "tables/sql_text.h"

namespace calyra::cli {
namespace {

// The repeatable detail options (--phone, --email, ...) of one command and,
// on edit, the --clear-phones, --clear-emails ... flags. CLI11 writes into
// the per-family slots, which are sized before any option is bound to them.
class DetailOptions {
public:
    struct Items {
        const DetailFamily* family;
        bool clear;
        std::vector<DetailFields> added;
    };

    DetailOptions(CLI::App* command, bool withClear) : m_slots(DetailFamilies().size()) {
        for (size_t i = 0; i < m_slots.size(); ++i) {
            const DetailFamily& family = DetailFamilies()[i];
            command->add_option(family.option(), m_slots[i].texts, DetailHelp(family))
                ->type_name(std::string(family.syntax))
                ->allow_extra_args(false);
            if (withClear)
                command->add_flag("--clear-" + std::string(family.plural), m_slots[i].clear,
                                  "Remove the contact's " + std::string(family.plural) + " first");
        }
    }

    size_t given() const {
        size_t n = 0;
        for (const auto& slot : m_slots) n += slot.texts.size() + (slot.clear ? 1 : 0);
        return n;
    }

    // Every option text read, before anything is written; throws
    // ClientError (status 2) for the first text that cannot be read.
    std::vector<Items> parse() const {
        std::vector<Items> out;
        for (size_t i = 0; i < m_slots.size(); ++i) {
            Items items{&DetailFamilies()[i], m_slots[i].clear, {}};
            for (const auto& text : m_slots[i].texts) items.added.push_back(ParseDetail(*items.family, text));
            out.push_back(std::move(items));
        }
        return out;
    }

private:
    struct Slot {
        std::vector<std::string> texts;
        bool clear = false;
    };
    std::vector<Slot> m_slots;
};

// Clears what was asked, then adds the new items; the first item of a
// family that has none is its primary one.
void WriteDetails(IContactAccess* contacts, const std::string& id, const std::vector<DetailOptions::Items>& all) {
    for (const auto& items : all) {
        const DetailFamily& family = *items.family;
        if (items.clear) family.clear(family, contacts, id);
        if (items.added.empty()) continue;
        bool primary = items.clear || family.list(family, contacts, id).empty();
        for (const auto& fields : items.added) {
            family.add(family, contacts, id, fields, primary);
            primary = false;
        }
    }
}

// Deleting a contact leaves its instant-messaging addresses behind in the
// component; the client removes them too so no orphans stay.
void DeleteContact(IContactAccess* contacts, const std::string& id) {
    LONG err = 0;
    Check(contacts->DeleteContactByID(&err, Bstr::FromUtf8(id)), err, "cannot delete contact " + id);
    const DetailFamily& ims = *FindDetailFamily("im");
    ims.clear(ims, contacts, id);
}

std::string DisplayName(const tagContactInfo& c) {
    std::string name = BstrUtf8(c.bstrFirstName);
    const std::string last = BstrUtf8(c.bstrLastName);
    if (!last.empty()) name += (name.empty() ? "" : " ") + last;
    if (name.empty()) name = BstrUtf8(c.bstrCompanyName);
    return name.empty() ? "" : " (" + name + ")";
}

// The profile's contacts as lists show them; with a query, only those it
// finds.
Json ListContacts(Session& session, const ContactQuery* query = nullptr) {
    const ProfileContacts all(session, {"phone", "email"}, false);
    Json out = Json::array();
    for (const auto& c : all.contacts())
        if (!query || query->matches(all, c)) out.push_back(ContactListItem(all, c));
    return out;
}

// contacts phones rm CONTACT ITEM...: each family's items go one by one.
// Every item must be the contact's before any goes, and the contact counts
// as changed.
void AddDetailRemoval(CLI::App* contactsGroup, CommandContext& ctx, const DetailFamily& family) {
    const std::string plural(family.plural), what(family.what);
    auto* group = contactsGroup->add_subcommand(
        plural, "Remove some of a contact's " + plural + " by their IDs: " + plural + " rm CONTACT ID...");
    group->require_subcommand(1);
    auto* rm =
        group->add_subcommand("rm", "Remove " + plural + " of a contact by their IDs (contacts show lists them)");
    auto contactId = std::make_shared<std::string>();
    auto itemIds = std::make_shared<std::vector<std::string>>();
    rm->add_option("contact", *contactId, "Contact ID")->required();
    rm->add_option("items", *itemIds, "IDs of the " + plural)->required();
    ctx.bind(rm, Access::Writes, [&ctx, &family, contactId, itemIds, what] {
        const std::string& id = *contactId;
        const auto items = UniqueIds(*itemIds);
        for (const auto& item : items) CheckedId(item, what);
        auto contacts = ctx.session().access<IContactAccess>();
        RequireContact(contacts.get(), id);
        const Json stored = family.list(family, contacts.get(), id);
        const std::string idKey = FieldsOf(*family.record).front().key;
        for (const auto& item : items)
            if (std::none_of(stored.begin(), stored.end(), [&](const Json& s) { return s[idKey] == item; }))
                throw ClientError("contact " + id + " has no " + what + " " + item + "; nothing removed");
        Transaction transaction(ctx.session());
        for (const auto& item : items) family.remove(family, contacts.get(), item);
        transaction.run(SqlText(u"UPDATE [tContact] SET [Modified] = '")
                            .AppendNow()
                            .Append(u"' WHERE [ContactID] = '")
                            .AppendQuoted(Utf8ToUtf16(id))
                            .Append(u"';"),
                        "cannot mark contact " + id + " as changed");
        transaction.commit();
        ctx.out().done("removed " + what + " " + JoinIds(items) + " of contact " + id,
                       Json{{"contact_id", id}, {"removed", items}});
    });
}

Json ShowContact(IContactAccess* contacts, const std::string& id) {
    OwnedRecord<tagContactInfo> contact;
    LoadContact(contacts, id, &contact);
    Json item = ToJson(static_cast<const tagContactInfo&>(contact));
    for (const auto& family : DetailFamilies()) item[std::string(family.plural)] = family.list(family, contacts, id);
    // The membership list carries only the group's ID, name and stamp.
    LONG err = 0, count = 0;
    OwnedRecordArray<tagContactGroupInfo> groups;
    Check(contacts->GetContactGroupsByContactID(&err, Bstr::FromUtf8(id), &count, &groups), err,
          "cannot read the groups of contact " + id);
    Json list = Json::array();
    for (const auto& g : groups) {
        Json group{{"contact_group_id", BstrUtf8(g.bstrContactGroupID)},
                   {"contact_group_name", BstrUtf8(g.bstrContactGroupName)}};
        if (std::find(list.begin(), list.end(), group) == list.end()) list.push_back(std::move(group));
    }
    item["groups"] = std::move(list);
    return item;
}

}  // namespace

void AddContactCommands(CLI::App& app, CommandContext& ctx) {
    auto* group = app.add_subcommand("contacts", "Contacts with their addresses, phones, e-mail, web and IM addresses");
    group->footer(
        "A title or suffix shows (in lists, show and exports) only when it was set through calyra: a record that "
        "never had one reads as none. --title mrs and --suffix sr are stored so that they read back as chosen; "
        "--title none clears it.");
    group->require_subcommand(1);
    const std::vector<std::string> kNotGiven{"contact_id", "modified"};

    auto* list = group->add_subcommand("list", "List the contacts of the profile");
    auto listShape = std::make_shared<ListOptions>(list, ContactListFields(), ContactColumns());
    ctx.bind(list, Access::Reads, [&ctx, listShape] { listShape->show(ctx.out(), ListContacts(ctx.session())); });

    auto* find = group->add_subcommand(
        "find",
        "Find contacts by name, company, e-mail or phone number (case and accents ignored; a number matches "
        "however it is written: +49 30 1234567, 0049301234567 and 030 1234567 are one number)");
    find->footer(
        "Every word of TEXT must occur in a first, middle, last or nick name, the company or an e-mail address. A "
        "TEXT of only digits, spaces and +-()./ with at least 6 digits also finds the phone numbers that end with "
        "its digits (or that its digits end with), after dropping a leading +, 00 or 0.");
    auto findText = std::make_shared<std::string>();
    find->add_option("text", *findText, "What to look for")->required();
    auto findShape = std::make_shared<ListOptions>(find, ContactListFields(), ContactColumns());
    ctx.bind(find, Access::Reads, [&ctx, findText, findShape] {
        const ContactQuery query(*findText);
        findShape->show(ctx.out(), ListContacts(ctx.session(), &query));
    });

    auto* show = group->add_subcommand("show", "Show a contact with its details and groups");
    auto showId = std::make_shared<std::string>();
    show->add_option("id", *showId, "Contact ID")->required();
    ctx.bind(show, Access::Reads,
             [&ctx, showId] { ctx.out().object(ShowContact(ctx.session().access<IContactAccess>().get(), *showId)); });

    auto* add = group->add_subcommand("add", "Add a contact");
    auto addFields = std::make_shared<RecordOptions>(add, std::type_identity<tagContactInfo>{}, kNotGiven);
    auto addDetails = std::make_shared<DetailOptions>(add, false);
    ctx.bind(add, Access::Writes, [&ctx, addFields, addDetails] {
        if (addFields->given() + addDetails->given() == 0)
            throw ClientError("nothing to add: give at least one field or detail (see contacts add --help)", 2);
        OwnedRecord<tagContactInfo> info;
        addFields->apply(&info);
        const auto details = addDetails->parse();

        auto contacts = ctx.session().access<IContactAccess>();
        LONG err = 0;
        Bstr newId;
        Check(contacts->AddContact(&err, &info, &newId), err, "cannot add the contact");
        const std::string id = newId.utf8();
        try {
            WriteDetails(contacts.get(), id, details);
        } catch (...) {
            // No half-made contact stays behind.
            try {
                DeleteContact(contacts.get(), id);
            } catch (const ClientError&) {
            }
            throw;
        }
        ctx.out().done("added contact " + id + DisplayName(info), Json{{"contact_id", id}});
    });

    auto* edit = group->add_subcommand("edit", "Change a contact; detail options add details");
    auto editId = std::make_shared<std::string>();
    edit->add_option("id", *editId, "Contact ID")->required();
    auto editFields = std::make_shared<RecordOptions>(edit, std::type_identity<tagContactInfo>{}, kNotGiven);
    auto editDetails = std::make_shared<DetailOptions>(edit, true);
    auto editor = AddEditorFlag(edit, EditorKind::Contact);
    ctx.bind(edit, Access::Writes, [&ctx, editId, editFields, editDetails, editor] {
        if (EditIfAsked(ctx, *editId, *editor, editFields->given() + editDetails->given() > 0, EditorKind::Contact))
            return;
        ComPtr<IContactAccess> contacts;
        decltype(editDetails->parse()) details;
        EditRecord<tagContactInfo>({
            "contacts edit",
            "contact",
            editFields->given() + editDetails->given() > 0,
            [&] {
                OwnedRecord<tagContactInfo> probe;
                editFields->apply(&probe);
                details = editDetails->parse();
            },
            [&](OwnedRecord<tagContactInfo>* info) {
                contacts = ctx.session().access<IContactAccess>();
                LoadContact(contacts.get(), *editId, info);
                return *editId;
            },
            [&](const std::string& key) { return editFields->value(key) != nullptr; },
            [&](tagContactInfo* info) { editFields->apply(info); },
            [&](const std::string& id, tagContactInfo* info) {
                // Written even when only details change, so the contact's
                // modification stamp tells that it changed.
                LONG err = 0;
                Check(contacts->ModifyContactByID(&err, Bstr::FromUtf8(id), info), err, "cannot change contact " + id);
                WriteDetails(contacts.get(), id, details);
            },
            [&](const std::string& id, const tagContactInfo& info) {
                ctx.out().done("changed contact " + id + DisplayName(info), Json{{"contact_id", id}});
            },
        });
    });

    auto* rm = group->add_subcommand("rm", "Delete contacts with their details and memberships (all or none)");
    auto rmIds = std::make_shared<std::vector<std::string>>();
    rm->add_option("ids", *rmIds, "Contact IDs")->required();
    ctx.bind(rm, Access::Writes, [&ctx, rmIds] {
        const auto ids = UniqueIds(*rmIds);
        for (const auto& id : ids) CheckedId(id, "contact");
        auto contacts = ctx.session().access<IContactAccess>();
        std::string names;
        for (const auto& id : ids) {
            OwnedRecord<tagContactInfo> info;
            LoadContact(contacts.get(), id, &info);
            names += (names.empty() ? "" : ", ") + id + DisplayName(info);
        }
        Transaction transaction(ctx.session());
        for (const auto& id : ids) DeleteContact(contacts.get(), id);
        transaction.commit();
        ctx.out().done("deleted contact " + names, Json{{"contact_ids", ids}});
    });

    auto* clear = group->add_subcommand("clear", "Delete every contact of the profile");
    auto yes = std::make_shared<bool>(false);
    clear->add_flag("--yes", *yes, "Confirm deleting every contact of the profile");
    ctx.bind(clear, Access::Writes, [&ctx, yes] {
        if (!*yes) throw ClientError("contacts clear deletes every contact of the profile; add --yes to confirm", 2);
        auto contacts = ctx.session().access<IContactAccess>();
        LONG err = 0, count = 0;
        OwnedRecordArray<tagContactInfo> all;
        Check(contacts->GetAllContacts(&err, &count, &all), err, "cannot list the contacts");
        Check(contacts->DeleteAllContacts(&err), err, "cannot delete the contacts");
        // As with one contact: their instant-messaging addresses go too.
        const DetailFamily& ims = *FindDetailFamily("im");
        for (const auto& c : all) ims.clear(ims, contacts.get(), BstrUtf8(c.bstrContactID));
        const LONG n = std::max<LONG>(all.size(), 0);
        ctx.out().done("deleted " + std::to_string(n) + (n == 1 ? " contact" : " contacts"), Json{{"deleted", n}});
    });

    for (const auto& family : DetailFamilies()) AddDetailRemoval(group, ctx, family);
}

}  // namespace calyra::cli
