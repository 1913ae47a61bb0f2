// contacts list|find|show|add|edit|rm|clear, and removing one detail item:
// contacts phones|emails|addresses|urls|ims rm.
#include <algorithm>

#include "cli/command_context.h"
#include "cli/list_options.h"
#include "cli/record_commands.h"
#include "cli/record_edit.h"
#include "cli/record_options.h"
#include "commands/command_tree.h"
#include "commands/edit_in_editor.h"
#include "idl/owned_record.h"
#include "import_export/side_rows.h"
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
// Named, not anonymous: the commands library is compiled a few files at a
// time, and each family has its own AddOptions, RunAdd, ...
namespace contact_commands {

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

    void add(CLI::App& command, bool withClear) {
        m_slots.resize(DetailFamilies().size());
        for (size_t i = 0; i < m_slots.size(); ++i) {
            const DetailFamily& family = DetailFamilies()[i];
            command.add_option(family.option(), m_slots[i].texts, DetailHelp(family))
                ->type_name(std::string(family.syntax))
                ->allow_extra_args(false);
            if (withClear)
                command.add_flag("--clear-" + std::string(family.plural), m_slots[i].clear,
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
struct DetailRemoval {
    const DetailFamily* family = nullptr;
    std::string contactId;
    std::vector<std::string> itemIds;
};

void DeclareDetailRemoval(CLI::App& rm, DetailRemoval& o) {
    const std::string plural(o.family->plural);
    rm.add_option("contact", o.contactId, "Contact ID")->required();
    rm.add_option("items", o.itemIds, "IDs of the " + plural)->required();
}

void RunDetailRemoval(CommandContext& ctx, const DetailRemoval& o) {
    const DetailFamily& family = *o.family;
    const std::string what(family.what);
    const std::string& id = o.contactId;
    CheckedId(id, "contact");
    const auto items = UniqueIds(o.itemIds);
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
}

void AddDetailRemoval(CLI::App& contactsGroup, CommandContext& ctx, const DetailFamily& family) {
    const std::string plural(family.plural);
    auto* group = contactsGroup.add_subcommand(
        plural, "Remove some of a contact's " + plural + " by their IDs: " + plural + " rm CONTACT ID...");
    group->require_subcommand(1);
    AddCommand<DetailRemoval>(*group, ctx, "rm",
                              "Remove " + plural + " of a contact by their IDs (contacts show lists them)",
                              Access::Writes, DeclareDetailRemoval, RunDetailRemoval, DetailRemoval{&family, {}, {}});
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

Json ContactRows(CommandContext& ctx) { return ListContacts(ctx.session()); }

Json FindContact(CommandContext& ctx, const std::string& id) {
    OwnedRecord<tagContactInfo> contact;
    LoadContact(ctx.session().access<IContactAccess>().get(), id, &contact);
    return ToJson(static_cast<const tagContactInfo&>(contact));
}

Json ShowFound(CommandContext& ctx, const Json& found) {
    return ShowContact(ctx.session().access<IContactAccess>().get(), found["contact_id"]);
}

std::string ContactName(const Json& c) {
    std::string name = JsonText(c["first_name"]);
    const std::string last = JsonText(c["last_name"]);
    if (!last.empty()) name += (name.empty() ? "" : " ") + last;
    return name.empty() ? JsonText(c["company_name"]) : name;
}

std::string ContactLabel(const Json& c) {
    const std::string name = ContactName(c);
    return JsonText(c["contact_id"]) + (name.empty() ? "" : " (" + name + ")");
}

void RemoveContact(CommandContext& ctx, Transaction&, const std::string& id) {
    DeleteContact(ctx.session().access<IContactAccess>().get(), id);
    KeepSideRowCurrent(ctx.session(), ItemFamily::Contact, id);
}

const std::vector<std::string> kNotGiven{"contact_id", "modified"};

constexpr RecordFamily kContacts{
    "contact",     "contact_id", "contact_ids",     "id",           "Contact ID", "ids",
    "Contact IDs", false,        ContactListFields, ContactColumns, ContactRows,  FindContact,
    ShowFound,     ContactLabel, nullptr,           RemoveContact,
};

struct FindOptions {
    std::string text;
    ListOptions shape;
};

void DeclareFind(CLI::App& find, FindOptions& o) {
    find.footer(
        "Every word of TEXT must occur in a first, middle, last or nick name, the company or an e-mail address. A "
        "TEXT of only digits, spaces and +-()./ with at least 6 digits also finds the phone numbers that end with "
        "its digits (or that its digits end with), after dropping a leading +, 00 or 0.");
    find.add_option("text", o.text, "What to look for")->required();
    o.shape.add(find, ContactListFields(), ContactColumns());
}

void RunFind(CommandContext& ctx, const FindOptions& o) {
    const ContactQuery query(o.text);
    o.shape.show(ctx.out(), ListContacts(ctx.session(), &query));
}

struct AddOptions {
    RecordOptions fields;
    DetailOptions details;
};

void DeclareAdd(CLI::App& add, AddOptions& o) {
    o.fields.add(add, std::type_identity<tagContactInfo>{}, kNotGiven);
    o.details.add(add, false);
}

void RunAdd(CommandContext& ctx, const AddOptions& o) {
    if (o.fields.given() + o.details.given() == 0)
        throw ClientError("nothing to add: give at least one field or detail (see contacts add --help)", 2);
    // A contact without any name cannot be told from another in a list;
    // the editor refuses one the same way.
    const auto named = [&o](const char* key) {
        const std::string* value = o.fields.value(key);
        return value && !value->empty();
    };
    if (!named("first_name") && !named("middle_name") && !named("last_name") && !named("nick_name") &&
        !named("company_name"))
        throw ClientError("a contact needs a name: give --first-name, --last-name, --nick-name or --company-name", 2);
    std::vector<DetailOptions::Items> details;
    AddRecord<tagContactInfo>(ctx, {
                                       kContacts,
                                       [&](tagContactInfo* info) {
                                           o.fields.apply(info);
                                           details = o.details.parse();
                                       },
                                       [&](tagContactInfo* info) {
                                           auto contacts = ctx.session().access<IContactAccess>();
                                           LONG err = 0;
                                           Bstr newId;
                                           Check(contacts->AddContact(&err, info, &newId), err,
                                                 "cannot add the contact");
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
                                           return id;
                                       },
                                       [](const tagContactInfo& info) { return ContactName(ToJson(info)); },
                                       nullptr,
                                   });
}

struct EditOptions {
    std::string id;
    RecordOptions fields;
    DetailOptions details;
    bool editor = false;
};

void DeclareEdit(CLI::App& edit, EditOptions& o) {
    edit.add_option("id", o.id, "Contact ID")->required();
    o.fields.add(edit, std::type_identity<tagContactInfo>{}, kNotGiven);
    o.details.add(edit, true);
    AddEditorFlag(edit, EditorKind::Contact, o.editor);
}

void RunEdit(CommandContext& ctx, const EditOptions& o) {
    CheckedId(o.id, "contact");
    const size_t given = o.fields.given() + o.details.given();
    if (EditIfAsked(ctx, o.id, o.editor, given > 0, EditorKind::Contact)) return;
    ComPtr<IContactAccess> contacts;
    std::vector<DetailOptions::Items> details;
    EditRecord<tagContactInfo>({
        "contacts edit",
        "contact",
        given > 0,
        [&] {
            OwnedRecord<tagContactInfo> probe;
            o.fields.apply(&probe);
            details = o.details.parse();
        },
        [&](OwnedRecord<tagContactInfo>* info) {
            contacts = ctx.session().access<IContactAccess>();
            LoadContact(contacts.get(), o.id, info);
            return o.id;
        },
        [&](const std::string& key) { return o.fields.value(key) != nullptr; },
        [&](tagContactInfo* info) { o.fields.apply(info); },
        [&](const std::string& id, tagContactInfo* info) {
            // Written even when only details change, so the contact's
            // modification stamp tells that it changed.
            LONG err = 0;
            Check(contacts->ModifyContactByID(&err, Bstr::FromUtf8(id), info), err, "cannot change contact " + id);
            WriteDetails(contacts.get(), id, details);
            KeepSideRowCurrent(ctx.session(), ItemFamily::Contact, id);
        },
        [&](const std::string& id, const tagContactInfo& info) {
            ctx.out().done("changed contact " + id + DisplayName(info), Json{{"contact_id", id}});
        },
    });
}

struct ClearOptions {
    bool yes = false;
};

void DeclareClear(CLI::App& clear, ClearOptions& o) {
    clear.add_flag("--yes", o.yes, "Confirm deleting every contact of the profile");
}

void RunClear(CommandContext& ctx, const ClearOptions& o) {
    if (!o.yes) throw ClientError("contacts clear deletes every contact of the profile; add --yes to confirm", 2);
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
}

constexpr CommandRow kContactCommands[] = {
    ListRow<kContacts>("List the contacts of the profile"),
    Row<FindOptions, DeclareFind, RunFind>(
        "find",
        "Find contacts by name, company, e-mail or phone number (case and accents ignored; a number matches "
        "however it is written: +49 30 1234567, 0049301234567 and 030 1234567 are one number)",
        Access::Reads),
    ShowRow<kContacts>("Show a contact with its details and groups"),
    Row<AddOptions, DeclareAdd, RunAdd>("add", "Add a contact", Access::Writes),
    Row<EditOptions, DeclareEdit, RunEdit>("edit", "Change a contact; detail options add details", Access::Writes),
    RmRow<kContacts>("Delete contacts with their details and memberships (all or none)"),
    Row<ClearOptions, DeclareClear, RunClear>("clear", "Delete every contact of the profile", Access::Writes),
};

}  // namespace contact_commands

void AddContactCommands(CLI::App& app, CommandContext& ctx) {
    CLI::App* group = AddGroup(
        app, ctx,
        {"contacts", "Contacts with their addresses, phones, e-mail, web and IM addresses",
         "A title or suffix shows (in lists, show and exports) only when it was set through calyra: a record that "
         "never had one reads as none. --title mrs and --suffix sr are stored so that they read back as chosen; "
         "--title none clears it.",
         contact_commands::kContactCommands});
    for (const auto& family : DetailFamilies()) contact_commands::AddDetailRemoval(*group, ctx, family);
}

}  // namespace calyra::cli
