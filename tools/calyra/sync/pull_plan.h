// What a sync must download: the server's view of a collection (a full
// ETag listing, or the changes sync-collection reported) against the hrefs
// and ETags the last sync left in the sync state. An item whose ETag is
// what we last saw (our own PUT coming back, or nothing new) is not
// fetched; one without an ETag always is, since it cannot be compared.
//
// Hrefs are compared by HrefKey, so two escapings of one name match.
//
// Ownership: values. Thread-safety: pure.
#pragma once

#include <cstddef>
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

// From a full listing: whatever is known but not listed was removed.
PullPlan PlanFromListing(const std::vector<KnownItem>& known, const std::vector<dav::ItemRef>& listing);
// From sync-collection changes: only what they name is looked at. The
// hrefs to fetch are moved out of `changes` (on a first pull they are the
// whole collection).
PullPlan PlanFromChanges(const std::vector<KnownItem>& known, dav::SyncChanges changes);

}  // namespace calyra::sync
