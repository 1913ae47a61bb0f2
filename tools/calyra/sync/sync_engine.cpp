#include "sync/sync_engine.h"

#include <fstream>
#include <optional>
#include <set>
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

class Run {
public:
    Run(dav::DavClient& client, const dav::CollectionInfo& collection, dav::CollectionKind kind, SyncTarget& target,
        const SyncOptions& options)
        : m_client(client), m_collection(collection), m_kind(kind), m_target(target), m_options(options) {}

    SyncSummary go() {
        m_synced = m_target.synced();
        for (const auto& [href, item] : m_synced) m_byKey[dav::HrefKey(href)] = href;
        const PullPlan plan = remotePlan();
        localChanges();
        const size_t total =
            plan.fetch.size() + plan.removed.size() + m_changed.size() + m_deleted.size() + m_new.size();
        m_total = total;

        pull(plan.fetch);
        for (const std::string& href : plan.removed) guarded(href, [&] { removedRemotely(href); });
        m_target.commit();
        // (Entries, not structured bindings: clang 14 cannot capture those.)
        for (const auto& entry : std::map(m_changed)) guarded(entry.first, [&] { push(entry.first, entry.second); });
        for (const auto& href : std::vector(m_deleted)) guarded(href, [&] { deleteRemotely(href); });
        // A local item the server's copy was just stored into (the sync
        // state was lost, or both sides made the same person) is not new.
        for (const auto& local : std::vector(m_new))
            if (!m_matched.contains(local.id)) guarded(local.uid, [&] { create(local); });
        noteHashes();
        if (m_summary.failures.empty() && !m_newToken.empty()) m_target.setToken(m_newToken, m_collection.ctag);
        m_target.commit();
        return m_summary;
    }

private:
    // What changed on the server since the last sync.
    PullPlan remotePlan() {
        std::vector<KnownItem> known;
        known.reserve(m_synced.size());
        for (const auto& [href, item] : m_synced) known.push_back({href, item.etag});
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
                return PlanFromChanges(known, all);
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
        return PlanFromListing(known, m_client.listItems(m_collection.url));
    }

    void localChanges() {
        std::unordered_map<std::string, LocalItem> byId;
        for (LocalItem& l : m_target.localItems()) byId.emplace(l.id, std::move(l));
        for (const auto& [href, item] : m_synced) {
            if (item.localId.empty()) continue;
            const auto it = byId.find(item.localId);
            if (it == byId.end()) {
                m_deleted.push_back(href);
                continue;
            }
            if (item.localHash.empty())
                m_unhashed[item.localId] = href;  // stored by a run that ended before it hashed it
            else if (it->second.hash != item.localHash)
                m_changed.emplace(href, it->second);
            byId.erase(it);
        }
        for (auto& [id, local] : byId) m_new.push_back(std::move(local));
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

    const SyncedItem* synced(const std::string& href) const {
        const auto key = m_byKey.find(dav::HrefKey(href));
        return key == m_byKey.end() ? nullptr : &m_synced.at(key->second);
    }

    void pull(const std::vector<std::string>& hrefs) {
        size_t handled = 0;  // hrefs of the batches already visited
        try {
            m_client.multiget(m_collection.url, m_kind, hrefs, m_options.batchSize, [&](dav::MultigetBatch& batch) {
                arrived(batch.items);
                for (const std::string& href : batch.missing) guarded(href, [&] { removedRemotely(href); });
                handled += batch.items.size() + batch.missing.size();
                m_target.commit();
            });
            return;
        } catch (const DavError& e) {
            // A server that fails multiget can still serve each item.
            if (!IsItemFailure(e)) throw;
        }
        std::vector<dav::Item> batch;
        for (size_t i = std::min(handled, hrefs.size()); i < hrefs.size(); ++i) {
            guarded(hrefs[i], [&] {
                if (std::optional<dav::Item> item = m_client.get(hrefs[i]))
                    batch.push_back(std::move(*item));
                else
                    removedRemotely(hrefs[i]);
            });
            if (batch.size() >= m_options.batchSize || i + 1 == hrefs.size()) {
                arrived(batch);
                batch.clear();
                m_target.commit();
            }
        }
        m_target.commit();
    }

    // New or changed items from the server: those changed here too are
    // merged one by one, the rest stored together.
    void arrived(const std::vector<dav::Item>& items) {
        std::vector<SyncTarget::Incoming> incoming;
        std::vector<std::pair<const dav::Item*, std::string>> plain;  // with the href they are known by
        for (const dav::Item& remote : items) {
            const SyncedItem* known = synced(remote.href);
            const std::string href = known ? known->href : remote.href;
            std::string localId = known ? known->localId : "";
            if (known) {
                if (auto changed = m_changed.find(href); changed != m_changed.end()) {
                    const LocalItem local = changed->second;
                    m_changed.erase(changed);
                    const SyncedItem agreed = *known;
                    guarded(remote.href, [&] { merge(agreed, local, remote); });
                    continue;
                }
                if (auto gone = std::find(m_deleted.begin(), m_deleted.end(), href); gone != m_deleted.end()) {
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
        m_matched.insert(item.localId);
        if (item.localHash.empty())
            m_unhashed[item.localId] = item.href;
        else
            m_unhashed.erase(item.localId);
    }

    // The hashes of the items stored without one, from one more reading of
    // the local side.
    void noteHashes() {
        if (m_unhashed.empty()) return;
        for (const LocalItem& local : m_target.localItems())
            if (const auto it = m_unhashed.find(local.id); it != m_unhashed.end())
                m_target.recordHash(it->second, local.hash);
        m_unhashed.clear();
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

    void removedRemotely(const std::string& href) {
        const SyncedItem* known = synced(href);
        if (!known) return;
        const std::string at = known->href;
        if (auto changed = m_changed.find(at); changed != m_changed.end()) {
            // Deleted there, changed here: the change is kept and sent as new.
            m_new.push_back(changed->second);
            m_changed.erase(changed);
            m_target.forget(at);
            return;
        }
        if (auto gone = std::find(m_deleted.begin(), m_deleted.end(), at); gone != m_deleted.end()) {
            m_deleted.erase(gone);  // deleted on both sides
        } else if (!known->localId.empty()) {
            m_target.removeItem(known->localId);
            ++m_summary.deleted;
        }
        m_target.forget(at);
    }

    void push(const std::string& href, const LocalItem& local) {
        const SyncedItem known = *synced(href);
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

    void deleteRemotely(const std::string& href) {
        const SyncedItem known = *synced(href);
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
        m_synced[href] = {href, remote->etag, local.uid, local.id, "", false};
        m_byKey[dav::HrefKey(href)] = href;
        m_target.record(m_synced[href], "");
        merge(m_synced[href], local, *remote);
    }

    dav::DavClient& m_client;
    const dav::CollectionInfo& m_collection;
    dav::CollectionKind m_kind;
    SyncTarget& m_target;
    const SyncOptions& m_options;

    std::map<std::string, SyncedItem> m_synced;
    std::unordered_map<std::string, std::string> m_byKey;  // HrefKey -> href in m_synced
    std::map<std::string, LocalItem> m_changed;            // href -> changed local item
    std::vector<std::string> m_deleted;                    // hrefs deleted here
    std::vector<LocalItem> m_new;                          // never synced
    std::set<std::string> m_matched;                       // local IDs the server's copies were stored into in this run
    std::map<std::string, std::string> m_unhashed;         // local ID -> href, recorded without a hash
    std::string m_newToken;
    SyncSummary m_summary;
    size_t m_done = 0, m_total = 0;
};

}  // namespace

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
