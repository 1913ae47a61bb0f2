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
// Importing is idempotent. An entry is matched against the profile's
// contacts as they were when the import began (read once, see
// records/profile_contacts.h) by who it is: the same name (last, first and
// middle name, or the company when the card names no person; compared
// without case and extra blanks) and at least one shared phone number
// (compared by its digits) or e-mail address (without case), or neither
// side having any. A vCard's UID would be a better key, but the records
// have no place to keep one; a name alone would merge two people of the
// same name. Each stored contact matches at most one entry of an import, so
// a file that holds the same card twice keeps both on every re-import.
//
// A matched entry adds what the stored contact lacks and never takes away:
// the card's non-empty fields replace the record's, its details and groups
// that are not stored yet are added. When that changes nothing the entry is
// reported unchanged, otherwise updated.
//
// The command runs a whole import in one Transaction; a batch of cards is
// stored under a savepoint. When the database refuses a card half-way, the
// batch is undone and stored again a card at a time, each card under a
// savepoint of its own, so the refused card leaves nothing behind while the
// others go on. (A savepoint per card from the start costs two statements
// per card, a tenth of an import's time.)
//
// Ownership: the importer holds its access objects, the snapshot of the
// stored contacts and the batches it has not stored yet; cards still
// unstored when it is destroyed are dropped, so an import ends with
// finish(). Thread-safety: one thread, like the session; the importer plans
// the next batch on a thread of its own, which touches neither the session
// nor the report.
#pragma once

#include <array>
#include <future>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "idl/calyra_idl.h"
#include "import_export/import_report.h"
#include "interchange/contact_card.h"
#include "platform/com_ptr.h"
#include "records/profile_contacts.h"
#include "session/session.h"

namespace calyra::cli {

class ContactImporter {
public:
    // Reads the stored contacts of the current profile to match against;
    // throws ClientError when they cannot be read.
    ContactImporter(Session& session, ImportReport& report);
    ~ContactImporter();

    // Adds, updates or finds unchanged each card, in order. When the
    // database refuses part of a card, nothing of that card stays and the
    // report says why. The cards are stored by the next call or by finish(),
    // while the next batch is prepared; returns how many cards were stored.
    size_t add(std::vector<interchange::ContactCard> cards, const std::string& file);
    // Stores the cards the last add() left; returns how many.
    size_t finish();
    // Makes the stored contact `id` what `card` says, as a person edited
    // it: fields the card carries take its values (an empty one clears the
    // field), fields it has no place for (photo, ringtone, alert) keep
    // theirs; a detail family that differs is replaced with the card's
    // items; memberships follow its categories. Returns whether anything
    // changed. Throws ClientError when the contact is not in the profile or
    // the database refuses a change (the caller's transaction undoes it).
    bool replace(const interchange::ContactCard& card, const std::string& id, const std::string& file);

private:
    struct Planned;
    struct PlannedBatch;
    struct Candidate {
        size_t index;                   // into m_stored->contacts()
        std::vector<std::string> keys;  // phone digits and e-mail addresses, sorted
        bool claimed = false;
    };

    enum class Outcome { Added, Updated, Unchanged };
    // Stores the planned cards under one savepoint and counts them. When
    // the database refuses one, undoes them all and returns what it said.
    std::optional<std::string> store(std::span<const std::unique_ptr<Planned>> planned);
    // Stores one card and claims the contact it matched; throws ClientError
    // when the database refuses part of it.
    Outcome store(Planned& planned);

    // What storing the card would write; touches nothing but the card, so
    // it may run on another thread.
    static std::unique_ptr<Planned> plan(const interchange::ContactCard& card);
    // The planned cards' warnings and values that have no place, into the report.
    void noteDiagnostics(std::span<const std::unique_ptr<Planned>> planned,
                         std::span<const interchange::ContactCard> cards, const std::string& file);
    Candidate* match(const Planned& planned);
    void insert(Planned& planned);
    bool update(const Planned& planned, const Candidate& stored);
    // Adds the planned items and groups the contact lacks; true when any.
    bool addDetails(const Planned& planned, const std::string& contactId, const ProfileContacts* stored);
    std::string groupId(const std::string& name);

    Session& m_session;
    ImportReport& m_report;
    ComPtr<IContactAccess> m_contacts;
    ComPtr<IContactGroupAccess> m_groups;
    std::unique_ptr<ProfileContacts> m_stored;
    std::vector<Candidate> m_candidates;
    std::unordered_multimap<std::string, size_t> m_byName;  // name key -> m_candidates index
    std::map<std::string, std::string> m_groupIds;          // name -> ID; filled on first use
    std::vector<std::string> m_newGroups;                   // made since the last savepoint
    std::vector<size_t> m_claimed;                          // m_candidates claimed since the last savepoint
    bool m_groupsLoaded = false;
    std::future<std::unique_ptr<PlannedBatch>> m_planning;  // the batch the next call stores
    std::unique_ptr<PlannedBatch> m_storedBatch;            // stored; freed by the next planning
};

// Every contact of the current profile as a card, in the order the
// component lists them.
std::vector<interchange::ContactCard> ExportContacts(Session& session);
// One contact of the current profile as a card; throws ClientError when the
// profile has no contact `id`.
interchange::ContactCard ExportContact(Session& session, const std::string& id);

}  // namespace calyra::cli
