// Contact cards in and out of the current profile: a ContactCard becomes a
// contact record with its addresses, phone numbers, e-mail, web and
// instant-messaging addresses and its group memberships (categories name
// groups, created when the profile has none of that name); a stored
// contact becomes a card again.
//
// What the records cannot hold is reported, not guessed: titles and
// suffixes other than the record's (Mrs, Ms, Dr, Prof, Miss; Sr, Jr, I, II,
// III), dates without a year. The record's title 0 (Mrs) and suffix 0 (Sr)
// are also what an empty record holds, so they are exported as no title.
//
// Ownership: the importer holds its access objects. Thread-safety: one
// thread, like the session.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "idl/calyra_idl.h"
#include "import_export/import_report.h"
#include "interchange/contact_card.h"
#include "platform/com_ptr.h"
#include "shell/session.h"

namespace calyra::cli {

class ContactImporter {
public:
    ContactImporter(Session& session, ImportReport& report);

    // Adds one card. When the database refuses part of it, nothing of the
    // card stays and the report says why; existing data is never changed.
    void add(const interchange::ContactCard& card, const std::string& file);

private:
    std::string groupId(const std::string& name);
    void addCard(const interchange::ContactCard& card, const std::string& file, const std::string& contactId);

    ImportReport& m_report;
    ComPtr<IContactAccess> m_contacts;
    ComPtr<IContactGroupAccess> m_groups;
    std::map<std::string, std::string> m_groupIds;  // name -> ID; filled on first use
    bool m_groupsLoaded = false;
};

// Every contact of the current profile as a card, in the order the
// component lists them.
std::vector<interchange::ContactCard> ExportContacts(Session& session);

}  // namespace calyra::cli
