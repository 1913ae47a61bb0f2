// What a sync must download: the server's view of a collection (a full
// ETag listing, or the changes sync-collection reported) against the hrefs
// and ETags the last sync left in the sync state. An item whose ETag is
// what we last saw (our own PUT coming back, or nothing new) is not
// fetched; one without an ETag always is, since it cannot be compared.
//
// Hrefs are compared by HrefKey, so two escapings of one name match.
//
// Ownership: values. Thread-safety: pure functions; a ListingPlan belongs
// to one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "dav/dav_client.h"

namespace calyra::sync {

struct KnownItem {
    std::string href;
    std::string etag;
};

struct PullPlan {
    std::vector<std::string> fetch;    // new or changed on the server
    std::vector<std::string> removed;  // known here, gone from the server
    size_t unchanged = 0;
};

// The plan from a full listing, met a chunk at a time: each chunk of the
// listing with what is known under its hrefs, then everything known (in
// any chunks), of which whatever was not listed was removed. What is held
// for each listed item is 8 bytes (a hash of its key), not its href and
// ETag; the fetch list grows with what changed.
class ListingPlan {
public:
    // Call for every chunk of the listing before the first recorded().
    void listed(const std::vector<dav::ItemRef>& chunk, const std::vector<KnownItem>& known);
    void recorded(const std::vector<KnownItem>& known);
    PullPlan take() { return std::move(m_plan); }

private:
    PullPlan m_plan;
    std::vector<uint64_t> m_listed;  // hashes of the listed keys, sorted
};

// From sync-collection changes: only what they name is looked at. The
// hrefs to fetch are moved out of `changes` (on a first pull they are the
// whole collection).
PullPlan PlanFromChanges(const std::vector<KnownItem>& known, dav::SyncChanges changes);

}  // namespace calyra::sync
