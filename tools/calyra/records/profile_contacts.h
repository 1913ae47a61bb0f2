// Every contact of the current profile with the detail items and group
// memberships a command asks for, read in one pass: the contacts through
// GetAllContacts, then one query per detail family and one for the
// memberships over the whole profile, grouped by contact in memory.
//
// The detail tables have no index on [ContactID], so a query per contact
// would scan a whole table for every contact: listing or exporting would
// grow with the square of the address book. One query per family keeps
// them linear. Items come in the order the per-contact operations give
// them (the table's key order) and read as the same JSON (ToJson of the
// family's record).
//
// Ownership: the object owns the records and the JSON it hands out by
// reference; they live as long as it does. Thread-safety: one thread, like
// the session it reads through.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "idl/calyra_idl.h"
#include "idl/owned_record.h"
#include "output/output.h"
#include "records/contact_details.h"
#include "session/session.h"

namespace calyra::cli {

// A group a contact belongs to.
struct GroupRef {
    std::string id;
    std::string name;
};

class ProfileContacts {
public:
    // Reads the profile's contacts, the items of the families named
    // ("phone", "email"; DetailFamilies() names them all) and, with
    // `withGroups`, every contact's groups. Throws ClientError when a
    // query fails.
    ProfileContacts(Session& session, std::initializer_list<std::string_view> families, bool withGroups);
    // Every family and the groups.
    explicit ProfileContacts(Session& session);
    ProfileContacts(const ProfileContacts&) = delete;
    ProfileContacts& operator=(const ProfileContacts&) = delete;

    // The contacts in the order the component lists them.
    const OwnedRecordArray<tagContactInfo>& contacts() const { return m_contacts; }
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

    void readFamily(Session& session, size_t index);
    void readGroups(Session& session);

    OwnedRecordArray<tagContactInfo> m_contacts;
    std::unordered_map<std::string, Details> m_details;  // by contact ID
};

// A contact as lists show it: every field plus "phone" and "email", the
// primary (else the first) of each, or null. `all` must hold the phones
// and e-mails.
Json ContactListItem(const ProfileContacts& all, const tagContactInfo& contact);
// The keys of a ContactListItem: the contact's fields, then "phone" and
// "email".
std::vector<std::string> ContactListFields();

}  // namespace calyra::cli
