// The side store: what the client keeps about a stored item that the
// record tables have no column for. Per item (a contact, a group, an event,
// a task, ...) it keeps the UID other programs know it by, a hash of the
// item as stored (ContentHash of what the client reads back) and the
// original text it came from (the vCard; the VEVENT or VTODO with its
// overrides), plus a match key: a normalised text an import looks
// candidates up by, a batch at a time, instead of reading the whole
// profile.
//
// The tables live in the same database file, named calyra_* (no record
// table starts so), without triggers or views, and are written through the
// session's connection: inside the command's Transaction, so an item and
// its side row are stored or rolled back together. They are created by the
// first write (put, putKeys), so a file nobody imported into stays byte for
// byte as the component leaves it. Other programs never see them. The
// tables of an older calyra are read as they are and brought to this
// version by the first write.
//
// Trust: a side row names its item by family and row ID. When the record
// table was dropped and made again (an upgrade of an older or unknown
// version does that), the engine restarts its keys and an old side row
// would name a new, unrelated item. Each write notes the table's key
// sequence; when the current sequence is lower, or the table has no
// sequence any more, the family's side rows are ignored by reads and
// deleted by the next write (or by sweep). A hash that no longer matches
// the stored item means another program changed it: that is reported
// (sweep's callers, sync), never treated as the same content.
//
// Ownership: values come back by value; the store borrows the session,
// which must outlive it. Thread-safety: one thread, like the session. All
// methods throw ClientError when the database refuses a statement.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "session/session.h"
#include "tables/sql_text.h"

namespace calyra::cli {

// The kinds of items the store keeps. FROZEN: their names are written into
// the side tables.
enum class ItemFamily { Contact, Group, Event, Task };
inline constexpr ItemFamily kItemFamilies[] = {ItemFamily::Contact, ItemFamily::Group, ItemFamily::Event,
                                               ItemFamily::Task};

// "contact", "group", "event", "task".
std::string_view FamilyName(ItemFamily family);
std::optional<ItemFamily> FamilyByName(std::string_view name);

struct SideItem {
    ItemFamily family = ItemFamily::Contact;
    std::string rowId;      // the item's record ID (decimal)
    std::string profileId;  // the profile it belongs to
    std::string uid;        // as other programs know it
    std::string hash;       // ContentHash of the item as stored
    std::string original;   // the text it came from; empty when made in calyra
    std::string matchKey;   // what an import looks it up by; empty when none
    bool operator==(const SideItem&) const = default;
};

// A match key of an item: a normalised text several items may share.
struct MatchKey {
    std::string key;
    std::string rowId;
    bool operator==(const MatchKey&) const = default;
};

// A side row whose values were written out ahead (SideRowValues), for an
// item whose row ID is known only once it is stored. Borrows its texts.
struct PreparedSideRow {
    ItemFamily family = ItemFamily::Contact;
    std::string_view rowId;
    std::string_view profileId;
    const SqlText* values = nullptr;  // SideRowValues of the item
};

// The values of an item's side row after its family, profile and row ID,
// quoted as the store's insert writes them. Touches nothing but the item,
// so an import makes them on the thread that plans a batch, off the one
// that stores it; the item's row ID and profile are not read.
SqlText SideRowValues(const SideItem& item);

// What sweep found and removed.
struct SweepReport {
    std::vector<ItemFamily> recreated;  // families whose table was made again: all their side rows dropped
    size_t orphans = 0;                 // side rows whose item is gone
};

class SideStore {
public:
    explicit SideStore(Session& session);
    SideStore(const SideStore&) = delete;
    SideStore& operator=(const SideStore&) = delete;

    // Whether the file holds side tables. Reads only.
    bool present();

    // Inserts or replaces each item's side row (one per family and row ID)
    // with its match key, creating the side tables first when the file has
    // none. The caller holds a Transaction.
    void put(const SideItem& item);
    void put(const std::vector<SideItem>& items);
    void put(std::span<const PreparedSideRow> rows);
    // Removes the item's side row and match key (nothing when it has none).
    void erase(ItemFamily family, std::string_view rowId);

    // The item's side row; none when it has none or the family's rows are
    // not to be trusted (see above).
    std::optional<SideItem> find(ItemFamily family, std::string_view rowId);
    // The profile's item of the family with that UID; the lowest row ID
    // when several share it.
    std::optional<SideItem> findByUid(std::string_view profileId, ItemFamily family, std::string_view uid);
    // findByUid for a batch: by UID, each UID once.
    std::map<std::string, SideItem> findByUids(std::string_view profileId, ItemFamily family,
                                               const std::vector<std::string>& uids);
    // find for a batch: by row ID.
    std::map<std::string, SideItem> findByRows(ItemFamily family, const std::vector<std::string>& rowIds);
    // Every side row of the family in the profile, in row ID order, read a
    // chunk at a time (memory bounded by the chunk, not the profile).
    void forEach(std::string_view profileId, ItemFamily family, const std::function<void(SideItem&)>& visit);
    // Every trusted side row of the family in every profile, in row ID order.
    void forEach(ItemFamily family, const std::function<void(SideItem&)>& visit);

    // Sets the match key of each listed item of the profile (row ID, key;
    // an empty key: none); an item without a side row gets a row holding
    // only its key, which the reads above do not see (a contact another
    // program stored, found by an import).
    void putKeys(ItemFamily family, std::string_view profileId,
                 const std::vector<std::pair<std::string, std::string>>& keyByRow);
    // The profile's items of the family holding any of `keys`, by key then
    // row ID.
    std::vector<MatchKey> findKeys(std::string_view profileId, ItemFamily family, const std::vector<std::string>& keys);
    // Deletes the side rows of families whose table was made again and of
    // items that are gone, and notes the tables' current sequences. Does
    // nothing (and creates nothing) in a file without side tables. The
    // caller holds a Transaction.
    SweepReport sweep();
    // Brings side tables an older calyra made to this version (each item's
    // match key into its row); nothing in a file without side tables or
    // with current ones. The caller holds a Transaction. Every write does
    // it first.
    void upgrade();
    // What sweep would remove, without writing anything.
    SweepReport inspect();

    // A UID for an item made in calyra, built only from what the record
    // tables keep (the profile's ID and device fields, the family, the row
    // ID): losing the side state and deriving again gives the same UID.
    std::string derivedUid(std::string_view profileId, ItemFamily family, std::string_view rowId);
    // The row ID a derived UID of this profile and family names; none when
    // `uid` is no such UID.
    std::optional<std::string> rowOfDerivedUid(std::string_view profileId, ItemFamily family, std::string_view uid);
    // The kept UID of the item, else its derived one.
    std::string uidOf(std::string_view profileId, ItemFamily family, std::string_view rowId);

private:
    // Whether the family's side rows may be read; computed once per store
    // (writes keep it current).
    bool trusted(ItemFamily family);
    // Creates the tables when missing and drops untrusted families' rows.
    void prepareWrite();
    void noteSequence(ItemFamily family);
    // Side rows (not key-only ones) of the family whose item is gone.
    size_t countOrphans(ItemFamily family);
    std::vector<SideItem> select(const SqlText& where);
    void run(const SqlText& sql, const std::string& what);
    // Rows the last statement wrote.
    size_t changes();

    Session& m_session;
    std::optional<bool> m_present;                      // whether the tables exist; unknown until asked
    int m_version = 3;                                  // of the tables present; known once m_present is
    std::map<ItemFamily, bool> m_trusted;               // per family, once looked at
    std::map<ItemFamily, bool> m_noted;                 // sequence noted by putKeys
    std::map<std::string, std::string> m_profileSeeds;  // profile ID -> device fields for derived UIDs
};

// A hash of an item's content: 32 hex digits (128 bits) of `canonical`, a
// text that states the item as the client reads it back. Not for secrets:
// it tells changed content from unchanged.
std::string ContentHash(std::string_view canonical);
// Whether a kept hash was made by an older calyra with another function:
// it tells nothing about the item, so it is recomputed rather than taken
// for a change another program made.
bool IsOlderHash(std::string_view hash);

}  // namespace calyra::cli
