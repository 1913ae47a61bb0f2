// Two-way sync of one collection: the server's changes come in (by
// sync-collection where the server offers it, else by an ETag listing, and
// by multiget in batches), the local changes go out (PUT with If-Match for
// changed items, If-None-Match: * for new ones, DELETE with If-Match for
// deleted ones), and an item changed on both sides is merged property by
// property against the text both last agreed on.
//
// The engine knows neither the database nor the record families: a
// SyncTarget gives it the local items with their content hashes, turns
// texts into stored items and back (a multiget batch at a time, so a pull
// costs what one import of the batch costs), and keeps the sync state,
// committing what was done at each commit() (one transaction per batch, so
// a crash loses at most a batch and the next sync finds the rest by ETag
// and hash).
//
// A target may store an item without knowing its hash yet (working it out
// one item at a time would read the store once per item): the engine
// records it without one and, once the pull is done, takes the hashes from
// one more reading of localItems(). An item found without a hash (a sync
// killed in between) takes the hash it has now, as unchanged.
//
// Memory follows a batch and what changed, not the collection: local items
// come a chunk at a time and are looked up in the sync state by local ID;
// the server's changes are looked up by href; what is held for every item
// is 8 bytes (a hash of its local ID, to find the ones deleted here). A
// server without sync-collection (or one failing it) is listed in full;
// that listing is planned a chunk at a time as it arrives, holding 8 bytes
// (a hash of its href) per listed item.
//
// One item the server or the store refuses is reported by name in the
// summary and does not stop the others; a collection that cannot be
// reached at all throws.
//
// Ownership: borrows the client and the target. Thread-safety: one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "dav/dav_client.h"
#include "sync/sync_state.h"
#include "sync/three_way_merge.h"

namespace calyra::sync {

struct LocalItem {
    std::string id;    // the local row's ID
    std::string uid;   // the item's UID
    std::string hash;  // its content as stored, hashed
};

// A 64-bit hash of a text: what is held of each of a collection's items
// where a run must remember every one (eight bytes, not the text).
uint64_t Hash64(std::string_view text);

class SyncTarget {
public:
    virtual ~SyncTarget() = default;

    // The local items of the family the collection is bound to, a chunk at
    // a time; `visit` may take the values.
    virtual void localItems(const std::function<void(std::vector<LocalItem>& chunk)>& visit) = 0;
    // The item as the server should have it.
    virtual std::string exportItem(const std::string& id) = 0;
    struct Incoming {
        std::string text;
        std::string id;  // the local item it replaces; empty for a new one
    };
    struct Stored {
        LocalItem item;     // its hash may be empty: not known yet
        std::string error;  // why the store refused it; then `item` is empty
    };
    // Stores each text, replacing item `id` when it is not empty; one
    // answer per text, in order. Throws only when nothing can be stored.
    virtual std::vector<Stored> importItems(const std::vector<Incoming>& items) = 0;
    // importItems for one item; throws cli::ClientError when it is refused.
    LocalItem importItem(const std::string& text, const std::string& id);
    virtual void removeItem(const std::string& id) = 0;

    virtual std::string token() = 0;
    virtual void setToken(const std::string& token, const std::string& ctag) = 0;
    // What the last sync recorded: every item a chunk at a time, the items
    // recorded under any spelling of `hrefs` (compared by HrefKey), or those
    // of the local IDs `ids`.
    virtual void eachSynced(const std::function<void(std::vector<SyncedItem>& chunk)>& visit) = 0;
    virtual std::vector<SyncedItem> syncedAt(const std::vector<std::string>& hrefs) = 0;
    virtual std::vector<SyncedItem> syncedOf(const std::vector<std::string>& ids) = 0;
    // How many recorded items name a local item (by eachSynced, unless the
    // target counts them faster).
    virtual size_t syncedLocalCount();
    virtual std::string base(const std::string& href) = 0;
    virtual void record(const SyncedItem& item, const std::string& text) = 0;
    virtual void forget(const std::string& href) = 0;
    // Notes the hash an item recorded without one has.
    virtual void recordHash(const std::string& href, const std::string& hash) = 0;
    // Makes everything since the last commit durable (or, in a dry run,
    // throws it away).
    virtual void commit() = 0;
};

struct SyncOptions {
    Prefer prefer = Prefer::Remote;
    bool dryRun = false;  // nothing is sent that changes the server
    size_t batchSize = 100;
    std::filesystem::path conflictFolder;  // where losing versions are kept
    // Called after each item with the items done and the items planned.
    std::function<void(size_t done, size_t total)> progress;
};

struct SyncSummary {
    size_t pulled = 0, pushed = 0, deleted = 0, conflicts = 0, skipped = 0;
    std::vector<std::string> failures;       // "href: why", one per refused item
    std::vector<std::string> conflictFiles;  // the losing versions kept

    SyncSummary& operator+=(const SyncSummary& other);
};

SyncSummary SyncCollection(dav::DavClient& client, const dav::CollectionInfo& collection, dav::CollectionKind kind,
                           SyncTarget& target, const SyncOptions& options);

}  // namespace calyra::sync
