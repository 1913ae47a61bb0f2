#include "sync/pull_plan.h"

#include <cstdint>
#include <unordered_map>
#include <unordered_set>

#include "dav/url.h"
#include "sync/sync_engine.h"

namespace calyra::sync {
namespace {

std::unordered_map<std::string, const KnownItem*> ByKey(const std::vector<KnownItem>& known) {
    std::unordered_map<std::string, const KnownItem*> out;
    out.reserve(known.size());
    for (const KnownItem& k : known) out.emplace(dav::HrefKey(k.href), &k);
    return out;
}

// An item the server names: fetched unless it is known under `key` with
// the same ETag.
void Consider(const std::unordered_map<std::string, const KnownItem*>& known, const std::string& key, std::string href,
              const std::string& etag, PullPlan& plan) {
    const auto it = known.find(key);
    if (it != known.end() && !etag.empty() && it->second->etag == etag)
        ++plan.unchanged;
    else
        plan.fetch.push_back(std::move(href));
}

}  // namespace

PullPlan PlanFromListing(const std::vector<KnownItem>& known, const std::vector<dav::ItemRef>& listing) {
    const auto byKey = ByKey(known);
    PullPlan plan;
    std::unordered_set<std::string> listed;
    listed.reserve(listing.size());
    for (const dav::ItemRef& item : listing) {
        const std::string key = dav::HrefKey(item.href);
        if (!listed.insert(key).second) continue;  // listed twice
        Consider(byKey, key, item.href, item.etag, plan);
    }
    for (const KnownItem& k : known)
        if (!listed.contains(dav::HrefKey(k.href))) plan.removed.push_back(k.href);
    return plan;
}

PullPlan PlanFromChanges(const std::vector<KnownItem>& known, dav::SyncChanges changes) {
    const auto byKey = ByKey(known);
    PullPlan plan;
    // Each change is remembered by an 8-byte hash of its key, not the key:
    // on a first pull the changes are the whole collection.
    std::unordered_set<uint64_t> seen;
    seen.reserve(changes.changed.size());
    for (dav::ItemRef& item : changes.changed) {
        const std::string key = dav::HrefKey(item.href);
        if (!seen.insert(Hash64(key)).second) continue;  // named twice
        Consider(byKey, key, std::move(item.href), item.etag, plan);
        std::string().swap(item.etag);  // freed as it goes
    }
    // A member removed and made again in one interval is reported both
    // ways by some servers: the change wins.
    for (const std::string& href : changes.removed) {
        const std::string key = dav::HrefKey(href);
        const auto it = byKey.find(key);
        if (it != byKey.end() && !seen.contains(Hash64(key))) plan.removed.push_back(it->second->href);
    }
    return plan;
}

}  // namespace calyra::sync
