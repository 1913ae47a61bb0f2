#include "sync/pull_plan.h"

#include <algorithm>
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

void ListingPlan::listed(const std::vector<dav::ItemRef>& chunk, const std::vector<KnownItem>& known) {
    const auto byKey = ByKey(known);
    std::unordered_set<uint64_t> added;
    added.reserve(chunk.size());
    for (const dav::ItemRef& item : chunk) {
        const std::string key = dav::HrefKey(item.href);
        const uint64_t hash = Hash64(key);
        if (std::binary_search(m_listed.begin(), m_listed.end(), hash) || !added.insert(hash).second)
            continue;  // listed twice
        Consider(byKey, key, item.href, item.etag, m_plan);
    }
    // Kept sorted by merging each chunk in: a chunk's hashes are looked up
    // by binary search, and the listing is never held to be sorted at once.
    const auto middle = static_cast<std::ptrdiff_t>(m_listed.size());
    m_listed.insert(m_listed.end(), added.begin(), added.end());
    std::sort(m_listed.begin() + middle, m_listed.end());
    std::inplace_merge(m_listed.begin(), m_listed.begin() + middle, m_listed.end());
}

void ListingPlan::recorded(const std::vector<KnownItem>& known) {
    for (const KnownItem& k : known)
        if (!std::binary_search(m_listed.begin(), m_listed.end(), Hash64(dav::HrefKey(k.href))))
            m_plan.removed.push_back(k.href);
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
