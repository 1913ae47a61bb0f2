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
// Importing is idempotent. An entry is matched first by its UID: the one
// the side store keeps for a contact imported before, or the one an export
// gave a contact made in calyra (derived from the profile and the row, so
// it holds also when the side state was lost). Without a UID match, an
// entry is matched by who it is, by the rules `contacts find` uses: the
// same last and first name compared without case and accents (a middle
// name that only one side gives does not count against it; the company
// when the card names no person) and at least one shared phone number (the
// same number however it is dialled: "030 1234567", "+49 30 1234567") or
// e-mail address (without case), or neither side having any. A stored
// contact with a UID of its own is never matched to a card with another
// UID. Contacts are looked up a batch at a time, through the match keys the
// side store keeps (the folded names), so an import holds one batch and its
// candidates in memory, never the whole profile. Each stored contact
// matches at most one entry of an import, and contacts the import added
// match none, so a file that holds the same card twice keeps both on
// every re-import.
//
// Every stored card leaves in the side store, in the same savepoint: its
// UID, the card's own text (what the records cannot hold: photos, labels,
// X- properties, a birthday without a year) and a hash of the contact as
// stored. An export lays the stored fields over that text: what the
// records hold wins where it differs from what the card would store,
// everything else comes back as it came in.
//
// Photos are kept that way too, inside the kept card, not as files beside
// the database named by the record's photo path: the card is written in
// the same transaction as the contact (a failed or killed import leaves no
// stray file, a rolled-back one no missing photo), it goes wherever the
// database file is copied, and the path column keeps what other programs
// put there. Other programs do not see the photo either way.
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
// Ownership: the importer holds its access objects, the current batch's
// candidates and the batches it has not stored yet; cards still
// unstored when it is destroyed are dropped, so an import ends with
// finish(). Thread-safety: one thread, like the session; the importer plans
// the next batch on a thread of its own, which touches neither the session
// nor the report.
#pragma once

#include <array>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "idl/calyra_idl.h"
#include "import_export/import_report.h"
#include "interchange/contact_card.h"
#include "platform/com_ptr.h"
#include "records/profile_contacts.h"
#include "session/session.h"
#include "side_store/side_store.h"

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

    // The card a stored contact exports as: the records' fields laid over
    // the card it came from (`side`, its side row; none for a contact the
    // side store does not know), with its kept UID or else its derived one.
    static interchange::ContactCard exported(const ProfileContacts& all, const tagContactInfo& contact,
                                             const SideItem* side, SideStore& store, const std::string& profileId);

private:
    struct Planned;
    struct PlannedBatch;
    struct Candidate {
        const tagContactInfo* record;  // in m_batchStored
        std::string id;
        long long number;                 // the ID as a number: claims and ties are told by it
        std::string uid;                  // kept in the side store; empty when none
        std::vector<std::string> phones;  // as stored
        std::vector<std::string> emails;  // folded
    };
    // What storing a card left for the side store, written after the batch.
    struct Stored {
        std::string id;
        const Planned* planned;
        bool added;
        bool changed;  // a matched contact the card changed
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
    static std::unique_ptr<Planned> plan(interchange::ContactCard card);
    // The planned cards' warnings and values that have no place, into the report.
    void noteDiagnostics(std::span<const std::unique_ptr<Planned>> planned,
                         std::span<const interchange::ContactCard> cards, const std::string& file);
    // Stores the group cards (KIND:group) read so far: each becomes the
    // contact group of its name, with the stored contacts its members name
    // by UID as members. Run when the import ends, after every contact.
    void storeGroupCards();
    // Reads the contacts the batch may match: by UID and by match key.
    void prepareCandidates(std::span<const std::unique_ptr<Planned>> planned);
    // Writes the side rows and match keys of the cards stored since the
    // last savepoint.
    void keepSideState();
    Candidate* match(const Planned& planned);
    std::string insert(Planned& planned);
    bool update(const Planned& planned, const Candidate& stored);
    // Adds the planned items and groups the contact lacks; true when any.
    bool addDetails(const Planned& planned, const std::string& contactId, const ProfileContacts* stored);
    std::string groupId(const std::string& name);

    Session& m_session;
    ImportReport& m_report;
    ComPtr<IContactAccess> m_contacts;
    ComPtr<IContactGroupAccess> m_groups;
    std::unique_ptr<SideStore> m_side;
    std::string m_profileId;
    std::unique_ptr<ProfileContacts> m_batchStored;  // the candidates of the batch being stored
    // The profile's detail rows by contact, listed when a second batch has
    // candidates (without it each batch scans every detail table whole) and
    // caught up with the rows the import added before each read.
    std::unique_ptr<ContactDetailIndex> m_detailIndex;
    size_t m_candidateReads = 0;  // batches that read candidates
    std::vector<Candidate> m_candidates;
    std::map<std::string, SideItem> m_candidateSides;       // their side rows, by ID
    std::unordered_map<std::string, size_t> m_byUid;        // kept or derived UID -> m_candidates index
    std::unordered_multimap<std::string, size_t> m_byName;  // match key -> m_candidates index
    // Stored contacts matched by an entry of this import, by number: a
    // re-import of a large profile claims every contact, and a number
    // holds a third of what a text in a tree did.
    std::unordered_set<long long> m_claimedIds;
    // Contacts above it were added by this import: the engine numbers a new
    // row past every key the table has had, and the import holds the write
    // lock throughout, so no set of them is needed.
    long long m_addedAbove = 0;
    std::vector<long long> m_claimed;                                            // claimed since the last savepoint
    std::vector<Stored> m_storedSince;                                           // stored since the last savepoint
    std::vector<std::pair<interchange::ContactCard, std::string>> m_groupCards;  // with their files
    bool m_adding = false;                                                       // finish() runs inside add()
    bool m_startedEmpty = true;                     // the profile had no contact when the import began
    std::map<std::string, std::string> m_groupIds;  // name -> ID; filled on first use
    std::vector<std::string> m_newGroups;           // made since the last savepoint
    bool m_groupsLoaded = false;
    std::future<std::unique_ptr<PlannedBatch>> m_planning;  // the batch the next call stores
    std::unique_ptr<PlannedBatch> m_storedBatch;            // stored; freed by the next planning
};

// What a check of the current profile's contacts against their side rows
// found: contacts whose hash no longer matches (changed by another program
// since calyra stored them).
struct ContactSideCheck {
    size_t checked = 0;                // contacts with a side row
    std::vector<std::string> changed;  // their IDs
};
// Compares every contact of the current profile that has a side row with
// the hash kept for it, a chunk at a time. With `repair` (inside the
// caller's Transaction) it also keeps the hashes of the contacts as they
// are now and rebuilds every contact's match keys.
ContactSideCheck CheckContactSideState(Session& session, bool repair);
// The hash the side store keeps for the stored contact `id` of the current
// profile, made from the contact as it reads back; none when the profile
// has no such contact.
std::optional<std::string> StoredContactHash(Session& session, const std::string& id);

// Every contact of the current profile as a card, in the order the
// component lists them, handed to `visit` one at a time (read a chunk at a
// time: memory follows the chunk, not the profile).
void ExportContacts(Session& session, const std::function<void(interchange::ContactCard& card)>& visit);
// The same, all at once.
std::vector<interchange::ContactCard> ExportContacts(Session& session);
// Every contact group of the current profile as a group card (KIND:group),
// its members named by "urn:uuid:" and their UIDs, so that importing the
// cards after the contacts makes the same groups again.
void ExportGroups(Session& session, const std::function<void(interchange::ContactCard& card)>& visit);
// One contact of the current profile as a card; throws ClientError when the
// profile has no contact `id`.
interchange::ContactCard ExportContact(Session& session, const std::string& id);

}  // namespace calyra::cli
