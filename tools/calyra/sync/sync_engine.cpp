#include "sync/sync_engine.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <map>
#include <optional>
#include <unordered_map>

#include "dav/dav_error.h"
#include "dav/url.h"
#include "session/client_error.h"
#include "sync/pull_plan.h"

namespace calyra::sync {
namespace {

using dav::DavError;
using dav::ErrorKind;

// A truncated sync-collection answer is asked again from its token; a
// server that never finishes is not followed forever.
constexpr int kMaxSyncRounds = 1000;
constexpr int kMaxPutAttempts = 3;
// Hrefs looked up in the sync state at once.
constexpr size_t kLookUpChunk = 1000;

// A file or href name from a UID: what is safe in both, the rest as '_'.
std::string SafeName(const std::string& uid) {
    std::string out;
    for (char c : uid) {
        const bool safe = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                          c == '_' || c == '.' || c == '@';
        out += safe ? c : '_';
    }
    if (out.empty() || out.size() > 120) out = std::to_string(std::hash<std::string>{}(uid));
    return out;
}

// Failures of one item; a server that cannot be reached stops the sync.
bool IsItemFailure(const DavError& e) {
    return e.kind() == ErrorKind::Http || e.kind() == ErrorKind::Xml || e.kind() == ErrorKind::TooLarge;
}

// The items of `found` by the key of their href.
std::unordered_map<std::string, SyncedItem> ByKey(std::vector<SyncedItem> found) {
    std::unordered_map<std::string, SyncedItem> out;
    for (SyncedItem& item : found) {
        std::string key = dav::HrefKey(item.href);
        out.emplace(std::move(key), std::move(item));
    }
    return out;
}

// What a pull plan needs of recorded items: href and ETag.
std::vector<KnownItem> KnownOf(std::vector<SyncedItem> items) {
    std::vector<KnownItem> out;
    out.reserve(items.size());
    for (SyncedItem& item : items) out.push_back({std::move(item.href), std::move(item.etag)});
    return out;
}

class Run {
public:
    Run(dav::DavClient& client, const dav::CollectionInfo& collection, dav::CollectionKind kind, SyncTarget& target,
        const SyncOptions& options)
        : m_client(client), m_collection(collection), m_kind(kind), m_target(target), m_options(options) {}

    SyncSummary go() {
        localChanges();
        PullPlan plan = remotePlan();
        m_total = plan.fetch.size() + plan.removed.size() + m_changed.size() + m_deleted.size() + m_new.size();

        pull(std::move(plan.fetch));
        {
            auto removed = ByKey(m_target.syncedAt(plan.removed));
            for (const std::string& href : plan.removed) guarded(href, [&] { removedRemotely(removed, href); });
        }
        m_target.commit();
        // (Entries, not structured bindings: clang 14 cannot capture those.)
        for (const auto& entry : std::map(m_changed))
            guarded(entry.first, [&] { push(entry.second.first, entry.second.second); });
        for (const auto& entry : std::map(m_deleted)) guarded(entry.first, [&] { deleteRemotely(entry.second); });
        // A local item the server's copy was just stored into (the sync
        // state was lost, or both sides made the same person) is not new:
        // storing it took it off this list.
        for (const auto& entry : std::map(m_new)) guarded(entry.second.uid, [&] { create(entry.second); });
        noteHashes();
        if (m_summary.failures.empty() && !m_newToken.empty()) m_target.setToken(m_newToken, m_collection.ctag);
        m_target.commit();
        return m_summary;
    }

private:
    using Known = std::unordered_map<std::string, SyncedItem>;  // by HrefKey

    // What changed on the server since the last sync.
    PullPlan remotePlan() {
        if (!m_collection.syncToken.empty()) {
            try {
                dav::SyncChanges all;
                std::string token = m_target.token();
                for (int round = 0;; ++round) {
                    dav::SyncChanges part = m_client.syncCollection(m_collection.url, token);
                    for (auto& c : part.changed) all.changed.push_back(std::move(c));
                    for (auto& r : part.removed) all.removed.push_back(std::move(r));
                    const bool stuck = part.truncated && (part.token == token || round + 1 >= kMaxSyncRounds);
                    token = part.token;
                    // A server that truncates without moving its token on
                    // would be asked forever: list instead.
                    if (stuck) throw DavError(ErrorKind::Http, "sync-collection does not progress", 507);
                    if (!part.truncated) break;
                }
                m_newToken = token;
                // Only the items the changes name are looked up, a chunk of
                // hrefs at a time.
                std::vector<KnownItem> known;
                std::vector<std::string> named;
                const auto lookUp = [&] {
                    for (KnownItem& item : KnownOf(m_target.syncedAt(named))) known.push_back(std::move(item));
                    named.clear();
                };
                for (const dav::ItemRef& c : all.changed) {
                    named.push_back(c.href);
                    if (named.size() >= kLookUpChunk) lookUp();
                }
                for (const std::string& href : all.removed) {
                    named.push_back(href);
                    if (named.size() >= kLookUpChunk) lookUp();
                }
                lookUp();
                return PlanFromChanges(known, std::move(all));
            } catch (const DavError& e) {
                // A refused token, a failing REPORT or an unreadable answer:
                // the full listing gives the same result, only slower.
                if (e.kind() == ErrorKind::Transport || e.kind() == ErrorKind::Tls ||
                    e.kind() == ErrorKind::Unauthorized)
                    throw;
            }
            // The token to keep is the one from before the listing, so
            // nothing changed meanwhile is skipped next time.
            try {
                m_newToken = m_client.collectionInfo(m_collection.url).syncToken;
            } catch (const DavError&) {
                m_newToken.clear();
            }
        }
        // The listing is planned a chunk at a time as it arrives, each
        // chunk's hrefs looked up in the sync state; then the recorded
        // items, a chunk at a time, for those no longer listed.
        ListingPlan plan;
        std::vector<dav::ItemRef> listed;
        const auto planListed = [&] {
            std::vector<std::string> hrefs;
            hrefs.reserve(listed.size());
            for (const dav::ItemRef& item : listed) hrefs.push_back(item.href);
            plan.listed(listed, KnownOf(m_target.syncedAt(hrefs)));
            listed.clear();
        };
        m_client.listItems(m_collection.url, [&](dav::ItemRef& item) {
            listed.push_back(std::move(item));
            if (listed.size() >= kLookUpChunk) planListed();
        });
        planListed();
        m_target.eachSynced([&](std::vector<SyncedItem>& chunk) { plan.recorded(KnownOf(std::move(chunk))); });
        return plan.take();
    }

    // Sorts the local items into changed, new and (not hashed yet) to be
    // hashed, a chunk at a time; then the recorded items whose local item
    // is gone are deleted here.
    void localChanges() {
        std::vector<uint64_t> seen;  // hashes of the local IDs met
        size_t matched = 0;          // recorded items found for them
        m_target.localItems([&](std::vector<LocalItem>& chunk) {
            std::vector<std::string> ids;
            ids.reserve(chunk.size());
            for (const LocalItem& l : chunk) {
                ids.push_back(l.id);
                seen.push_back(Hash64(l.id));
            }
            // Recorded items by local ID; of two recorded for one local item
            // (the server holds it twice) the first by href stays, the other
            // goes as deleted here.
            std::map<std::string, std::vector<SyncedItem>> byId;
            for (SyncedItem& item : m_target.syncedOf(ids)) byId[item.localId].push_back(std::move(item));
            for (LocalItem& local : chunk) {
                const auto it = byId.find(local.id);
                if (it == byId.end()) {
                    m_new.emplace(local.id, std::move(local));
                    continue;
                }
                auto& rows = it->second;
                matched += rows.size();
                std::sort(rows.begin(), rows.end(),
                          [](const SyncedItem& a, const SyncedItem& b) { return a.href < b.href; });
                for (size_t i = 1; i < rows.size(); ++i) m_deleted.emplace(rows[i].href, rows[i]);
                SyncedItem& known = rows.front();
                if (known.localHash.empty())
                    m_unhashed = true;  // stored by a run that ended before it hashed it
                else if (known.localHash != local.hash)
                    m_changed[known.href] = {known, std::move(local)};
            }
        });
        // Every recorded item was met: none is deleted here, no need to look.
        if (matched >= m_target.syncedLocalCount()) return;
        std::sort(seen.begin(), seen.end());
        m_target.eachSynced([&](std::vector<SyncedItem>& chunk) {
            for (SyncedItem& item : chunk)
                if (!item.localId.empty() && !std::binary_search(seen.begin(), seen.end(), Hash64(item.localId)))
                    m_deleted[item.href] = std::move(item);
        });
    }

    void step() {
        ++m_done;
        if (m_options.progress) m_options.progress(m_done, m_total);
    }

    void fail(const std::string& what, const std::string& why) {
        m_summary.failures.push_back(what + ": " + why);
        ++m_summary.skipped;
    }

    // Runs one item's work; what the server or the store refuses is that
    // item's failure, not the sync's.
    template <class Work>
    void guarded(const std::string& what, Work&& work) {
        try {
            work();
        } catch (const cli::ClientError& e) {
            fail(what, e.what());
        } catch (const DavError& e) {
            if (!IsItemFailure(e)) throw;
            fail(what, e.what());
        }
        step();
    }

    // A multiget batch arrived: its items and those the server no longer
    // has, with what was recorded of them.
    void batchArrived(const std::vector<dav::Item>& items, const std::vector<std::string>& missing) {
        std::vector<std::string> hrefs = missing;
        for (const dav::Item& item : items) hrefs.push_back(item.href);
        Known known = ByKey(m_target.syncedAt(hrefs));
        arrived(known, items);
        for (const std::string& href : missing) guarded(href, [&] { removedRemotely(known, href); });
    }

    // Fetches `hrefs` a batch at a time; each batch's hrefs are freed once
    // it is stored (the list is as long as what changed on the server).
    void pull(std::vector<std::string> hrefs) {
        const size_t size = std::max<size_t>(m_options.batchSize, 1);
        bool oneByOne = false;  // the server failed a multiget
        for (size_t from = 0; from < hrefs.size(); from += size) {
            const auto first = hrefs.begin() + static_cast<std::ptrdiff_t>(from);
            const std::vector<std::string> slice(
                std::make_move_iterator(first),
                std::make_move_iterator(first + static_cast<std::ptrdiff_t>(std::min(size, hrefs.size() - from))));
            if (!oneByOne) {
                try {
                    m_client.multiget(m_collection.url, m_kind, slice, size, [&](dav::MultigetBatch& batch) {
                        batchArrived(batch.items, batch.missing);
                        m_target.commit();
                    });
                    continue;
                } catch (const DavError& e) {
                    // A server that fails multiget can still serve each item.
                    if (!IsItemFailure(e)) throw;
                    oneByOne = true;
                }
            }
            std::vector<dav::Item> items;
            std::vector<std::string> missing;
            for (const std::string& href : slice)
                guarded(href, [&] {
                    if (std::optional<dav::Item> item = m_client.get(href))
                        items.push_back(std::move(*item));
                    else
                        missing.push_back(href);
                });
            batchArrived(items, missing);
            m_target.commit();
        }
    }

    // New or changed items from the server: those changed here too are
    // merged one by one, the rest stored together.
    void arrived(const Known& recorded, const std::vector<dav::Item>& items) {
        std::vector<SyncTarget::Incoming> incoming;
        std::vector<std::pair<const dav::Item*, std::string>> plain;  // with the href they are known by
        for (const dav::Item& remote : items) {
            const auto at = recorded.find(dav::HrefKey(remote.href));
            const SyncedItem* known = at == recorded.end() ? nullptr : &at->second;
            const std::string href = known ? known->href : remote.href;
            std::string localId = known ? known->localId : "";
            if (known) {
                if (auto changed = m_changed.find(href); changed != m_changed.end()) {
                    const LocalItem local = changed->second.second;
                    m_changed.erase(changed);
                    const SyncedItem agreed = *known;
                    guarded(remote.href, [&] { merge(agreed, local, remote); });
                    continue;
                }
                if (auto gone = m_deleted.find(href); gone != m_deleted.end()) {
                    // Changed there, deleted here: the change is kept.
                    m_deleted.erase(gone);
                    localId.clear();
                }
            }
            incoming.push_back({remote.data, localId});
            plain.emplace_back(&remote, href);
        }
        if (incoming.empty()) return;
        std::vector<SyncTarget::Stored> stored;
        try {
            stored = m_target.importItems(incoming);
        } catch (const cli::ClientError& e) {
            for (const auto& item : plain) {
                fail(item.second, e.what());
                step();
            }
            return;
        }
        for (size_t i = 0; i < plain.size(); ++i) {
            const dav::Item& remote = *plain[i].first;
            const std::string& href = plain[i].second;
            guarded(remote.href, [&] {
                if (i >= stored.size()) throw cli::ClientError("the store gave no answer for it");
                if (!stored[i].error.empty()) throw cli::ClientError(stored[i].error);
                const LocalItem& local = stored[i].item;
                note({href, remote.etag, local.uid, local.id, local.hash, false}, remote.data);
                ++m_summary.pulled;
            });
        }
    }

    void store(const std::string& href, const dav::Item& remote, const std::string& localId) {
        const LocalItem stored = m_target.importItem(remote.data, localId);
        note({href, remote.etag, stored.uid, stored.id, stored.hash, false}, remote.data);
        ++m_summary.pulled;
    }

    // Records `item` as synced with `text` agreed; one stored without a
    // hash gets it at the end of the run.
    void note(const SyncedItem& item, const std::string& text) {
        m_target.record(item, text);
        m_new.erase(item.localId);
        if (item.localHash.empty()) m_unhashed = true;
    }

    // The hashes of the items recorded without one, from one more reading
    // of the local side.
    void noteHashes() {
        if (!m_unhashed) return;
        m_target.localItems([&](std::vector<LocalItem>& chunk) {
            std::unordered_map<std::string, const LocalItem*> byId;
            std::vector<std::string> ids;
            for (const LocalItem& local : chunk) {
                byId.emplace(local.id, &local);
                ids.push_back(local.id);
            }
            for (const SyncedItem& item : m_target.syncedOf(ids))
                if (item.localHash.empty())
                    if (const auto it = byId.find(item.localId); it != byId.end())
                        m_target.recordHash(item.href, it->second->hash);
        });
        m_unhashed = false;
    }

    // Both sides changed `known`: merge against the agreed text, store the
    // result here and send it back when it differs from the server's.
    void merge(const SyncedItem& known, const LocalItem& local, const dav::Item& remote) {
        const std::string localText = m_target.exportItem(local.id);
        const MergeResult merged = MergeThreeWay(m_target.base(known.href), localText, remote.data, m_options.prefer);
        if (!merged.conflicts.empty())
            keepLoser(known.href, m_options.prefer == Prefer::Remote ? localText : remote.data);
        const LocalItem stored = m_target.importItem(merged.text, local.id);
        std::string etag = remote.etag;
        std::string agreed = remote.data;
        if (merged.text != remote.data) {
            if (m_options.dryRun) {
                ++m_summary.pushed;
            } else {
                const dav::PutResult put = m_client.put(known.href, merged.text, m_kind, remote.etag);
                if (put.status != dav::WriteStatus::Done)
                    throw cli::ClientError("the server changed it again while merging; the next sync retries");
                ++m_summary.pushed;
                etag = put.etag;
                agreed = merged.text;
                if (etag.empty()) std::tie(etag, agreed) = fetchBack(known.href, merged.text);
            }
        } else {
            ++m_summary.pulled;
        }
        note({known.href, etag, stored.uid, stored.id, stored.hash, false}, agreed);
    }

    // The ETag and text of an item the server stored without saying its
    // ETag (it may have rewritten it).
    std::pair<std::string, std::string> fetchBack(const std::string& href, const std::string& sent) {
        const std::optional<dav::Item> back = m_client.get(href);
        if (!back) return {"", sent};
        return {back->etag, back->data};
    }

    void keepLoser(const std::string& href, const std::string& text) {
        ++m_summary.conflicts;
        if (m_options.conflictFolder.empty()) return;
        std::error_code ec;
        std::filesystem::create_directories(m_options.conflictFolder, ec);
        const std::string leaf = dav::UrlPath(m_client.urlOf(href));
        const std::string name = SafeName(leaf.substr(leaf.find_last_of('/') + 1)) + ".conflict";
        std::filesystem::path file = m_options.conflictFolder / name;
        for (int n = 2; std::filesystem::exists(file, ec) && n < 1000; ++n)
            file = m_options.conflictFolder / (name + "-" + std::to_string(n));
        std::ofstream(file, std::ios::binary) << text;
        m_summary.conflictFiles.push_back(file.string());
    }

    void removedRemotely(const Known& recorded, const std::string& href) {
        const auto at = recorded.find(dav::HrefKey(href));
        if (at == recorded.end()) return;
        const SyncedItem& known = at->second;
        if (auto changed = m_changed.find(known.href); changed != m_changed.end()) {
            // Deleted there, changed here: the change is kept and sent as new.
            m_new.emplace(changed->second.second.id, changed->second.second);
            m_changed.erase(changed);
            m_target.forget(known.href);
            return;
        }
        if (auto gone = m_deleted.find(known.href); gone != m_deleted.end()) {
            m_deleted.erase(gone);  // deleted on both sides
        } else if (!known.localId.empty()) {
            m_target.removeItem(known.localId);
            ++m_summary.deleted;
        }
        m_target.forget(known.href);
    }

    void push(const SyncedItem& known, const LocalItem& local) {
        const std::string& href = known.href;
        std::string text = m_target.exportItem(local.id);
        std::string etag = known.etag;
        for (int attempt = 0; attempt < kMaxPutAttempts; ++attempt) {
            if (m_options.dryRun) {
                ++m_summary.pushed;
                return;
            }
            const dav::PutResult put =
                m_client.put(href, text, m_kind, etag.empty() ? "*" : etag);  // "*": it must exist
            if (put.status == dav::WriteStatus::Done) {
                ++m_summary.pushed;
                auto [newEtag, agreed] =
                    put.etag.empty() ? fetchBack(href, text) : std::pair<std::string, std::string>{put.etag, text};
                m_target.record({href, newEtag, local.uid, local.id, local.hash, false}, agreed);
                return;
            }
            if (put.status == dav::WriteStatus::Gone) {
                m_target.forget(href);
                return create(local);
            }
            // Changed on the server since we looked: merge with what it has now.
            const std::optional<dav::Item> remote = m_client.get(href);
            if (!remote) {
                m_target.forget(href);
                return create(local);
            }
            const MergeResult merged = MergeThreeWay(m_target.base(href), text, remote->data, m_options.prefer);
            if (!merged.conflicts.empty()) keepLoser(href, m_options.prefer == Prefer::Remote ? text : remote->data);
            const LocalItem stored = m_target.importItem(merged.text, local.id);
            if (merged.text == remote->data) {
                note({href, remote->etag, stored.uid, stored.id, stored.hash, false}, remote->data);
                ++m_summary.pulled;
                return;
            }
            text = merged.text;
            etag = remote->etag;
        }
        throw cli::ClientError("the server kept changing it; the next sync retries");
    }

    void deleteRemotely(const SyncedItem& known) {
        const std::string& href = known.href;
        if (m_options.dryRun) {
            ++m_summary.deleted;
            return;
        }
        switch (m_client.remove(href, known.etag)) {
            case dav::WriteStatus::Done:
                ++m_summary.deleted;
                [[fallthrough]];
            case dav::WriteStatus::Gone:
                m_target.forget(href);
                return;
            case dav::WriteStatus::PreconditionFailed: {
                // Changed there, deleted here: the change comes back.
                const std::optional<dav::Item> remote = m_client.get(href);
                if (!remote) {
                    m_target.forget(href);
                    return;
                }
                store(href, *remote, "");
                return;
            }
        }
    }

    void create(const LocalItem& local) {
        const std::string extension = m_kind == dav::CollectionKind::AddressBook ? ".vcf" : ".ics";
        const std::string href =
            dav::UrlPath(m_collection.url) + SafeName(local.uid.empty() ? local.id : local.uid) + extension;
        std::string text = m_target.exportItem(local.id);
        if (m_options.dryRun) {
            ++m_summary.pushed;
            return;
        }
        const dav::PutResult put = m_client.put(href, text, m_kind, "");
        if (put.status == dav::WriteStatus::Done) {
            ++m_summary.pushed;
            auto [etag, agreed] =
                put.etag.empty() ? fetchBack(href, text) : std::pair<std::string, std::string>{put.etag, text};
            m_target.record({href, etag, local.uid, local.id, local.hash, false}, agreed);
            return;
        }
        // The name is taken: most likely this very item, sent by a sync
        // that ended before it could note it. Merge with nothing agreed.
        const std::optional<dav::Item> remote = m_client.get(href);
        if (!remote) throw cli::ClientError("the server refused the new item at " + href);
        const SyncedItem taken{href, remote->etag, local.uid, local.id, "", false};
        m_target.record(taken, "");
        merge(taken, local, *remote);
    }

    dav::DavClient& m_client;
    const dav::CollectionInfo& m_collection;
    dav::CollectionKind m_kind;
    SyncTarget& m_target;
    const SyncOptions& m_options;

    // What a run holds grows with what changed, not with the collection.
    std::map<std::string, std::pair<SyncedItem, LocalItem>> m_changed;  // href -> recorded, changed local item
    std::map<std::string, SyncedItem> m_deleted;                        // href -> recorded item deleted here
    std::map<std::string, LocalItem> m_new;                             // local ID -> item never synced
    bool m_unhashed = false;                                            // an item was recorded without its local hash
    std::string m_newToken;
    SyncSummary m_summary;
    size_t m_done = 0, m_total = 0;
};

}  // namespace

uint64_t Hash64(std::string_view text) {
    uint64_t h = 0xcbf29ce484222325ULL;  // FNV-1a
    for (unsigned char c : text) {
        h ^= c;
        h *= 0x100000001b3ULL;
    }
    return h;
}

size_t SyncTarget::syncedLocalCount() {
    size_t n = 0;
    eachSynced([&](std::vector<SyncedItem>& chunk) {
        n += static_cast<size_t>(std::count_if(chunk.begin(), chunk.end(), [](auto& s) { return !s.localId.empty(); }));
    });
    return n;
}

LocalItem SyncTarget::importItem(const std::string& text, const std::string& id) {
    std::vector<Stored> stored = importItems({{text, id}});
    if (stored.empty()) throw cli::ClientError("the store gave no answer for it");
    if (!stored[0].error.empty()) throw cli::ClientError(stored[0].error);
    return std::move(stored[0].item);
}

SyncSummary& SyncSummary::operator+=(const SyncSummary& other) {
    pulled += other.pulled;
    pushed += other.pushed;
    deleted += other.deleted;
    conflicts += other.conflicts;
    skipped += other.skipped;
    failures.insert(failures.end(), other.failures.begin(), other.failures.end());
    conflictFiles.insert(conflictFiles.end(), other.conflictFiles.begin(), other.conflictFiles.end());
    return *this;
}

SyncSummary SyncCollection(dav::DavClient& client, const dav::CollectionInfo& collection, dav::CollectionKind kind,
                           SyncTarget& target, const SyncOptions& options) {
    return Run(client, collection, kind, target, options).go();
}

}  // namespace calyra::sync
