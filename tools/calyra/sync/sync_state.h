// What the last sync left, per account, profile and collection: the
// collection's sync token and CTag, and per item its href, the ETag the
// server gave, its UID, the hash of the local item as it was synced, the
// text both sides agreed on (the base of a three-way merge), and whether
// it is a tombstone (deleted here, not yet on the server).
//
// The tables live in the database file beside the data, named calyra_sync_*
// (a prefix no table of the component uses), are made by the first sync
// that writes, and are written inside the caller's Transaction so an item
// and its sync state land together or not at all. Texts longer than one
// field of the connection are kept in numbered parts. A sync reads items a
// chunk of rows at a time, or by the hrefs or local IDs it asks for.
//
// Ownership: borrows the session, which must outlive it. Thread-safety:
// one thread, like the session.
#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "session/session.h"
#include "session/transaction.h"

namespace calyra::sync {

struct SyncedItem {
    std::string href;
    std::string etag;
    std::string uid;
    std::string localId;    // the local row's ID, empty when unknown
    std::string localHash;  // the local item's hash when last synced
    bool tombstone = false;
};

class SyncState {
public:
    SyncState(cli::Session& session, std::string account);

    // Whether the tables exist (nothing synced into this file yet if not).
    bool exists();
    // Makes the tables when missing; inside the caller's transaction.
    void create(cli::Transaction& tx);

    // The token and CTag of a collection; empty when never synced.
    std::pair<std::string, std::string> collectionState(const std::string& collection);
    void setCollectionState(cli::Transaction& tx, const std::string& collection, const std::string& token,
                            const std::string& ctag);

    // Every item of a collection, a chunk of rows at a time in href order.
    void eachItem(const std::string& collection, const std::function<void(std::vector<SyncedItem>& chunk)>& visit);
    // The items recorded under any spelling of `hrefs` (compared by
    // HrefKey), each once.
    std::vector<SyncedItem> itemsAt(const std::string& collection, const std::vector<std::string>& hrefs);
    // The items recorded for the local IDs `ids`.
    std::vector<SyncedItem> itemsOf(const std::string& collection, const std::vector<std::string>& ids);
    // How many items of the collection name a local item.
    size_t countWithLocalIds(const std::string& collection);
    // Whether any item of the collection has a local ID starting `prefix`.
    bool holdsLocalIds(const std::string& collection, std::string_view prefix);
    // The local IDs of a collection's items (what a calendar holds).
    std::set<std::string> localIds(const std::string& collection);
    // The text both sides had when `href` was last synced; empty if none.
    std::string base(const std::string& collection, const std::string& href);
    // Records an item as synced with `text` as the agreed version.
    void put(cli::Transaction& tx, const std::string& collection, const SyncedItem& item, const std::string& text);
    void erase(cli::Transaction& tx, const std::string& collection, const std::string& href);
    // Sets the local hash of a recorded item, leaving the rest.
    void setLocalHash(cli::Transaction& tx, const std::string& collection, const std::string& href,
                      const std::string& hash);
    // Forgets everything of a collection (its binding changed).
    void forget(cli::Transaction& tx, const std::string& collection);

private:
    SqlText where(const std::string& collection) const;
    // Rows of `collection` meeting `condition` (" AND ..."), a chunk at a
    // time.
    std::vector<SyncedItem> select(const std::string& collection, const SqlText& condition);
    // The items whose column `in` (" AND column IN (") holds one of
    // `values`, a chunk of values to a statement.
    std::vector<SyncedItem> inChunks(const std::string& collection, Sql in, const std::vector<std::string>& values);
    // The collection's hrefs that hold an escape, by HrefKey (an href
    // without one is its own key): read once, kept as rows change.
    std::multimap<std::string, std::string>& escaped(const std::string& collection);

    cli::Session& m_session;
    std::string m_account;
    std::u16string m_profile;
    std::map<std::string, std::multimap<std::string, std::string>> m_escaped;  // by collection
};

// Splits UTF-8 `text` into parts of at most `maxBytes` bytes, never inside
// a character; joined in order they give `text` back.
std::vector<std::string> SplitUtf8(const std::string& text, size_t maxBytes);

}  // namespace calyra::sync
