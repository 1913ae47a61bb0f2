#include "sync/store_target.h"

#include "sync/local_fingerprints.h"

namespace calyra::sync {

StoreTarget::StoreTarget(cli::Session& session, SyncState& state, std::string collection)
    : m_session(session), m_state(state), m_collection(std::move(collection)) {}

StoreTarget::~StoreTarget() = default;

cli::Transaction& StoreTarget::tx() {
    if (!m_tx) {
        m_tx = std::make_unique<cli::Transaction>(m_session);
        m_state.create(*m_tx);
    }
    return *m_tx;
}

void StoreTarget::commit() {
    if (!m_tx) return;
    m_tx->commit();
    m_tx.reset();
}

std::string StoreTarget::token() { return m_state.collectionState(m_collection).first; }

void StoreTarget::setToken(const std::string& token, const std::string& ctag) {
    m_state.setCollectionState(tx(), m_collection, token, ctag);
}

namespace {

// A hash made another way reads as none: the item counts as unchanged and
// takes the hash it has now.
std::vector<SyncedItem>& Current(std::vector<SyncedItem>& items) {
    for (SyncedItem& item : items)
        if (!IsCurrentFingerprint(item.localHash)) item.localHash.clear();
    return items;
}

}  // namespace

void StoreTarget::eachSynced(const std::function<void(std::vector<SyncedItem>& chunk)>& visit) {
    m_state.eachItem(m_collection, [&](std::vector<SyncedItem>& chunk) { visit(Current(chunk)); });
}

std::vector<SyncedItem> StoreTarget::syncedAt(const std::vector<std::string>& hrefs) {
    std::vector<SyncedItem> items = m_state.itemsAt(m_collection, hrefs);
    Current(items);
    return items;
}

std::vector<SyncedItem> StoreTarget::syncedOf(const std::vector<std::string>& ids) {
    std::vector<SyncedItem> items = m_state.itemsOf(m_collection, ids);
    Current(items);
    return items;
}

size_t StoreTarget::syncedLocalCount() { return m_state.countWithLocalIds(m_collection); }

std::string StoreTarget::base(const std::string& href) { return m_state.base(m_collection, href); }

void StoreTarget::record(const SyncedItem& item, const std::string& text) {
    m_state.put(tx(), m_collection, item, text);
}

void StoreTarget::forget(const std::string& href) { m_state.erase(tx(), m_collection, href); }

void StoreTarget::recordHash(const std::string& href, const std::string& hash) {
    m_state.setLocalHash(tx(), m_collection, href, hash);
}

}  // namespace calyra::sync
