// Every contact of the current profile with the detail items and group
// memberships a command asks for, read in one pass: the contacts through
// GetAllContacts (or, for some contacts named by ID, one query through the
// contact table's column map), then one query per detail family and one
// for the memberships, grouped by contact in memory.
//
// The detail tables have no index on [ContactID], so a query per contact
// would scan a whole table for every contact: listing or exporting would
// grow with the square of the address book. One query per family keeps
// them linear. Items come in the order the per-contact operations give
// them (the table's key order) and read as the same JSON (ToJson of the
// family's record).
//
// A ProfileContacts may also hold only some contacts, named by ID (an
// import's candidates, a batch being exported): then its queries ask for
// those contacts alone, and memory follows their number, not the
// profile's. Each such read scans every detail table once, unless it is
// given a ContactDetailIndex: a walk over the whole profile in chunks, or
// an import of many batches, lists the items by contact once first, so
// each read looks its items up instead.
//
// Ownership: the object owns the records and the JSON it hands out by
// reference; they live as long as it does. Thread-safety: one thread, like
// the session it reads through.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "idl/calyra_idl.h"
#include "idl/owned_record.h"
#include "output/output.h"
#include "records/contact_details.h"
#include "records/record_rows.h"
#include "session/query_rows.h"
#include "session/session.h"
#include "session/temporary_table.h"
#include "tables/sql_text.h"

namespace calyra::cli {

// A group a contact belongs to.
struct GroupRef {
    std::string id;
    std::string name;
};

class ContactDetailIndex;

class ProfileContacts {
public:
    // Reads the profile's contacts, the items of the families named
    // ("phone", "email"; DetailFamilies() names them all) and, with
    // `withGroups`, every contact's groups. Throws ClientError when a
    // query fails.
    ProfileContacts(Session& session, std::initializer_list<std::string_view> families, bool withGroups);
    // Every family and the groups.
    explicit ProfileContacts(Session& session);
    // Only the contacts of the current profile named in `ids` (those it
    // has), with every family and their groups; through `index` when given
    // (one made since the last change to the profile's contacts).
    ProfileContacts(Session& session, const std::vector<std::string>& ids, const ContactDetailIndex* index = nullptr);
    ProfileContacts(const ProfileContacts&) = delete;
    ProfileContacts& operator=(const ProfileContacts&) = delete;

    // The contacts in the order the component lists them (empty when the
    // object holds only some contacts).
    const OwnedRecordArray<tagContactInfo>& contacts() const { return m_contacts; }
    // The contact with that ID among those read; nullptr when not.
    const tagContactInfo* contact(const std::string& id) const;
    // The family's items of the contact as `family.list` gives them; an
    // empty array when it has none or the family was not read.
    const Json& items(const DetailFamily& family, const std::string& contactId) const;
    // The contact's groups, each once, in the order they were joined.
    const std::vector<GroupRef>& groups(const std::string& contactId) const;

private:
    struct Details {
        std::array<Json, kDetailFamilyCount> items;  // null (nothing allocated) until a family's first item
        std::vector<GroupRef> groups;
    };

    void readFamily(Session& session, size_t index, const SqlText& contacts);
    void readGroups(Session& session, const SqlText& contacts);

    OwnedRecordArray<tagContactInfo> m_contacts;
    RecordRows<tagContactInfo> m_some;                    // the contacts read by ID
    std::unordered_map<std::string, size_t> m_someIndex;  // ID -> m_some index
    std::unordered_map<std::string, Details> m_details;   // by contact ID
};

// The profile's detail items and group memberships listed by contact, in a
// temporary table of the session's connection: other clients of the file
// never see it, and it goes with this object. The detail tables have no
// index on [ContactID] (and must get none, as other clients share the
// file), so a read of a chunk of contacts scans each of them whole; made
// once per walk, this list lets each chunk look its rows up, which keeps a
// walk over a large profile linear. Where the connection refuses
// temporary tables, reads scan as before. Thread-safety: one thread, like
// the session.
//
// Rows added after the list was made are not in it until catchUp() lists
// them: each table's rows above the largest key listed so far (the detail
// tables never reuse a key, and the membership table numbers a new row
// past its largest). The list keeps that key in rows of its own (contact
// -1), so a rollback takes it back with the rows.
class ContactDetailIndex {
public:
    explicit ContactDetailIndex(Session& session);

    // Lists the rows added since the list was made or last caught up, of
    // every contact; a statement apiece per table, each a search by key.
    void catchUp();
    // `contacts` (" IN (...)") narrowed to the rows the list holds for
    // them: of detail family `family` (its DetailFamilies() place), or with
    // kDetailFamilyCount of the membership table; `contacts` alone without
    // a list.
    SqlText narrowed(size_t family, const SqlText& contacts) const;

private:
    static std::vector<SqlText> Statements(Session& session);

    Session& m_session;
    TemporaryTable m_list;
};

// The contact table's columns, as ContactsAfter reads them.
std::span<const calyra::FieldMap> ContactTableColumns();
// " IN (...)": the contacts of the session's profile, for a query's
// [ContactID] condition.
SqlText ContactsOfProfile(Session& session);
// The memberships (contact ID, group ID, group name) in the session's
// profile's groups of the contacts `contacts` (" IN (...)") names, in the
// order they were made; a pair the membership table holds twice comes
// twice.
TextRows ContactGroupRows(Session& session, const SqlText& contacts);

// The profile's contacts with IDs above `afterId` (from the first when
// empty), in ID order, at most `limit`: a walk through a large address
// book a chunk at a time, records as GetAllContacts gives them.
RecordRows<tagContactInfo> ContactsAfter(Session& session, const std::string& afterId, LONG limit);

// A contact as lists show it: every field plus "phone" and "email", the
// primary (else the first) of each, or null. `all` must hold the phones
// and e-mails.
Json ContactListItem(const ProfileContacts& all, const tagContactInfo& contact);
// The keys of a ContactListItem: the contact's fields, then "phone" and
// "email".
std::vector<std::string> ContactListFields();

}  // namespace calyra::cli
